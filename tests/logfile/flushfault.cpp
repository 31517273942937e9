#include "flushfault.h"

#include <sys/syscall.h>
#include <unistd.h>

extern "C" int fdatasync(int fd)
{
    ++FlushFault::calls;
    if (FlushFault::failing) {
        errno = EIO;
        return -1;
    }
    return int(::syscall(SYS_fdatasync, fd));
}

extern "C" int fsync(int fd)
{
    ++FlushFault::calls;
    if (FlushFault::failing) {
        errno = EIO;
        return -1;
    }
    return int(::syscall(SYS_fsync, fd));
}
