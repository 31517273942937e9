// The benchmark's runs: each drives the real window and adds its figures to the report.
#include "logfile/logkeeper.h"
#include "support/files.h"
#include "support/hexreference.h"
#include "tavrel_bench.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace Bench {

namespace {

// Text of a 20 ms chunk at 115200 baud, and when the times written for a large log begin.
constexpr qint64 kChunkText = 691;
constexpr qint64 kTimesStartMs = 1'800'000'000'000;

// A log as a capture writes it: hex items of the stream, 28 to a line, cut at the size, on disk.
bool writeLog(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray bytes(1 << 18, Qt::Uninitialized);
    QByteArray block;
    int column = 1;
    for (qint64 position = 0; file.size() < size; position += bytes.size()) {
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char(streamByte(position + i));
        block.clear();
        appendHex(block, bytes, 28, column);
        const qint64 take = qMin<qint64>(block.size(), size - file.size());
        if (file.write(block.constData(), take) != take)
            return false;
    }
    // On disk before any figure is taken: a save must not pay for the set-up's writes.
    return file.flush() && ::fsync(file.handle()) == 0;
}

QByteArray besideDisk(double ms, double diskMs)
{
    return number(ms, "ms") + " / " + (diskMs >= 0 ? number(diskMs, "ms") : QByteArray("?"));
}

// What this process has had written to disk so far, as the kernel counts dirtied pages.
qint64 writtenToDisk()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n'))
        if (line.startsWith("write_bytes:"))
            return line.mid(12).trimmed().toLongLong();
    return -1;
}

// A times file for the log as a capture at 115200 baud leaves it: a chunk every 20 ms.
bool writeTimes(const QString &logPath)
{
    const std::optional<FileIdentity> log = FileIdentity::ofPath(logPath);
    if (!log)
        return false;
    LogTimes times(logPath);
    times.open(std::nullopt, 0);
    for (qint64 offset = 0, time = kTimesStartMs; offset < log->size; offset += kChunkText)
        times.add(offset, time += 20);
    times.seal(*log);
    return times.isOpen();
}

void runBaud115200(const Options &options, Report &report, Window &window, bool timeColumn)
{
    // The column and the marks as the View menu sets them.
    window.view().setTimeColumn(timeColumn ? std::optional(TimeFormat::TimeOfDay) : std::nullopt);
    window.view().setQuietGapMarks(timeColumn ? std::optional(100) : std::nullopt);
    // 23 bytes every 2 ms: a UART's FIFO at 115200 baud hands over a few bytes at a time.
    const Pace pace{0, options.seconds * 1000, 23, 2000000};
    const QString times = LogTimes::pathFor(window.path("log.txt"));
    const qint64 timesBefore = QFileInfo(times).size();
    const qint64 textBefore = window.view().length();
    const Rate run = window.capture(report, "115200 baud", pace, 500);
    window.stopNs();
    const double timesShare = double(QFileInfo(times).size() - timesBefore) /
                              qMax<qint64>(1, window.view().length() - textBefore);
    if (!timeColumn)
        report.row("arrival times kept at 115200 baud, per byte of log text",
                   number(100 * timesShare, "%", 2), "<= 1 %, arrival times", timesShare <= 0.01);
    const Rate bare = runBareLoop(pace);
    const double ratio = run.cpuShare / qMax(bare.cpuShare, 1e-9);
    report.row("CPU at 115200 baud (" + number(run.bytesPerSecond / 1e3, "KB/s", 1) + "), " +
                   (timeColumn ? "time column and gap marks on" : "column off") +
                   ": Tavrel / a bare loop after it",
               number(100 * run.cpuShare, "%", 2) + " / " + number(100 * bare.cpuShare, "%", 2) +
                   " = " + number(ratio, "x", 2),
               "<= 1.5x the bare loop, serial reader (2)", ratio <= 1.5);
}

void runKeys(const Options &options, Report &report, Window &window)
{
    // Posted from a thread of its own while the stream arrives, so a busy window delays them.
    std::thread keys([&window, endNs = clockNs() + options.seconds * 1000000000] {
        for (; clockNs() < endNs; std::this_thread::sleep_for(std::chrono::milliseconds(20)))
            window.postKey();
    });
    const Rate run = window.capture(report, "1 MB/s with keys",
                                    Pace{0, options.seconds * 1000, 1000, 1000000}, 20);
    keys.join();
    QTest::qWait(50);
    window.stopNs();
    const double p99 = p99Ms(window.takeKeyDelays());
    report.row("key press handled while " + number(run.bytesPerSecond / 1e6, "MB/s", 1) +
                   " arrives, 99th percentile",
               number(p99, "ms", 1), "<= 50 ms, serial reader", p99 <= 50);
}

// The journal a killed run leaves after capturing this much text onto the log: the log's text
// over and over.
bool leaveJournal(const QString &logPath, qint64 bytes)
{
    LogKeeper keeper(logPath);
    if (keeper.claim().status != Journal::Claim::Status::Claimed)
        return false;
    keeper.open();
    const QByteArray piece = fileBytes(logPath);
    for (qint64 done = 0; done < bytes; done += piece.size())
        keeper.append(QByteArrayView(piece).first(qMin<qint64>(piece.size(), bytes - done)));
    return keeper.journal().syncNow();
}

// Arrival times looked up at random places of a large log: a few reads of the times file each.
void runArrivalLookups(Report &report, Window &window, qint64 logBytes)
{
    const LogKeeper &keeper = window.form().keeper();
    QRandomGenerator random(7);
    constexpr int kLookups = 1000;
    bool right = true;
    const qint64 before = clockNs();
    for (int i = 0; i < kLookups; ++i) {
        const qint64 at = qint64(random.bounded(double(logBytes)));
        right = right && keeper.arrivalMs(at) == kTimesStartMs + 20 * (1 + at / kChunkText);
    }
    const double us = (clockNs() - before) / 1e3 / kLookups;
    const qint64 timesBytes = QFileInfo(LogTimes::pathFor(window.path("log.txt"))).size();
    report.row("arrival time of a byte at a random place of it (times file " +
                   number(timesBytes / 1e6, "MB") + "), mean of 1000",
               number(us, "us", 1), "<= 1000 us, arrival times", right && us <= 1000);
}

} // namespace

qint64 residentBytes()
{
    // The second field of statm counts resident pages.
    QFile statm(QStringLiteral("/proc/self/statm"));
    const QByteArray fields = statm.open(QIODevice::ReadOnly) ? statm.readAll() : QByteArray();
    return fields.split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
}

// The disk's own time for as many bytes: writing and flushing them to a new file; -1 on failure.
double diskAloneMs(const QString &scratchPath, qint64 bytes)
{
    QFile file(scratchPath);
    const QByteArray block(1 << 20, 'A');
    const qint64 before = clockNs();
    bool written = file.open(QIODevice::WriteOnly);
    for (qint64 done = 0; written && done < bytes; done += block.size())
        written = file.write(block.constData(), qMin<qint64>(block.size(), bytes - done)) >= 0;
    written = written && file.flush() && ::fsync(file.handle()) == 0;
    const double diskMs = (clockNs() - before) / 1e6;
    file.remove();
    return written ? diskMs : -1;
}

// The 99th percentile, in milliseconds.
double p99Ms(std::vector<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : double(values[(values.size() - 1) * 99 / 100]) / 1e6;
}

// Page moves from the start, the middle and the end, each key handled and the view drawn.
double pageMovesP99Ms(Window &window)
{
    LogView &view = window.view();
    std::vector<qint64> times;
    const auto pages = [&](qint64 caret, Qt::Key key) {
        view.setSelStart(caret);
        QTest::qWait(50);
        for (int i = 0; i < 100; ++i) {
            const qint64 before = clockNs();
            QTest::keyClick(&view, key);
            view.viewport()->repaint();
            times.push_back(clockNs() - before);
        }
    };
    pages(0, Qt::Key_PageDown);
    pages(view.length() / 2, Qt::Key_PageDown);
    pages(view.length(), Qt::Key_PageUp);
    return p99Ms(times);
}

void runFullSpeed(const Options &options, Report &report)
{
    const qint64 bytes = options.check ? 30000000 : options.receivedMb * 1000000;
    Window window;
    window.open();
    QTest::qWait(200);
    const qint64 rssBefore = residentBytes();
    const qint64 writtenBefore = writtenToDisk();
    const Rate run = window.capture(report, "full speed", Pace{bytes, 0, 65536}, 5);
    const qint64 memoryAdded = residentBytes() - rssBefore;
    const qint64 atRiskMs = window.form().keeper().journal().longestWaitMs();
    window.stopNs();
    const double writtenPerByte =
        double(writtenToDisk() - writtenBefore) / qMax<qint64>(1, window.view().length());
    if (options.check) {
        // Per second of Tavrel's own CPU time: a busy machine stretches the wall clock many times.
        const double perCpuSecond = run.bytesPerSecond / qMax(run.cpuShare, 1e-9);
        report.row("received bytes shown per second of Tavrel's CPU time, full speed, journal on",
                   number(perCpuSecond / 1e6, "MB/s", 1), ">= 2 MB/s: a tenth of 20 MB/s",
                   perCpuSecond >= 2e6);
        const double perByte = double(memoryAdded) / bytes;
        report.row("resident memory added per received byte", number(perByte, "B", 2),
                   "<= 1 B: 100 MB per 100 MB", perByte <= 1);
        return;
    }
    report.row("received bytes shown per second, as fast as a pty takes them, journal on",
               number(run.bytesPerSecond / 1e6, "MB/s", 1), ">= 20 MB/s, durable capture",
               run.bytesPerSecond >= 20e6);
    report.row("resident memory added by " + QByteArray::number(options.receivedMb) +
                   " MB received (its text is on disk)",
               number(memoryAdded / 1e6, "MB"), "<= 100 MB, logs of any length",
               memoryAdded <= 100000000);
    report.row("bytes at risk: the longest a shown byte waited for stable storage",
               number(double(atRiskMs), "ms"), "<= 1000 ms, durable capture", atRiskMs <= 1000);
    report.row("bytes written to disk per byte of log text, through the capture and its Stop",
               number(writtenPerByte, "B", 2), "<= 2.1 B: journal once, log.txt once",
               writtenPerByte <= 2.1);
}

namespace {

// Start-up, page moves and saves with the large log.
void runLogRows(const Options &options, Report &report, Window &window)
{
    const qint64 logBytes = QFileInfo(window.path("log.txt")).size();
    const QByteArray logSize = number(logBytes / 1e9, "GB", 1);
    const qint64 rssBefore = residentBytes();
    const double startUp = window.open() / 1e6;
    report.row("start-up with a " + logSize +
                   " log.txt and its arrival times, until a key "
                   "press is handled",
               number(startUp, "ms"), "<= 1000 ms, logs of any length",
               startUp <= 1000 && window.view().length() == logBytes);
    runArrivalLookups(report, window, logBytes);
    const double page = pageMovesP99Ms(window);
    report.row("page up and down in it, each drawn, 99th percentile", number(page, "ms", 1),
               "<= 50 ms, logs of any length", page <= 50);
    const double memory = (residentBytes() - rssBefore) / 1e6;
    report.row("resident memory it added, shown and paged through", number(memory, "MB"),
               "<= 100 MB, logs of any length", memory <= 100);
    if (options.wants("find"))
        runFind(report, window);

    window.start();
    const double save = window.stopNs() / 1e6;
    report.row("Stop with nothing new on the " + logSize + " log (with fsync)", number(save, "ms"),
               "<= 500 ms, logs of any length",
               save <= 500 && QFileInfo(window.path("log.txt")).size() == logBytes);

    const qint64 received = qMin<qint64>(options.receivedMb, 100) * 1000000;
    window.capture(report, "onto the large log", Pace{received, 0, 65536}, 5);
    const qint64 newText = window.view().length() - logBytes;
    // The disk alone just before and just after: on a virtual machine the cost of fresh page
    // cache moves several times over from one moment to the next.
    const double diskBefore = diskAloneMs(window.path("disk-reference"), newText);
    const double saveNew = window.stopNs() / 1e6;
    const double diskAfter = diskAloneMs(window.path("disk-reference"), newText);
    const double disk = (diskBefore + diskAfter) / 2;
    report.row("Stop's save after " + number(received / 1e6, "MB") + " received onto it (" +
                   number(newText / 1e6, "MB") + " of text, fsync) / the disk alone (3)",
               besideDisk(saveNew, diskBefore) + ", " + number(diskAfter, "ms"),
               "<= 1.15x the disk alone, one keeper",
               diskBefore > 0 && diskAfter > 0 && saveNew <= 1.15 * disk);
}

} // namespace

void runWithLargeLog(const Options &options, Report &report)
{
    const bool paced = options.wants("paced");
    if (!options.wants("log") && !options.wants("find") && !options.wants("times") &&
        !options.wants("export") && !paced)
        return;
    Window window;
    if (!writeLog(window.path("log.txt"), options.logMb * 1000000)) {
        std::printf("could not write a %lld MB log\n", options.logMb);
        return;
    }
    if (!writeTimes(window.path("log.txt"))) {
        std::printf("could not write the log's arrival times\n");
        return;
    }
    if (options.wants("log")) {
        runLogRows(options, report, window);
    } else {
        window.open();
        if (options.wants("find"))
            runFind(report, window);
    }
    if (options.wants("times"))
        runTimeColumn(report, window);
    if (options.wants("export"))
        runExport(report, window);
    if (!paced)
        return;
    runDrawnLatency(options, report, window);
    runBaud115200(options, report, window, false);
    runBaud115200(options, report, window, true);
    runCharacterColumn(options, report, window);
    runKeys(options, report, window);
}

void runRecovery(const Options &options, Report &report)
{
    double normalStart = 0;
    {
        Window window;
        if (!writeLog(window.path("log.txt"), 1000000))
            return;
        normalStart = window.open() / 1e6;
    }
    Window window;
    const qint64 captured = options.recoveryMb * 1000000;
    if (!writeLog(window.path("log.txt"), 1000000) ||
        !leaveJournal(window.path("log.txt"), captured)) {
        std::printf("could not leave a log and its journal for the recovery run\n");
        return;
    }
    const double startUp = window.open() / 1e6;
    report.row("start-up recovering " + QByteArray::number(options.recoveryMb) +
                   " MB left unsaved, until a key press is handled / a normal start",
               number(startUp, "ms") + " / " + number(normalStart, "ms"),
               "<= 1000 ms more, durable capture",
               startUp - normalStart <= 1000 && window.view().length() == 1000000 + captured);
}

} // namespace Bench
