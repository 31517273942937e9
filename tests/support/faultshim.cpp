#include "support/faultshim.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::atomic<long> s_callsLeft{0};
pthread_t s_counted = {};

bool killArmed()
{
    return s_callsLeft > 0 && pthread_equal(pthread_self(), s_counted);
}

// A kill due now ends the process before the call.
void countCall()
{
    if (killArmed() && --s_callsLeft == 0)
        ::_exit(FaultShim::KilledStatus);
}

// While a kill is armed, a transfer moves at most half of what is asked: short, as is allowed.
size_t shortened(size_t count)
{
    return killArmed() ? std::max<size_t>(1, count / 2) : count;
}

int flush(long call, int fd)
{
    countCall();
    if (FaultShim::flushFails) {
        errno = EIO;
        return -1;
    }
    return int(::syscall(call, fd));
}

} // namespace

void FaultShim::killAfterCalls(long calls)
{
    s_counted = pthread_self();
    s_callsLeft = calls;
}

extern "C" {

int fdatasync(int fd)
{
    return flush(SYS_fdatasync, fd);
}

int fsync(int fd)
{
    return flush(SYS_fsync, fd);
}

ssize_t pwrite(int fd, const void *data, size_t count, off_t offset)
{
    countCall();
    return ::syscall(SYS_pwrite64, fd, data, shortened(count), offset);
}

ssize_t pwrite64(int fd, const void *data, size_t count, off_t offset)
{
    return pwrite(fd, data, count, offset);
}

ssize_t copy_file_range(int in, loff_t *inOffset, int out, loff_t *outOffset, size_t count,
                        unsigned int flags)
{
    countCall();
    return ::syscall(SYS_copy_file_range, in, inOffset, out, outOffset, shortened(count), flags);
}

int ftruncate(int fd, off_t length)
{
    countCall();
    return int(::syscall(SYS_ftruncate, fd, length));
}

int ftruncate64(int fd, off_t length)
{
    return ftruncate(fd, length);
}

int rename(const char *from, const char *to)
{
    countCall();
    if (FaultShim::renameFails) {
        errno = EIO;
        return -1;
    }
    return int(::syscall(SYS_renameat, AT_FDCWD, from, AT_FDCWD, to));
}

int renameat2(int fromDir, const char *from, int toDir, const char *to, unsigned int flags)
{
    countCall();
    if (FaultShim::renameFails) {
        errno = EIO;
        return -1;
    }
    return int(::syscall(SYS_renameat2, fromDir, from, toDir, to, flags));
}

int unlink(const char *path)
{
    countCall();
    return int(::syscall(SYS_unlinkat, AT_FDCWD, path, 0));
}

int link(const char *from, const char *to)
{
    countCall();
    return int(::syscall(SYS_linkat, AT_FDCWD, from, AT_FDCWD, to, 0));
}
}
