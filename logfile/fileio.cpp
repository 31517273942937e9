#include "logfile/fileio.h"

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace FileIo {

qint64 readAt(int fd, char *data, qint64 count, qint64 offset)
{
    qint64 done = 0;
    while (done < count) {
        const ssize_t got = ::pread(fd, data + done, size_t(count - done), off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    return done;
}

qint64 writeAt(int fd, const char *data, qint64 count, qint64 offset, int *error)
{
    qint64 done = 0;
    *error = 0;
    while (done < count) {
        const ssize_t put = ::pwrite(fd, data + done, size_t(count - done), off_t(offset + done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            *error = put < 0 ? errno : ENOSPC;
            break;
        }
        done += put;
    }
    return done;
}

namespace {

qint64 copyThroughBuffer(int fromFd, qint64 fromOffset, int toFd, qint64 toOffset, qint64 count,
                         int *error)
{
    constexpr qint64 kPiece = qint64(1) << 20;
    QByteArray piece(qsizetype(std::min(kPiece, count)), Qt::Uninitialized);
    qint64 done = 0;
    while (done < count) {
        const qint64 want = std::min(kPiece, count - done);
        const qint64 got = readAt(fromFd, piece.data(), want, fromOffset + done);
        const qint64 put = writeAt(toFd, piece.constData(), got, toOffset + done, error);
        done += put;
        if (*error != 0 || got < want)
            break;
    }
    return done;
}

} // namespace

qint64 copyAt(int fromFd, qint64 fromOffset, int toFd, qint64 toOffset, qint64 count, int *error)
{
    qint64 done = 0;
    *error = 0;
    while (done < count) {
        loff_t in = fromOffset + done;
        loff_t out = toOffset + done;
        const ssize_t copied = ::copy_file_range(fromFd, &in, toFd, &out, size_t(count - done), 0);
        if (copied < 0 && errno == EINTR)
            continue;
        // Files the kernel cannot copy between (other file systems on old kernels, pipes).
        if (copied < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                           errno == EOPNOTSUPP || errno == EBADF))
            return done + copyThroughBuffer(fromFd, fromOffset + done, toFd, toOffset + done,
                                            count - done, error);
        if (copied < 0) {
            *error = errno;
            break;
        }
        if (copied == 0)
            break;
        done += copied;
    }
    return done;
}

} // namespace FileIo
