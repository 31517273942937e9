// The benchmark's runs: each starts a capture in the real window and measures it.
#include "app/form1.h"
#include "app/logview/logview.h"
#include "logfile/journal.h"
#include "residentmemory.h"
#include "tavrel_bench.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace Bench {

namespace {

struct Capture
{
    qint64 sent = 0;
    qint64 wallNs = 1;
    qint64 renderWallNs = 1;
    qint64 guiCpuNs = 0;
    qint64 otherCpuNs = 0;
    qint64 writerCpuNs = 0;
};

// Waits until the window has rendered all the writer sent; gives up after 30 s without progress.
bool drain(Window &window, const Writer &writer, int checkMs)
{
    const auto done = [&] { return writer.finished() && window.rendered() >= writer.sent(); };
    qint64 seen = -1;
    while (!done()) {
        if (window.rendered() == seen)
            return false;
        seen = window.rendered();
        window.runUntil(done, 30000, checkMs);
    }
    return true;
}

// Starts a capture, feeds it at the pace until the view shows it all, and counts what was lost;
// the port stays open.
Capture capture(Window &window, Report &report, const QByteArray &run, const Pace &pace,
                bool postKeys, int checkMs)
{
    Pty pty;
    std::function<void()> onKeyDue;
    if (postKeys)
        onKeyDue = [&window] { window.postKey(); };
    Writer writer(
        pty, pace, [&window] { return window.rendered(); }, onKeyDue);
    if (!pty.isValid() || !window.start(pty))
        std::printf("%s: could not start: %s\n", run.constData(), qPrintable(window.lastMessage()));
    const qint64 processCpu = processCpuNs();
    const qint64 guiCpu = threadCpuNs();
    writer.start();
    if (!drain(window, writer, checkMs))
        std::printf("%s: the view stopped at %lld of %lld bytes\n", run.constData(),
                    window.rendered(), writer.sent());
    Capture result;
    result.wallNs = qMax<qint64>(nowNs() - writer.startNs(), 1);
    result.renderWallNs = qMax<qint64>(window.lastRenderNs() - writer.startNs(), 1);
    result.guiCpuNs = threadCpuNs() - guiCpu;
    result.otherCpuNs = processCpuNs() - processCpu - result.guiCpuNs - writer.cpuNs();
    result.sent = writer.sent();
    result.writerCpuNs = writer.cpuNs();
    if (writer.failed())
        std::printf("%s: the pseudo-terminal refused a write\n", run.constData());
    report.addLoss(run, result.sent,
                   lostBytes(window.form().Text1->storage(), window.capturedFrom(), result.sent));
    return result;
}

qint64 percentile(std::vector<qint64> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t rank = size_t(std::ceil(share * double(values.size())));
    return values[std::min(values.size(), std::max<size_t>(rank, 1)) - 1];
}

// A bare poll-and-read loop fed by its own writer on its own pseudo-terminal: what the kernel
// alone costs a reader at a pace, to read the window's figures against.
class BareLoop
{
public:
    explicit BareLoop(const Pace &pace)
        : m_reader(m_pty), m_writer(m_pty, pace, [this] { return m_reader.received(); })
    {
    }

    void start()
    {
        m_reader.start();
        m_writer.start();
    }
    // CPU of both its threads so far.
    qint64 cpuNsNow() { return m_reader.cpuNsNow() + m_writer.cpuNsNow(); }
    void finish()
    {
        m_writer.join();
        m_wallNs = qMax<qint64>(nowNs() - m_writer.startNs(), 1);
        m_reader.stop();
    }
    double bytesPerSecond() const { return m_reader.received() / (m_wallNs / 1e9); }
    double readerShare() const { return double(m_reader.cpuNs()) / m_wallNs; }
    double readerNsPerEvent() const
    {
        return m_reader.cpuNs() / double(qMax<qint64>(m_reader.events(), 1));
    }

private:
    Pty m_pty;
    BareReader m_reader;
    Writer m_writer;
    qint64 m_wallNs = 1;
};

double ownNsPerEvent(const Window &window)
{
    return (window.onCommNs() + window.viewEventsNs()) / double(qMax<qint64>(window.events(), 1));
}

void runSingleBytes(const Options &options, Report &report, Window &window)
{
    const Pace pace{0, options.singleSeconds * 1000, 1, 0, 0, true};
    const Capture run = capture(window, report, "one byte per event", pace, false, 20);
    const double events = double(qMax<qint64>(window.events(), 1));
    const double endToEnd = window.rendered() / (run.renderWallNs / 1e9);
    window.stopNs();
    BareLoop bare(Pace{0, qMin<qint64>(options.singleSeconds, 3) * 1000, 1, 0, 0, true});
    bare.start();
    bare.finish();
    // Arrivals reach the window at most every 20 ms, so a lone byte waits up to that long.
    const double perByteMs = run.renderWallNs / 1e6 / qMax<qint64>(window.rendered(), 1);
    report.addRow("one byte at a time, each sent once the last is shown: time per byte",
                  number(perByteMs, "ms", 1), "<= 25 ms: the 20 ms hand-over", perByteMs <= 25);
    report.addNote("end to end: Tavrel / a bare poll-and-read loop",
                   number(endToEnd / 1e3, "KB/s", 2) + " / " +
                       number(bare.bytesPerSecond() / 1e3, "KB/s", 1) + " = " +
                       number(endToEnd / qMax(bare.bytesPerSecond(), 1.0), "x", 4));
    report.addNote("CPU per byte: window thread / bare loop",
                   number(run.guiCpuNs / events / 1e3, "us") + " / " +
                       number(bare.readerNsPerEvent() / 1e3, "us"));
}

void runBaud115200(const Options &options, Report &report, Window &window)
{
    // 23 bytes every 2 ms: a UART's FIFO at 115200 baud hands over a few bytes at a time.
    const Pace pace{0, options.cpuSeconds * 1000, 23, 2000000, 0, false};
    const Capture run = capture(window, report, "115200 baud", pace, false, 500);
    const double events = double(qMax<qint64>(window.events(), 1));
    const double own = ownNsPerEvent(window);
    window.stopNs();
    const double share = 100.0 * (run.guiCpuNs + run.otherCpuNs) / run.wallNs;
    BareLoop alone(pace);
    alone.start();
    alone.finish();
    const double bareShare = 100.0 * alone.readerShare();
    const double ratio = share / qMax(bareShare, 1e-6);
    report.addRow("CPU at 115200 baud (" + number(run.sent / 1e3 / (run.wallNs / 1e9), "KB/s") +
                      "): Tavrel / a bare poll-and-read loop right after",
                  number(share, "%", 2) + " / " + number(bareShare, "%", 2) + " = " +
                      number(ratio, "x", 2),
                  "<= 1.5x the bare loop", ratio <= 1.5);
    report.addNote("of which window thread / other threads",
                   number(100.0 * run.guiCpuNs / run.wallNs, "%", 2) + " / " +
                       number(100.0 * run.otherCpuNs / run.wallNs, "%", 2));
    report.addNote("per event: window thread / Tavrel's own work",
                   number(run.guiCpuNs / events / 1e3, "us", 0) + " / " +
                       number(own / 1e3, "us", 0));
    report.addNote("window thread wake-ups with data, per second",
                   number(events / (run.wallNs / 1e9), "/s", 0));
    report.addNote("the bare loop's CPU per event",
                   number(alone.readerNsPerEvent() / 1e3, "us", 0));

    // Again with a bare loop beside it: busy neighbours keep the virtual CPUs from idling, and
    // what that changes is the cost of waking up, not Tavrel's work.
    BareLoop beside(pace);
    beside.start();
    const qint64 besideCpu = beside.cpuNsNow();
    Capture again = capture(window, report, "115200 baud beside a bare loop", pace, false, 500);
    again.otherCpuNs = qMax<qint64>(again.otherCpuNs - (beside.cpuNsNow() - besideCpu), 0);
    window.stopNs();
    beside.finish();
    report.addNote("Tavrel again, with a bare loop beside it / that loop",
                   number(100.0 * (again.guiCpuNs + again.otherCpuNs) / again.wallNs, "%", 2) +
                       " / " + number(100.0 * beside.readerShare(), "%", 2));
}

void runKeys(const Options &options, Report &report, Window &window)
{
    window.clearKeyDelays();
    const Pace pace{0, options.keySeconds * 1000, 1000, 1000000, 20000000, false};
    const Capture run = capture(window, report, "1 MB/s with keys", pace, true, 20);
    const std::vector<qint64> delays = window.keyDelaysNs();
    const double p99 = percentile(delays, 0.99) / 1e6;
    report.addRow("key press handled while " + number(run.sent / 1e6 / (run.wallNs / 1e9), "MB/s") +
                      " arrives, 99th percentile",
                  number(p99, "ms"), "<= 50 ms", p99 <= 50);
    report.addNote("median and worst of " + QByteArray::number(qint64(delays.size())) + " keys",
                   number(percentile(delays, 0.5) / 1e6, "ms") + " / " +
                       number(percentile(delays, 1.0) / 1e6, "ms"));
    window.stopNs();
}

} // namespace

void runFullSpeed(const Options &options, Report &report, const QString &directory)
{
    Window window(directory);
    window.open();
    window.runUntil([] { return false; }, 200);
    const qint64 rssBefore = residentBytes();
    const qint64 total = options.receivedMb * 1000000;
    const Pace pace{total, 0, 65536, 0, 0, false};
    const Capture run = capture(window, report, "full speed", pace, false, 5);
    const qint64 rssAfter = residentBytes();
    const double rate = window.rendered() / (run.renderWallNs / 1e9);
    report.addRow("received bytes rendered per second, as fast as a pty takes them, journal on",
                  number(rate / 1e6, "MB/s"), ">= 20 MB/s", rate >= 20e6);
    report.addNote("bytes per OnComm, on average",
                   number(double(window.rendered()) / qMax<qint64>(window.events(), 1), "B", 0));
    report.addNote("busy: window thread / writer thread",
                   number(100.0 * run.guiCpuNs / run.renderWallNs, "%", 0) + " / " +
                       number(100.0 * run.writerCpuNs / run.renderWallNs, "%", 0));
    const double growth = (rssAfter - rssBefore) / 1e6;
    report.addRow("resident memory added by " + QByteArray::number(options.receivedMb) +
                      " MB received (its text is on disk)",
                  number(growth, "MB", 0), "<= 100 MB", growth <= 100);
    const double atRisk = double(window.form().journal().longestWaitMs());
    report.addRow("bytes at risk: the longest a rendered byte waited for stable storage",
                  number(atRisk, "ms", 0), "<= 1000 ms", atRisk <= 1000);
    const qsizetype viewBytes = window.form().Text1->length();
    const qint64 saveNs = window.stopNs();
    report.addNote("Stop's save of that capture, " + QByteArray::number(viewBytes / 1000000) +
                       " MB of text",
                   number(saveNs / 1e6, "ms", 0));
}

double diskWriteMs(const QString &directory, qint64 bytes)
{
    QFile file(directory + "/disk-reference");
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    const QByteArray block(1 << 20, 'A');
    const qint64 before = nowNs();
    for (qint64 done = 0; done < bytes; done += block.size())
        file.write(block.constData(), qMin<qint64>(block.size(), bytes - done));
    file.flush();
    ::fsync(file.handle());
    const double ms = (nowNs() - before) / 1e6;
    file.remove();
    return ms;
}

void runWithLargeLog(const Options &options, Report &report, const QString &directory)
{
    const qint64 rssBefore = residentBytes();
    Window window(directory);
    const qint64 logBytes = QFileInfo(directory + "/log.txt").size();
    const QByteArray logSize = number(logBytes / 1e9, "GB", 1);
    const qint64 before = nowNs();
    window.open();
    const double startUp = (nowNs() - before) / 1e6;
    report.addRow("start-up with a " + logSize + " log.txt, until a key press is handled",
                  number(startUp, "ms", 0), "<= 1000 ms", startUp <= 1000);
    report.addNote("of which building the window, log included",
                   number(window.constructNs() / 1e6, "ms", 0));
    const double rssGrowth = (residentBytes() - rssBefore) / 1e6;
    report.addRow("resident memory it added, log shown", number(rssGrowth, "MB", 0), "<= 100 MB",
                  rssGrowth <= 100);
    if (window.form().Text1->length() != logBytes)
        std::printf("the view holds %lld bytes of a %lld-byte log\n",
                    qlonglong(window.form().Text1->length()), logBytes);

    Pty idle;
    window.start(idle);
    const double save = window.stopNs() / 1e6;
    report.addRow("Stop with nothing new on the " + logSize + " log (with fsync)",
                  number(save, "ms", 0), "<= 500 ms",
                  save <= 500 && QFileInfo(directory + "/log.txt").size() == logBytes);

    const qint64 received = qMin<qint64>(options.receivedMb, 100) * 1000000;
    capture(window, report, "onto the large log", Pace{received, 0, 65536, 0, 0, false}, false, 5);
    const qint64 newText = window.form().Text1->length() - logBytes;
    const double saveNew = window.stopNs() / 1e6;
    report.addRow("Stop's save after " + number(received / 1e6, "MB", 0) + " received onto it (" +
                      number(newText / 1e6, "MB", 0) + " of text, with fsync)",
                  number(saveNew, "ms", 0), "<= 500 ms", saveNew <= 500);
    report.addNote("the disk alone: writing and flushing that much text",
                   number(diskWriteMs(directory, newText), "ms", 0));
    report.addNote("resident memory it added, after the capture",
                   number((residentBytes() - rssBefore) / 1e6, "MB", 0));
    if (window.messageBoxes() > 0)
        std::printf("message box: %s\n", qPrintable(window.lastMessage()));

    runSingleBytes(options, report, window);
    runBaud115200(options, report, window);
    runKeys(options, report, window);
}

} // namespace Bench
