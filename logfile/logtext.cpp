#include "logfile/logtext.h"
#include "logfile/fileio.h"
#include "logfile/logtextreader.h"

#include <algorithm>
#include <cstring>

QByteArray LogText::mid(qint64 position, qint64 count) const
{
    position = std::clamp<qint64>(position, 0, size());
    count = std::clamp<qint64>(count, 0, size() - position);
    QByteArray bytes(qsizetype(count), Qt::Uninitialized);
    bytes.truncate(qsizetype(read(position, bytes.data(), count)));
    return bytes;
}

qint64 LogText::copyTo(int fd, qint64 position, qint64 count, qint64 fdOffset, int *error) const
{
    constexpr qint64 kPiece = qint64(1) << 20;
    QByteArray piece(qsizetype(std::min(kPiece, std::max<qint64>(0, count))), Qt::Uninitialized);
    qint64 done = 0;
    *error = 0;
    while (done < count) {
        const qint64 want = std::min(kPiece, count - done);
        const qint64 got = read(position + done, piece.data(), want);
        done += FileIo::writeAt(fd, piece.constData(), got, fdOffset + done, error);
        if (*error != 0 || got < want)
            break;
    }
    return done;
}

qint64 MemoryLogText::read(qint64 position, char *data, qint64 count) const
{
    if (position < 0 || position >= m_text.size() || count <= 0)
        return 0;
    const qint64 take = std::min<qint64>(count, m_text.size() - position);
    std::memcpy(data, m_text.constData() + position, size_t(take));
    return take;
}

std::shared_ptr<const LogTextReader> LogText::reader() const
{
    return std::make_shared<MemoryLogTextReader>(mid(0, size()));
}
