// The benchmark's runs: each drives the real window and adds its figures to the report.
#include "logfile/journal.h"
#include "support/files.h"
#include "tavrel_bench.h"

#include <QFileInfo>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

namespace Bench {

Capture::Capture(Window &window, const Pace &pace)
    : m_window(window), m_feed(m_terminal, pace, window.receiver())
{
}

bool Capture::run(Report &report, const QByteArray &name, int checkMs)
{
    if (!m_terminal.isValid() || !m_window.start(m_terminal)) {
        std::printf("%s: could not start: %s\n", name.constData(),
                    qPrintable(m_window.lastMessage()));
        return false;
    }
    const qint64 cpuBefore = processCpuNs();
    m_feed.start();
    m_window.runUntil([this] { return m_feed.finished(); }, INT_MAX, checkMs);
    const bool shown = m_window.runUntil([this] { return m_feed.caughtUp(); }, 30000, checkMs);
    m_wallNs = qMax<qint64>(nowNs() - m_feed.startNs(), 1);
    m_cpuNs = processCpuNs() - cpuBefore - m_feed.cpuNs();
    if (!shown || m_feed.failed())
        std::printf("%s: the view stopped short of the %lld bytes sent\n", name.constData(),
                    m_feed.sent());
    report.addLoss(name, m_feed.sent(), m_window.lostBytes(m_feed.sent()));
    return shown && !m_feed.failed();
}

namespace {

double percentile(std::vector<qint64> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto rank = size_t(std::ceil(share * double(values.size())));
    return double(values[std::clamp<size_t>(rank, 1, values.size()) - 1]);
}

// Page moves from the start, the middle and the end, each key handled and the view drawn.
double pageMovesP99Ms(Window &window)
{
    LogView &view = window.view();
    std::vector<qint64> times;
    const auto pages = [&](qint64 caret, Qt::Key key) {
        view.setSelStart(caret);
        window.runUntil([] { return false; }, 50);
        for (int i = 0; i < 100; ++i) {
            const qint64 before = nowNs();
            QTest::keyClick(&view, key);
            view.viewport()->repaint();
            times.push_back(nowNs() - before);
        }
    };
    pages(0, Qt::Key_PageDown);
    pages(view.length() / 2, Qt::Key_PageDown);
    pages(view.length(), Qt::Key_PageUp);
    return percentile(times, 0.99) / 1e6;
}

void runSingleBytes(const Options &options, Report &report, Window &window)
{
    Capture single(window, Pace{0, options.singleSeconds * 1000, 1, 0, true});
    single.run(report, "one byte per event", 20);
    window.stopNs();
    const double rate = single.feed().sent() / (single.feed().wallNs() / 1e9);
    BareLoop bare(Pace{0, qMin<qint64>(options.singleSeconds, 3) * 1000, 1, 0, true});
    bare.run();
    report.addRow("one byte per event, each sent once the last is shown: Tavrel / a bare "
                  "poll-and-read loop",
                  number(rate / 1e3, "KB/s", 2) + " / " +
                      number(bare.bytesPerSecond() / 1e3, "KB/s", 1) + " = " +
                      number(rate / qMax(bare.bytesPerSecond(), 1.0), "x", 4),
                  ">= 200 KB/s, log view (1)", rate >= 200e3);
}

void runBaud115200(const Options &options, Report &report, Window &window)
{
    // 23 bytes every 2 ms: a UART's FIFO at 115200 baud hands over a few bytes at a time.
    const Pace pace{0, options.cpuSeconds * 1000, 23, 2000000};
    Capture run(window, pace);
    run.run(report, "115200 baud", 500);
    window.stopNs();
    BareLoop bare(pace);
    bare.run();
    const double ratio = run.cpuShare() / qMax(bare.cpuShare(), 1e-9);
    report.addRow("CPU at 115200 baud (" +
                      number(run.feed().sent() / 1e3 / (run.feed().wallNs() / 1e9), "KB/s", 1) +
                      "): Tavrel / a bare poll-and-read loop right after",
                  number(100 * run.cpuShare(), "%", 2) + " / " +
                      number(100 * bare.cpuShare(), "%", 2) + " = " + number(ratio, "x", 2),
                  "<= 1.5x the bare loop, serial reader (2)", ratio <= 1.5);
}

void runKeys(const Options &options, Report &report, Window &window)
{
    Capture run(window, Pace{0, options.keySeconds * 1000, 1000, 1000000});
    // Posted from a thread of its own, so a busy window thread delays their handling.
    std::atomic<bool> done{false};
    std::thread keys([&] {
        while (!done.load()) {
            window.postKey();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    run.run(report, "1 MB/s with keys", 20);
    done.store(true);
    keys.join();
    window.runUntil([] { return false; }, 50);
    window.stopNs();
    const double p99 = percentile(window.takeKeyDelays(), 0.99) / 1e6;
    report.addRow("key press handled while " +
                      number(run.feed().sent() / 1e6 / (run.feed().wallNs() / 1e9), "MB/s", 1) +
                      " arrives, 99th percentile",
                  number(p99, "ms", 1), "<= 50 ms, serial reader", p99 <= 50);
}

// The journal a killed run leaves after capturing this much text onto the log.
bool leaveJournal(const QString &logPath, qint64 bytes)
{
    Journal journal(logPath);
    if (journal.claim().status != Journal::Claim::Status::Claimed)
        return false;
    journal.start(FileIdentity::ofPath(logPath));
    const QString piecePath = logPath + ".piece";
    if (!writeLog(piecePath, 1 << 20))
        return false;
    const QByteArray piece = fileBytes(piecePath);
    QFile::remove(piecePath);
    for (qint64 done = 0; done < bytes; done += piece.size())
        journal.append(QByteArrayView(piece).first(qMin<qint64>(piece.size(), bytes - done)));
    return journal.syncNow();
}

} // namespace

FullSpeed measureFullSpeed(Report &report, qint64 bytes)
{
    Window window;
    window.open();
    window.runUntil([] { return false; }, 200);
    const qint64 rssBefore = residentBytes();
    Capture run(window, Pace{bytes, 0, 65536});
    run.run(report, "full speed", 5);
    FullSpeed result;
    result.bytesPerSecond =
        run.feed().sent() / ((window.lastShownNs() - run.feed().startNs()) / 1e9);
    result.memoryAdded = residentBytes() - rssBefore;
    result.atRiskMs = window.form().journal().longestWaitMs();
    window.stopNs();
    return result;
}

void runFullSpeed(const Options &options, Report &report)
{
    const FullSpeed run = measureFullSpeed(report, options.receivedMb * 1000000);
    report.addRow("received bytes shown per second, as fast as the window takes them, journal on",
                  number(run.bytesPerSecond / 1e6, "MB/s", 1), ">= 20 MB/s, durable capture",
                  run.bytesPerSecond >= 20e6);
    report.addRow("resident memory added by " + QByteArray::number(options.receivedMb) +
                      " MB received (its text is on disk)",
                  number(run.memoryAdded / 1e6, "MB"), "<= 100 MB, logs of any length",
                  run.memoryAdded <= 100000000);
    report.addRow("bytes at risk: the longest a shown byte waited for stable storage",
                  number(double(run.atRiskMs), "ms"), "<= 1000 ms, durable capture",
                  run.atRiskMs <= 1000);
}

void runWithLargeLog(const Options &options, Report &report)
{
    Window window;
    if (!writeLog(window.path("log.txt"), options.logMb * 1000000)) {
        std::printf("could not write a %lld MB log\n", options.logMb);
        return;
    }
    const qint64 logBytes = QFileInfo(window.path("log.txt")).size();
    const QByteArray logSize = number(logBytes / 1e9, "GB", 1);
    const qint64 rssBefore = residentBytes();
    const double startUp = window.open() / 1e6;
    report.addRow("start-up with a " + logSize + " log.txt, until a key press is handled",
                  number(startUp, "ms"), "<= 1000 ms, logs of any length",
                  startUp <= 1000 && window.view().length() == logBytes);
    const double page = pageMovesP99Ms(window);
    report.addRow("page up and down in it, each drawn, 99th percentile", number(page, "ms", 1),
                  "<= 50 ms, logs of any length", page <= 50);
    const double memory = (residentBytes() - rssBefore) / 1e6;
    report.addRow("resident memory it added, shown and paged through", number(memory, "MB"),
                  "<= 100 MB, logs of any length", memory <= 100);

    PseudoTerminal idle;
    window.start(idle);
    const double save = window.stopNs() / 1e6;
    report.addRow("Stop with nothing new on the " + logSize + " log (with fsync)",
                  number(save, "ms"), "<= 500 ms, logs of any length",
                  save <= 500 && QFileInfo(window.path("log.txt")).size() == logBytes);

    const qint64 received = qMin<qint64>(options.receivedMb, 100) * 1000000;
    Capture onto(window, Pace{received, 0, 65536});
    onto.run(report, "onto the large log", 5);
    const qint64 newText = window.view().length() - logBytes;
    const double saveNew = window.stopNs() / 1e6;
    report.addRow("Stop's save after " + number(received / 1e6, "MB") + " received onto it (" +
                      number(newText / 1e6, "MB") + " of text, with fsync) / the disk alone (3)",
                  number(saveNew, "ms") + " / " +
                      number(diskWriteMs(window.path("disk-reference"), newText), "ms"),
                  "<= 500 ms, logs of any length", saveNew <= 500);

    runSingleBytes(options, report, window);
    runBaud115200(options, report, window);
    runKeys(options, report, window);
}

void runRecovery(const Options &options, Report &report)
{
    Window window;
    const qint64 captured = options.recoveryMb * 1000000;
    if (!writeLog(window.path("log.txt"), 1000000)) {
        std::printf("could not write a log for the recovery run\n");
        return;
    }
    const double normal = window.open() / 1e6;
    const qint64 normalBytes = window.view().length();
    window.exit();
    if (!leaveJournal(window.path("log.txt"), captured)) {
        std::printf("could not leave a journal for the recovery run\n");
        return;
    }
    const double recovering = window.open() / 1e6;
    const double extra = recovering - normal;
    report.addRow("recovery at start-up after " + QByteArray::number(options.recoveryMb) +
                      " MB captured and not saved: time added / the disk alone (3)",
                  number(extra, "ms") + " / " +
                      number(diskWriteMs(window.path("disk-reference"), captured), "ms"),
                  "<= 1000 ms, durable capture",
                  extra <= 1000 && window.view().length() == normalBytes + captured);
}

} // namespace Bench
