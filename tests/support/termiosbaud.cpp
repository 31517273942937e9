// Kept apart: the kernel's termios2 clashes with the C library's termios.
#include <QtGlobal>
#include <asm/termbits.h>
#include <sys/ioctl.h>

qint64 readBaudRate(int descriptor)
{
    termios2 settings{};
    if (::ioctl(descriptor, TCGETS2, &settings) != 0)
        return -1;
    return settings.c_ospeed;
}

unsigned int readControlFlags(int descriptor)
{
    termios2 settings{};
    return ::ioctl(descriptor, TCGETS2, &settings) == 0 ? settings.c_cflag : 0;
}
