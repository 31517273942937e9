// The arrival times' rows: the time column and quiet-gap marks against none, export, and how
// long a received byte takes to be drawn; and the characters column against none.
#include "app/viewsettings.h"
#include "logfile/logexport.h"
#include "logfile/logkeeper.h"
#include "tavrel_bench.h"

#include <QFile>
#include <QRandomGenerator>
#include <algorithm>

namespace Bench {

namespace {

double medianMs(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void showTimes(Window &window, bool on)
{
    ViewSettings view;
    view.arrivalTimes = on;
    view.quietGaps = on;
    view.save();
    window.view().setTimeColumn(on ? std::optional(TimeFormat::TimeOfDay) : std::nullopt);
    window.view().setQuietGapMarks(on ? std::optional(ViewSettings::DefaultGapMs) : std::nullopt);
}

QByteArray versus(double on, double off, const char *unit, int decimals)
{
    return number(on, unit, decimals) + " / " + number(off, unit, decimals) + " = " +
           number(on / qMax(off, 1e-9), "x", 2);
}

QByteArray latencyFigure(const std::vector<qint64> &latencies, double *p99)
{
    const auto undrawn = std::count(latencies.begin(), latencies.end(), -1);
    std::vector<qint64> drawn;
    std::copy_if(latencies.begin(), latencies.end(), std::back_inserter(drawn),
                 [](qint64 ns) { return ns >= 0; });
    *p99 = undrawn > 0 ? 1e9 : p99Ms(drawn);
    return number(p99Ms(drawn), "ms", 1) + " of " + QByteArray::number(qint64(latencies.size())) +
           (undrawn > 0 ? QByteArray(", ") + QByteArray::number(qint64(undrawn)) + " never drawn"
                        : QByteArray());
}

} // namespace

void runTimeColumn(Report &report, Window &window)
{
    // Off and on in turns, so a warmer cache favours neither; the medians are compared.
    std::vector<double> opens[2];
    std::vector<double> pages[2];
    for (int round = 0; round < 4; ++round) {
        for (const bool on : {false, true}) {
            showTimes(window, on);
            opens[on].push_back(window.open() / 1e6);
            pages[on].push_back(pageMovesP99Ms(window));
        }
    }
    showTimes(window, false);
    const double openOn = medianMs(opens[1]);
    const double openOff = medianMs(opens[0]);
    report.row("start-up with it, time column and gap marks on / off, median of 4",
               versus(openOn, openOff, "ms", 1), "<= 1.1x off, arrival times",
               openOn <= 1.1 * openOff);
    const double pageOn = medianMs(pages[1]);
    const double pageOff = medianMs(pages[0]);
    report.row("page moves in it, 99th percentile, column and marks on / off, median of 4",
               versus(pageOn, pageOff, "ms", 2), "<= 1.1x off, arrival times",
               pageOn <= 1.1 * pageOff);
}

void runExport(Report &report, Window &window)
{
    const LogKeeper &keeper = window.form().keeper();
    const qint64 bytes = qMin<qint64>(keeper.size(), 500000000);
    const QString target = window.path("export.csv");
    // Read once before, so the figure is the export's, from the page cache.
    LogExport::write(LogExport::Format::Binary, keeper, nullptr, 0, bytes, target);
    // The export flushes its file before it replaces the target: the disk alone for as many
    // bytes, just before and just after, stands beside it.
    const double diskBefore = diskAloneMs(window.path("disk-reference"), bytes);
    const qint64 rssBefore = residentBytes();
    qint64 rssPeak = rssBefore;
    const qint64 before = clockNs();
    const LogExport::Result result = LogExport::write(
        LogExport::Format::Csv, keeper, &keeper.times(), 0, bytes, target, [&](qint64, qint64) {
            rssPeak = qMax(rssPeak, residentBytes());
            return true;
        });
    const double seconds = (clockNs() - before) / 1e9;
    const qint64 written = QFile(target).size();
    QFile::remove(target);
    const double diskAfter = diskAloneMs(window.path("disk-reference"), bytes);
    const double rate = bytes / seconds;
    const double memory = (rssPeak - rssBefore) / 1e6;
    report.row("export of " + number(bytes / 1e6, "MB") + " of it to CSV (" +
                   number(written / 1e6, "MB") +
                   "), flushed: text per second / peak memory / its time, the disk alone (3)",
               number(rate / 1e6, "MB/s") + " / " + number(memory, "MB", 1) + " / " +
                   number(seconds * 1e3, "ms") + ", " + number(diskBefore, "ms") + " and " +
                   number(diskAfter, "ms"),
               ">= 200 MB/s, <= 10 MB, export", result.ok && rate >= 200e6 && memory <= 10);
}

void runDrawnLatency(const Options &options, Report &report, Window &window)
{
    QRandomGenerator random(11);
    const qint64 durationMs = options.seconds * 1000;
    double p99 = 0;
    const std::vector<qint64> isolated =
        window.drawnLatencies(report, "isolated bytes", durationMs, 1,
                              [&](qint64) { return random.bounded(50, 500) * qint64(1000000); });
    window.stopNs();
    QByteArray figure = latencyFigure(isolated, &p99);
    report.row("a byte's arrival at the port until its item is drawn, bytes 50 to 500 ms "
               "apart, 99th percentile",
               figure, "<= 50 ms, arrival times (4)", p99 <= 50);
    // 23 bytes every 2 ms, as in the CPU row.
    const std::vector<qint64> stream = window.drawnLatencies(
        report, "115200 baud, drawn", durationMs, 23, [](qint64) { return 2000000; });
    window.stopNs();
    figure = latencyFigure(stream, &p99);
    report.row("the same at 115200 baud, 99th percentile of every 2 ms step", figure,
               "<= 50 ms, arrival times (4)", p99 <= 50);
}

void runCharacterColumn(const Options &options, Report &report, Window &window)
{
    // 23 bytes every 2 ms, as in the CPU rows; off and on in turns, so load that comes and goes
    // weighs on both.
    const Pace pace{0, options.seconds * 1000, 23, 2000000};
    double share[2] = {0, 0};
    for (int round = 0; round < 2; ++round) {
        for (const bool on : {false, true}) {
            window.view().setCharacterColumn(on);
            share[on] += window.capture(report, "115200 baud, characters", pace, 500).cpuShare / 2;
            window.stopNs();
        }
    }
    window.view().setCharacterColumn(false);
    report.row("CPU at 115200 baud, characters column on / off, mean of 2 each",
               versus(100 * share[1], 100 * share[0], "%", 2), "<= 1.1x off, characters column",
               share[1] <= 1.1 * share[0]);
}

} // namespace Bench
