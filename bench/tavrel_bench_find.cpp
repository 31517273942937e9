#include "logfile/logsearch.h"
#include "logfile/logtextreader.h"
#include "tavrel_bench.h"

#include <QCoreApplication>
#include <QFile>
#include <cstring>
#include <fcntl.h>
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
}

} // namespace Bench
