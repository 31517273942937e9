#include "logfile/logtimes.h"
#include "logfile/fileio.h"
#include "logfile/journalformat.h"
#include "logfile/journalsync.h"

#include <QFile>

#include "logfile/rawbytes.h"

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

// The file: a header page naming the log the entries were last saved with, then pages of
// entries. A page starts with its first entry whole (offset + 1, so that a page of zeros holds
// none, and time) and goes on with deltas as variable-length integers; a zero byte ends it.
namespace {

constexpr quint32 kMagic = 0x4d545654; // "TVTM"
constexpr quint16 kVersion = 1;
constexpr int kHeaderBytes = 48;
constexpr int kFirstEntryBytes = 16;
// Two integers of up to ten bytes each, and room for the terminating zero.
constexpr int kLongestEntry = 21;

using RawBytes::get;
using RawBytes::put;

void putVarint(QByteArray &bytes, int &at, quint64 value)
{
    do {
        const auto low = quint8(value & 0x7f);
        value >>= 7;
        bytes[at++] = char(value ? (low | 0x80) : low);
    } while (value);
}

bool getVarint(const QByteArray &bytes, int &at, quint64 &value)
{
    value = 0;
    for (int shift = 0; shift < 64 && at < bytes.size(); shift += 7) {
        const auto byte = quint8(bytes[at++]);
        value |= quint64(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            return true;
    }
    return false;
}

quint64 zigzag(qint64 value)
{
    return (quint64(value) << 1) ^ quint64(value >> 63);
}

qint64 unzigzag(quint64 value)
{
    return qint64(value >> 1) ^ -qint64(value & 1);
}

// Calls visit(offset, timeMs, endOfEntry) for each entry of the page, in order, until it
// returns false; gives the first entry's offset or -1 for a page that holds none.
template <typename Visit> void forEachEntry(const QByteArray &page, Visit visit)
{
    if (page.size() < kFirstEntryBytes)
        return;
    qint64 offset = get<qint64>(page.constData()) - 1;
    qint64 time = get<qint64>(page.constData() + 8);
    int at = kFirstEntryBytes;
    if (offset < 0 || !visit(offset, time, at))
        return;
    for (;;) {
        quint64 offsetDelta = 0;
        quint64 timeDelta = 0;
        if (!getVarint(page, at, offsetDelta) || offsetDelta == 0 ||
            !getVarint(page, at, timeDelta))
            return;
        offset += qint64(offsetDelta);
        time += unzigzag(timeDelta);
        if (!visit(offset, time, at))
            return;
    }
}

} // namespace

LogTimes::LogTimes(const QString &logFileName) : m_path(pathFor(logFileName)) {}

LogTimes::~LogTimes()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString LogTimes::pathFor(const QString &logFileName)
{
    return logFileName + QStringLiteral(".times");
}

void LogTimes::open(const std::optional<FileIdentity> &log, qint64 textSize)
{
    if (m_fd < 0)
        m_fd = ::open(QFile::encodeName(m_path).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    // Without the file the log is kept as well; only its times are not.
    if (m_fd < 0)
        return;
    const std::optional<Header> named = readHeader();
    if (log && named && named->log == *log && log->size == textSize) {
        loadPages();
        if (holdsSealedEntries(*named)) {
            cutTo(textSize);
            return;
        }
    }
    restart();
    if (textSize > 0)
        add(0, 0);
}

bool LogTimes::openToRead(const FileIdentity &log)
{
    if (m_fd >= 0)
        return false;
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (m_fd < 0)
        return false;
    const std::optional<Header> named = readHeader();
    if (named && named->log == log) {
        loadPages();
        if (holdsSealedEntries(*named))
            return true;
    }
    ::close(m_fd);
    m_fd = -1;
    m_pages = 0;
    m_last.clear();
    return false;
}

void LogTimes::loadPages()
{
    const off_t end = ::lseek(m_fd, 0, SEEK_END);
    m_pages = end > PageSize ? (qint64(end) - 1) / PageSize : 0;
    m_last = QByteArray(PageSize, '\0');
    if (m_pages > 0)
        FileIo::readAt(m_fd, m_last.data(), PageSize, m_pages * PageSize);
    m_read = {};
    m_firstEntries.clear();
}

// A file cut short (or with entries lost) would give the log's last chunks an earlier time.
bool LogTimes::holdsSealedEntries(const Header &header) const
{
    return header.lastStart < 0 || header.log.size == 0 ||
           chunkAt(header.log.size - 1).start == header.lastStart;
}

void LogTimes::add(qint64 offset, qint64 timeMs)
{
    if (m_fd < 0 || offset <= m_lastEntry.offset)
        return;
    if (m_pages == 0 || m_lastUsed + kLongestEntry > PageSize) {
        startPage({offset, timeMs});
        return;
    }
    const int from = m_lastUsed;
    putVarint(m_last, m_lastUsed, quint64(offset - m_lastEntry.offset));
    putVarint(m_last, m_lastUsed, zigzag(timeMs - m_lastEntry.timeMs));
    m_lastEntry = {offset, timeMs};
    writeTail(from);
}

void LogTimes::clear()
{
    if (m_fd >= 0)
        restart();
}

void LogTimes::seal(const FileIdentity &log)
{
    if (m_fd < 0)
        return;
    // The entries reach the disk before the header vouches for them.
    flushToDisk(m_fd);
    writeHeader(log, log.size > 0 ? chunkAt(log.size - 1).start : -1);
    flushToDisk(m_fd);
}

qint64 LogTimes::arrivalMs(qint64 offset) const
{
    const qint64 page = lastPageStartingBefore(offset + 1);
    if (page < 0)
        return Unknown;
    qint64 found = 0;
    forEachEntry(readPage(page), [&](qint64 at, qint64 time, int) {
        if (at > offset)
            return false;
        found = time;
        return true;
    });
    return found > 0 ? found : Unknown;
}

LogTimes::Chunk LogTimes::chunkAt(qint64 offset) const
{
    Chunk chunk;
    forEachChunkFrom(offset, [&](qint64 start, qint64 timeMs) {
        if (chunk.start >= 0) {
            chunk.next = start;
            return false;
        }
        chunk.start = start;
        chunk.timeMs = timeMs;
        return true;
    });
    return chunk;
}

void LogTimes::forEachChunkFrom(qint64 offset,
                                const std::function<bool(qint64, qint64)> &visit) const
{
    // Each entry is handed on when the next one shows that it holds offset or comes later.
    std::optional<Entry> pending;
    bool going = true;
    for (qint64 page = std::max<qint64>(0, lastPageStartingBefore(offset + 1));
         going && page >= 0 && page < m_pages; ++page) {
        forEachEntry(readPage(page), [&](qint64 start, qint64 time, int) {
            if (pending && start > offset && !visit(pending->offset, pending->timeMs)) {
                going = false;
                return false;
            }
            pending = Entry{start, time > 0 ? time : Unknown};
            return true;
        });
    }
    if (going && pending)
        visit(pending->offset, pending->timeMs);
}

qint64 LogTimes::firstKnownMs() const
{
    qint64 found = Unknown;
    for (qint64 page = 0; found == Unknown && page < m_pages; ++page) {
        forEachEntry(readPage(page), [&](qint64, qint64 time, int) {
            found = time > 0 ? time : Unknown;
            return found == Unknown;
        });
    }
    return found;
}

LogTimes::Entry LogTimes::firstEntryOf(qint64 page) const
{
    if (page == m_pages - 1)
        return {get<qint64>(m_last.constData()) - 1, get<qint64>(m_last.constData() + 8)};
    if (const auto cached = m_firstEntries.find(page); cached != m_firstEntries.end())
        return cached->second;
    char bytes[kFirstEntryBytes] = {};
    if (FileIo::readAt(m_fd, bytes, kFirstEntryBytes, (page + 1) * PageSize) != kFirstEntryBytes)
        return {};
    // Bounded: a search touches about log2 of the pages, and the same ones again and again.
    if (m_firstEntries.size() >= 65536)
        m_firstEntries.clear();
    const Entry first{get<qint64>(bytes) - 1, get<qint64>(bytes + 8)};
    m_firstEntries.emplace(page, first);
    return first;
}

QByteArray LogTimes::readPage(qint64 page) const
{
    // The page being filled is never cached: it changes with every entry.
    if (page == m_pages - 1)
        return m_last;
    if (m_read.index != page) {
        m_read.index = page;
        m_read.bytes = QByteArray(PageSize, '\0');
        m_read.bytes.truncate(
            qsizetype(FileIo::readAt(m_fd, m_read.bytes.data(), PageSize, (page + 1) * PageSize)));
    }
    return m_read.bytes;
}

qint64 LogTimes::lastPageStartingBefore(qint64 offset) const
{
    if (m_fd < 0)
        return -1;
    // A page without an entry (never written whole) counts as past every offset.
    qint64 low = 0;
    qint64 high = m_pages;
    while (low < high) {
        const qint64 middle = low + (high - low) / 2;
        const Entry first = firstEntryOf(middle);
        if (first.offset >= 0 && first.offset < offset)
            low = middle + 1;
        else
            high = middle;
    }
    return low - 1;
}

void LogTimes::cutTo(qint64 textSize)
{
    const qint64 page = lastPageStartingBefore(textSize);
    if (page < 0) {
        restart();
        return;
    }
    QByteArray bytes = readPage(page);
    int used = 0;
    Entry last;
    forEachEntry(bytes, [&](qint64 offset, qint64 time, int end) {
        if (offset >= textSize)
            return false;
        last = {offset, time};
        used = end;
        return true;
    });
    bytes.truncate(used);
    bytes.append(QByteArray(PageSize - used, '\0'));
    (void)::ftruncate(m_fd, off_t((page + 1) * PageSize + used));
    m_pages = page + 1;
    m_last = bytes;
    m_lastUsed = used;
    m_lastEntry = last;
    m_read = {};
    m_firstEntries.clear();
}

void LogTimes::restart()
{
    (void)::ftruncate(m_fd, off_t(PageSize));
    writeHeader(std::nullopt, -1);
    m_pages = 0;
    m_last.clear();
    m_lastUsed = 0;
    m_lastEntry = {};
    m_read = {};
    m_firstEntries.clear();
}

void LogTimes::writeHeader(const std::optional<FileIdentity> &log, qint64 lastStart)
{
    char header[kHeaderBytes + 8] = {};
    if (log) {
        put<quint32>(header, kMagic);
        put<quint16>(header + 4, kVersion);
        put<qint64>(header + 8, log->size);
        put<qint64>(header + 16, log->device);
        put<qint64>(header + 24, log->inode);
        put<qint64>(header + 32, log->mtimeNs);
        put<qint64>(header + 40, lastStart + 1); // 0 in files that did not record it
        put<quint64>(header + kHeaderBytes,
                     JournalFormat::checksum(QByteArrayView(header, kHeaderBytes)));
    }
    int error = 0;
    FileIo::writeAt(m_fd, header, sizeof header, 0, &error);
}

std::optional<LogTimes::Header> LogTimes::readHeader() const
{
    char header[kHeaderBytes + 8] = {};
    if (FileIo::readAt(m_fd, header, sizeof header, 0) != qint64(sizeof header) ||
        get<quint32>(header) != kMagic || get<quint16>(header + 4) != kVersion ||
        get<quint64>(header + kHeaderBytes) !=
            JournalFormat::checksum(QByteArrayView(header, kHeaderBytes)))
        return std::nullopt;
    return Header{{get<qint64>(header + 16), get<qint64>(header + 24), get<qint64>(header + 8),
                   get<qint64>(header + 32)},
                  get<qint64>(header + 40) - 1};
}

void LogTimes::startPage(const Entry &first)
{
    m_last = QByteArray(PageSize, '\0');
    put<qint64>(m_last.data(), first.offset + 1);
    put<qint64>(m_last.data() + 8, first.timeMs);
    m_lastUsed = kFirstEntryBytes;
    m_lastEntry = first;
    ++m_pages;
    writeTail(0);
}

void LogTimes::writeTail(int from)
{
    int error = 0;
    FileIo::writeAt(m_fd, m_last.constData() + from, m_lastUsed - from, m_pages * PageSize + from,
                    &error);
}
