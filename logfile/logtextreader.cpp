#include "logfile/logtextreader.h"
#include "logfile/fileio.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

qint64 MemoryLogTextReader::read(qint64 position, char *data, qint64 count) const
{
    count = std::min(count, size() - position);
    if (position < 0 || count <= 0)
        return 0;
    std::memcpy(data, m_text.constData() + position, size_t(count));
    return count;
}

FileLogTextReader::FileLogTextReader(int baseFd, qint64 baseSize, int tailFd, qint64 tailStart,
                                     qint64 tailLength)
    : m_baseFd(baseFd < 0 ? -1 : ::fcntl(baseFd, F_DUPFD_CLOEXEC, 0)),
      m_baseSize(m_baseFd < 0 ? 0 : baseSize),
      m_tailFd(tailFd < 0 ? -1 : ::fcntl(tailFd, F_DUPFD_CLOEXEC, 0)), m_tailStart(tailStart),
      m_tailLength(m_tailFd < 0 ? 0 : tailLength)
{
}

FileLogTextReader::~FileLogTextReader()
{
    if (m_baseFd >= 0)
        ::close(m_baseFd);
    if (m_tailFd >= 0)
        ::close(m_tailFd);
}

qint64 FileLogTextReader::read(qint64 position, char *data, qint64 count) const
{
    return StoredRegions{m_baseFd, m_baseSize, m_tailFd, m_tailStart, m_tailLength}.read(
        position, data, count);
}

qint64 StoredRegions::read(qint64 position, char *data, qint64 count) const
{
    count = std::min(count, baseSize + tailLength - position);
    if (position < 0 || count <= 0)
        return 0;
    qint64 done = 0;
    if (position < baseSize) {
        const qint64 want = std::min(count, baseSize - position);
        done = FileIo::readAt(baseFd, data, want, position);
        if (done < want)
            return done;
    }
    if (done < count)
        done += FileIo::readAt(tailFd, data + done, count - done,
                               tailStart + position + done - baseSize);
    return done;
}
