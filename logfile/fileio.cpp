#include "logfile/fileio.h"

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

} // namespace FileIo
