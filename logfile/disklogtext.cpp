#include "logfile/disklogtext.h"
#include "logfile/fileio.h"
#include "logfile/logtextreader.h"
#include "posix/errortext.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int duplicate(int fd)
{
    return fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

void closeIfOpen(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// An unnamed file where the file system offers one, else a named one removed at once.
int openPrivateFile(const QString &directory)
{
    const QByteArray dir = QFile::encodeName(directory.isEmpty() ? QStringLiteral(".") : directory);
    const int fd = ::open(dir.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return fd;
    QByteArray name = dir + "/.tavrel-text-XXXXXX";
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0)
        ::unlink(name.constData());
    return named;
}

} // namespace

DiskLogText::DiskLogText(int baseFd, qint64 baseSize, int tailFd, qint64 tailStart,
                         qint64 tailLength)
    : m_baseFd(duplicate(baseFd)), m_baseSize(m_baseFd >= 0 ? std::max<qint64>(0, baseSize) : 0),
      m_tailFd(duplicate(tailFd)), m_tailStart(std::max<qint64>(0, tailStart)),
      m_tailLength(m_tailFd >= 0 ? std::max<qint64>(0, tailLength) : 0)
{
}

DiskLogText::~DiskLogText()
{
    closeIfOpen(m_baseFd);
    closeIfOpen(m_tailFd);
}

std::unique_ptr<DiskLogText> DiskLogText::create(const QString &directory, int baseFd,
                                                 qint64 baseSize, QString *errorText)
{
    const int tail = openPrivateFile(directory);
    if (tail < 0) {
        if (errorText) {
            *errorText = QStringLiteral("Could not make a file for the log in %1: %2")
                             .arg(directory, ::errorText(errno));
        }
        return nullptr;
    }
    auto text = std::make_unique<DiskLogText>(baseFd, baseSize, tail, 0);
    ::close(tail);
    text->m_ownsTail = true;
    return text;
}

qint64 DiskLogText::size() const
{
    return m_baseSize + m_tailLength + m_unwritten.size();
}

qint64 DiskLogText::read(qint64 position, char *data, qint64 count) const
{
    count = std::min(count, size() - position);
    if (position < 0 || count <= 0)
        return 0;
    // Large reads (a save, a copy) go straight to the file and leave the view's blocks cached.
    if (count >= 4 * BlockSize)
        return readUncached(position, data, count);
    qint64 done = 0;
    while (done < count) {
        const qint64 at = position + done;
        const Block &cached = block(at / BlockSize);
        const qint64 offset = at % BlockSize;
        const qint64 take = std::min(count - done, qint64(cached.bytes.size()) - offset);
        // A block cut short by a base that another program cut: what follows the base is ours.
        if (take <= 0 && at >= m_baseSize)
            return done + readUncached(at, data + done, count - done);
        if (take <= 0)
            break;
        std::memcpy(data + done, cached.bytes.constData() + offset, size_t(take));
        done += take;
        if (cached.bytes.size() < BlockSize)
            break;
    }
    return done;
}

std::shared_ptr<const LogTextReader> DiskLogText::reader() const
{
    return std::make_shared<FileLogTextReader>(m_baseFd, m_baseSize, m_tailFd, m_tailStart,
                                               m_tailLength);
}

qint64 DiskLogText::readUncached(qint64 position, char *data, qint64 count) const
{
    const StoredRegions stored{m_baseFd, m_baseSize, m_tailFd, m_tailStart, m_tailLength};
    qint64 done = stored.read(position, data, count);
    // What follows the files is the text not yet written.
    const qint64 storedEnd = m_baseSize + m_tailLength;
    if (done < count && position + done >= storedEnd) {
        const qint64 at = position + done - storedEnd;
        const qint64 take = std::min(count - done, qint64(m_unwritten.size()) - at);
        std::memcpy(data + done, m_unwritten.constData() + at, size_t(take));
        done += take;
    }
    return done;
}

const DiskLogText::Block &DiskLogText::block(qint64 index) const
{
    auto found = m_cache.find(index);
    if (found == m_cache.end()) {
        if (m_cache.size() >= CachedBlocks) {
            const auto oldest =
                std::min_element(m_cache.begin(), m_cache.end(), [](const auto &a, const auto &b) {
                    return a.second.lastUse < b.second.lastUse;
                });
            m_cache.erase(oldest);
        }
        Block fresh;
        const qint64 start = index * BlockSize;
        fresh.bytes.resize(qsizetype(std::min(BlockSize, std::max<qint64>(0, size() - start))));
        fresh.bytes.truncate(
            qsizetype(readUncached(start, fresh.bytes.data(), fresh.bytes.size())));
        found = m_cache.emplace(index, std::move(fresh)).first;
    }
    found->second.lastUse = ++m_useCount;
    return found->second;
}

void DiskLogText::append(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    dropCacheFrom(size());
    m_unwritten.append(bytes);
    writeUnwritten();
}

// Whatever the tail refuses stays in memory, so a full disk loses nothing the view was given.
void DiskLogText::writeUnwritten()
{
    if (m_tailFd < 0)
        return;
    const qint64 written = FileIo::writeAt(m_tailFd, m_unwritten.constData(), m_unwritten.size(),
                                           m_tailStart + m_tailLength, &m_writeError);
    m_tailLength += written;
    m_unwritten.remove(0, qsizetype(written));
    if (m_unwritten.isEmpty() && m_unwritten.capacity() > qsizetype(1024) * 1024)
        m_unwritten.squeeze();
}

void DiskLogText::replace(QByteArray text)
{
    closeIfOpen(m_baseFd);
    m_baseSize = 0;
    m_tailLength = 0;
    m_unwritten.clear();
    m_cache.clear();
    truncateOwnTail();
    append(text);
}

qint64 DiskLogText::copyTo(int fd, qint64 position, qint64 count, qint64 fdOffset, int *error) const
{
    *error = 0;
    count = std::min(count, size() - position);
    if (position < 0 || count <= 0)
        return 0;
    const qint64 tailEnd = m_baseSize + m_tailLength;
    qint64 done = 0;
    // Each part from its own file, inside the kernel: the text never passes through memory.
    const auto copyPart = [&](int from, qint64 partStart, qint64 partEnd, qint64 fileStart) {
        const qint64 at = position + done;
        if (done >= count || at >= partEnd || at < partStart)
            return true;
        const qint64 want = std::min(count - done, partEnd - at);
        const qint64 got =
            FileIo::copyAt(from, fileStart + (at - partStart), fd, fdOffset + done, want, error);
        done += got;
        return got == want;
    };
    if (!copyPart(m_baseFd, 0, m_baseSize, 0) ||
        !copyPart(m_tailFd, m_baseSize, tailEnd, m_tailStart))
        return done;
    if (done < count) {
        const qint64 at = position + done - tailEnd;
        done +=
            FileIo::writeAt(fd, m_unwritten.constData() + at, count - done, fdOffset + done, error);
    }
    return done;
}

void DiskLogText::restartAt(qint64 tailStart)
{
    closeIfOpen(m_baseFd);
    m_baseSize = 0;
    m_tailStart = tailStart;
    m_tailLength = 0;
    m_unwritten.clear();
    m_cache.clear();
}

qint64 DiskLogText::cutBaseToFile()
{
    struct stat info = {};
    if (m_baseFd < 0 || ::fstat(m_baseFd, &info) != 0 || info.st_size >= m_baseSize)
        return 0;
    const qint64 lost = m_baseSize - info.st_size;
    m_baseSize = info.st_size;
    // Everything after the cut moved down.
    m_cache.clear();
    return lost;
}

void DiskLogText::rebase(int baseFd, qint64 baseSize, qint64 tailStart)
{
    const bool sameSize = baseSize == size();
    closeIfOpen(m_baseFd);
    m_baseFd = duplicate(baseFd);
    m_baseSize = m_baseFd >= 0 ? std::max<qint64>(0, baseSize) : 0;
    m_tailStart = tailStart;
    m_tailLength = 0;
    m_unwritten.clear();
    // The same text in another file: what is cached stays true.
    if (!sameSize || m_baseFd < 0)
        m_cache.clear();
    truncateOwnTail();
}

void DiskLogText::dropCacheFrom(qint64 position)
{
    m_cache.erase(m_cache.lower_bound(position / BlockSize), m_cache.end());
}

void DiskLogText::truncateOwnTail()
{
    // A tail handed over belongs to its owner, who decides what becomes of its old bytes.
    if (m_ownsTail && m_tailFd >= 0)
        (void)::ftruncate(m_tailFd, off_t(m_tailStart));
}
