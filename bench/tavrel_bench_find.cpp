#include "app/findbar.h"
#include "app/logview/logview.h"
#include "logfile/logsearch.h"
#include "logfile/logtext.h"
#include "logfile/logtextreader.h"
#include "tavrel_bench.h"

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace Bench {

namespace {

// Four bytes the bench stream may hold; their text as one line of items, for memmem.
const QByteArray kPattern("\x12\x34\x56\x78", 4);
const QByteArray kPatternText("12 34 56 78 ");

// A plain memmem over the file, read in blocks where it lies: the reference for a search.
double memmemGbPerSecond(const QString &path, qint64 *found)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    constexpr qint64 kBlock = qint64(1) << 20;
    QByteArray block(kBlock, Qt::Uninitialized);
    const qint64 before = clockNs();
    qint64 total = 0;
    *found = 0;
    for (;;) {
        const ssize_t got = ::pread(fd, block.data(), kBlock, total);
        if (got <= 0)
            break;
        const char *at = block.constData();
        const char *end = at + got;
        while (const void *hit = ::memmem(at, size_t(end - at), kPatternText.constData(),
                                          size_t(kPatternText.size()))) {
            ++*found;
            at = static_cast<const char *>(hit) + 1;
        }
        total += got;
    }
    const double seconds = (clockNs() - before) / 1e9;
    ::close(fd);
    return seconds > 0 ? total / seconds / 1e9 : 0;
}

// The window's search over its text, block by block in its own thread, until it has seen it all.
double searchGbPerSecond(const LogText &text, qint64 *found)
{
    LogSearch search;
    *found = 0;
    QObject::connect(
        &search, &LogSearch::matchesFound, &search,
        [found](const std::vector<LogMatch> &matches) { *found += qint64(matches.size()); });
    const std::shared_ptr<const LogTextReader> reader = text.reader();
    const qint64 size = reader->size();
    const qint64 before = clockNs();
    search.start(kPattern, reader);
    while (search.searchedTo() < size)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double seconds = (clockNs() - before) / 1e9;
    return seconds > 0 ? size / seconds / 1e9 : 0;
}

// The find bar over the log, as a user drives it: F3 with the caret in the middle of the log,
// key presses posted every 20 ms from a thread of its own until the search has seen it all.
struct BarRun
{
    double firstMatchMs = -1;
    double keysP99Ms = 0;
    double memoryMb = 0;
};

// The first four items of the line after a position, as a user would type them.
QByteArray itemsAfter(const LogText &text, qint64 position)
{
    const QByteArray near = text.mid(position, 4096);
    const qsizetype line = near.indexOf('\n') + 1;
    return near.mid(line, near.indexOf('\r', line) - line).split(' ').mid(0, 4).join(' ');
}

BarRun runFindBar(Window &window)
{
    auto *bar = window.form().findChild<FindBar *>();
    LogView &view = window.view();
    const qint64 middle = view.length() / 2;
    view.setSelStart(middle);
    bar->open();
    bar->findChild<QLineEdit *>(QStringLiteral("findPattern"))
        ->setText(QString::fromLatin1(itemsAfter(view.storage(), middle)));
    window.takeKeyDelays();
    BarRun run;
    const qint64 rssBefore = residentBytes();
    qint64 rssPeak = rssBefore;
    std::atomic<bool> searching{true};
    std::thread keys([&] {
        for (; searching.load(); std::this_thread::sleep_for(std::chrono::milliseconds(20)))
            window.postKey(Qt::Key_Shift); // moves nothing: the selection the search makes stays
    });
    const qint64 before = clockNs();
    bar->findNext();
    while (!bar->isComplete()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (run.firstMatchMs < 0 && view.selStart() >= middle && view.selLength() > 0)
            run.firstMatchMs = (clockNs() - before) / 1e6;
        rssPeak = qMax(rssPeak, residentBytes());
    }
    searching.store(false);
    keys.join();
    QTest::qWait(50);
    bar->close();
    run.keysP99Ms = p99Ms(window.takeKeyDelays());
    run.memoryMb = (rssPeak - rssBefore) / 1e6;
    return run;
}

} // namespace

void runFind(Report &report, Window &window)
{
    qint64 plainFound = 0;
    qint64 searchFound = 0;
    // Both read the file from the page cache: the first pass only warms it.
    memmemGbPerSecond(window.path("log.txt"), &plainFound);
    const double plain = memmemGbPerSecond(window.path("log.txt"), &plainFound);
    const double search = searchGbPerSecond(window.view().storage(), &searchFound);
    const double ratio = plain > 0 ? search / plain : 0;
    report.row("find 4 bytes in it: the search / a plain memmem of their text over the file",
               number(search, "GB/s", 2) + " / " + number(plain, "GB/s", 2) + " = " +
                   number(ratio, "x", 2),
               ">= 0.67x memmem and >= 1.5 GB/s, find",
               ratio >= 0.67 && search >= 1.5 && searchFound >= plainFound);
    const BarRun bar = runFindBar(window);
    report.row("F3 in the find bar from the middle of it: the first match after the caret shown",
               bar.firstMatchMs < 0 ? QByteArray("none") : number(bar.firstMatchMs, "ms"),
               "<= 100 ms, find", bar.firstMatchMs >= 0 && bar.firstMatchMs <= 100);
    report.row("key press handled while the find bar searches it, 99th percentile",
               number(bar.keysP99Ms, "ms", 1), "<= 50 ms, find", bar.keysP99Ms <= 50);
    report.row("resident memory the find bar's search added", number(bar.memoryMb, "MB"),
               "<= 50 MB, find", bar.memoryMb <= 50);
}

} // namespace Bench
