#include "logfile/journal.h"
#include "logfile/fileio.h"
#include "logfile/journalsync.h"
#include "posix/errortext.h"
#include "posix/procinfo.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using JournalFormat::Record;
using JournalFormat::Type;

namespace {

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

bool writeAllAt(int fd, const char *data, qint64 size, qint64 offset)
{
    int error = 0;
    if (FileIo::writeAt(fd, data, size, offset, &error) == size)
        return true;
    errno = error;
    return false;
}

qint64 fileSize(int fd)
{
    const off_t end = ::lseek(fd, 0, SEEK_END);
    return end < 0 ? 0 : qint64(end);
}

} // namespace

Journal::Journal(const QString &logFileName)
    : m_dataPath(dataPathFor(logFileName)), m_indexPath(indexPathFor(logFileName))
{
}

Journal::~Journal()
{
    m_sync.reset();
    if (m_dataFd >= 0)
        ::close(m_dataFd);
    if (m_indexFd >= 0)
        ::close(m_indexFd);
}

bool Journal::isFindable() const
{
    const auto named = [](int fd, const QString &path) {
        const std::optional<FileIdentity> open = FileIdentity::ofDescriptor(fd);
        const std::optional<FileIdentity> found = FileIdentity::ofPath(path);
        return open && found && open->sameFile(*found);
    };
    return isOpen() && named(m_dataFd, m_dataPath) && named(m_indexFd, m_indexPath);
}

QString Journal::dataPathFor(const QString &logFileName)
{
    return logFileName + QStringLiteral(".journal");
}

QString Journal::indexPathFor(const QString &logFileName)
{
    return logFileName + QStringLiteral(".journal.idx");
}

bool Journal::fail(const QString &what, int errorNumber)
{
    if (!m_failed) {
        m_failed = true;
        m_errorText = QStringLiteral("Could not %1 the recovery journal %2: %3")
                          .arg(what, m_dataPath, ::errorText(errorNumber));
    }
    return false;
}

Journal::Claim Journal::claim()
{
    const auto unavailable = [this](int errorNumber) {
        fail(QStringLiteral("create"), errorNumber);
        return Claim{Claim::Status::Unavailable, 0, {}, m_errorText};
    };
    // A program that ended cleanly removes the files; the name must still lead to what we lock.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int fd = ::open(encoded(m_indexPath).constData(),
                              O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0)
            return unavailable(errno);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            const std::optional<FileIdentity> locked = FileIdentity::ofDescriptor(fd);
            ::close(fd);
            if (error != EWOULDBLOCK)
                return unavailable(error);
            const qint64 pid =
                locked ? flockHolder(dev_t(locked->device), ino_t(locked->inode)) : 0;
            return {Claim::Status::HeldByOther, pid, programName(pid), {}};
        }
        const std::optional<FileIdentity> locked = FileIdentity::ofDescriptor(fd);
        const std::optional<FileIdentity> named = FileIdentity::ofPath(m_indexPath);
        if (!locked || !named || !locked->sameFile(*named)) {
            ::close(fd);
            continue;
        }
        m_indexFd = fd;
        m_dataFd = ::open(encoded(m_dataPath).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (m_dataFd < 0) {
            const int error = errno;
            ::close(m_indexFd);
            m_indexFd = -1;
            return unavailable(error);
        }
        m_sync = std::make_unique<JournalSync>(m_dataFd, m_indexFd);
        return {Claim::Status::Claimed, 0, {}, {}};
    }
    return unavailable(EAGAIN);
}

Journal::Recovery Journal::recover(const std::optional<FileIdentity> &log) const
{
    Recovery recovery;
    if (!isOpen())
        return recovery;
    const qint64 dataSize = fileSize(m_dataFd);
    const qint64 indexSize = fileSize(m_indexFd);
    std::optional<FileIdentity> saving;
    std::optional<Record> appending;
    JournalFormat::RecordBytes bytes;
    QByteArray text;
    const auto header =
        FileIo::readAt(m_indexFd, bytes.data(), bytes.size(), 0) == qint64(bytes.size())
            ? JournalFormat::decode(bytes.data())
            : std::nullopt;
    if (!header || header->type != Type::Header) {
        recovery.unreadable = indexSize > 0 || dataSize > 0;
        return recovery;
    }
    for (qint64 at = 0; at + JournalFormat::kRecordSize <= indexSize;
         at += JournalFormat::kRecordSize) {
        if (FileIo::readAt(m_indexFd, bytes.data(), bytes.size(), at) != qint64(bytes.size()))
            break;
        const std::optional<Record> record = JournalFormat::decode(bytes.data());
        if (!record || (at == 0) != (record->type == Type::Header))
            break;
        const auto &f = record->fields;
        if (record->type == Type::Append) {
            // Text must follow on from the last, be all there, and be what was written.
            if (f[0] != recovery.textEnd || f[1] < 0 || f[0] + f[1] > dataSize)
                break;
            text.resize(qsizetype(f[1]));
            if (FileIo::readAt(m_dataFd, text.data(), f[1], f[0]) != f[1] ||
                JournalFormat::checksum(text) != quint64(f[2]))
                break;
            recovery.textEnd += f[1];
        } else if (record->type == Type::Clear) {
            if (f[0] != recovery.textEnd)
                break;
            recovery.cleared = true;
            recovery.textStart = recovery.textEnd;
            recovery.textRecords = at + JournalFormat::kRecordSize;
        }
        saving = record->type == Type::Saving
                     ? std::optional<FileIdentity>(FileIdentity{f[0], f[1], f[2], 0})
                     : std::nullopt;
        appending = record->type == Type::Appending ? record : std::nullopt;
        recovery.recordsEnd = at + JournalFormat::kRecordSize;
    }
    recovery.uncheckedBytes = std::max<qint64>(0, dataSize - recovery.textEnd);
    recovery.uncheckedRecords = indexSize > recovery.recordsEnd;
    // The save had put its file in place: the log holds everything already.
    recovery.alreadySaved = saving && log && log->sameFile(*saving) && log->size == saving->size;
    if (appending && log && log->sameFile({appending->fields[0], appending->fields[1], 0, 0})) {
        recovery.appendingFrom = appending->fields[2];
        recovery.appendingTo = appending->fields[3];
    }
    return recovery;
}

QByteArray Journal::recoveredText(const Recovery &recovery, qint64 offset, qint64 count) const
{
    const qint64 length = recovery.textEnd - recovery.textStart;
    count = qBound<qint64>(0, count, length - qBound<qint64>(0, offset, length));
    QByteArray text(qsizetype(count), Qt::Uninitialized);
    text.truncate(
        qsizetype(FileIo::readAt(m_dataFd, text.data(), text.size(), recovery.textStart + offset)));
    return text;
}

void Journal::forEachPiece(const Recovery &recovery,
                           const std::function<void(qint64, qint64)> &visit) const
{
    JournalFormat::RecordBytes bytes;
    for (qint64 at = recovery.textRecords; at < recovery.recordsEnd;
         at += JournalFormat::kRecordSize) {
        if (FileIo::readAt(m_indexFd, bytes.data(), bytes.size(), at) != qint64(bytes.size()))
            return;
        const std::optional<Record> record = JournalFormat::decode(bytes.data());
        if (record && record->type == Type::Append && record->fields[0] >= recovery.textStart)
            visit(record->fields[0] - recovery.textStart, record->timeMs);
    }
}

namespace {

// Opens the first free name of path + suffix, path + suffix + .2, ... for writing.
int createFreeName(const QString &path, const QString &suffix, QString &name)
{
    for (int n = 1; n <= 1000; ++n) {
        name = path + suffix + (n == 1 ? QString() : QStringLiteral(".%1").arg(n));
        const int fd = ::open(encoded(name).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool copyWhole(int from, int to)
{
    int error = 0;
    const qint64 size = fileSize(from);
    return FileIo::copyAt(from, 0, to, 0, size, &error) == size && flushToDisk(to);
}

} // namespace

QStringList Journal::setAside()
{
    QStringList names;
    for (const auto &[fd, path] :
         {std::pair(m_dataFd, m_dataPath), std::pair(m_indexFd, m_indexPath)}) {
        if (!isOpen() || fileSize(fd) == 0)
            continue;
        QString name;
        const int copy = createFreeName(path, QStringLiteral(".unread"), name);
        const bool copied = copy >= 0 && copyWhole(fd, copy);
        const int error = errno;
        if (copy >= 0)
            ::close(copy);
        if (!copied) {
            fail(QStringLiteral("set aside"), error);
            return names;
        }
        names << name;
    }
    return names;
}

void Journal::start(const std::optional<FileIdentity> &base)
{
    if (!isOpen())
        return;
    if (::ftruncate(m_indexFd, 0) != 0)
        fail(QStringLiteral("write"), errno);
    // Freeing a long capture's blocks takes a while: the sync thread does it, and the next
    // write waits for it. The new index already says that the old data is nothing.
    m_sync->emptyDataFile();
    m_dataEnd = 0;
    m_indexEnd = 0;
    const FileIdentity file = base.value_or(FileIdentity{});
    writeRecord(Type::Header,
                {qint64(::getpid()),
                 qint64(base ? JournalFormat::BaseKind::File : JournalFormat::BaseKind::Empty),
                 file.size, file.device, file.inode, file.mtimeNs});
}

void Journal::resume(const Recovery &recovery)
{
    if (!isOpen())
        return;
    // What follows the intact part is garbage; a save that did not finish is no longer pending.
    if (::ftruncate(m_indexFd, recovery.recordsEnd) != 0 ||
        ::ftruncate(m_dataFd, recovery.textEnd) != 0)
        fail(QStringLiteral("write"), errno);
    m_dataEnd = recovery.textEnd;
    m_indexEnd = recovery.recordsEnd;
}

void Journal::awaitEmptyDataFile() const
{
    if (m_sync)
        m_sync->awaitEmptyDataFile();
}

void Journal::noteAppended(qint64 offset, QByteArrayView text, qint64 timeMs)
{
    if (!isOpen() || text.isEmpty())
        return;
    writeRecord(Type::Append, {offset, text.size(), qint64(JournalFormat::checksum(text)), 0, 0, 0},
                timeMs);
    m_dataEnd = offset + text.size();
}

void Journal::clear()
{
    writeRecord(Type::Clear, {m_dataEnd, 0, 0, 0, 0, 0});
}

void Journal::noteSaving(const FileIdentity &replacement)
{
    writeRecord(Type::Saving, {replacement.device, replacement.inode, replacement.size, 0, 0, 0});
    syncNow();
}

void Journal::noteAppending(const FileIdentity &log, qint64 newSize)
{
    writeRecord(Type::Appending, {log.device, log.inode, log.size, newSize, 0, 0});
    syncNow();
}

void Journal::writeRecord(Type type, std::array<qint64, 6> fields, qint64 timeMs)
{
    if (!isOpen())
        return;
    const JournalFormat::RecordBytes bytes = JournalFormat::encode(
        {type, timeMs > 0 ? timeMs : QDateTime::currentMSecsSinceEpoch(), fields});
    // A record cut short by a failed write is written over by the next one.
    if (!writeAllAt(m_indexFd, bytes.data(), bytes.size(), m_indexEnd)) {
        fail(QStringLiteral("write"), errno);
        return;
    }
    m_indexEnd += bytes.size();
    m_sync->changed();
}

bool Journal::syncNow()
{
    if (!isOpen())
        return true;
    if (!flushToDisk(m_dataFd) || !flushToDisk(m_indexFd))
        return fail(QStringLiteral("flush"), errno);
    return true;
}

void Journal::discard()
{
    if (!isOpen())
        return;
    m_sync.reset();
    // The data first: an index left alone describes nothing that could be recovered.
    ::unlink(encoded(m_dataPath).constData());
    ::unlink(encoded(m_indexPath).constData());
    ::close(m_dataFd);
    ::close(m_indexFd);
    m_dataFd = m_indexFd = -1;
}

void Journal::setErrorHandler(std::function<void(const QString &)> handler)
{
    if (m_sync)
        m_sync->setErrorHandler(std::move(handler));
}

qint64 Journal::longestWaitMs() const
{
    return m_sync ? m_sync->longestWaitMs() : 0;
}
