#include "capture/linetermios.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace LineTermios {

unsigned int controlFlags(const LineSettings &settings)
{
    unsigned int flags = CREAD | CLOCAL;
    switch (settings.dataBits) {
    case QSerialPort::Data5:
        flags |= CS5;
        break;
    case QSerialPort::Data6:
        flags |= CS6;
        break;
    case QSerialPort::Data7:
        flags |= CS7;
        break;
    default:
        flags |= CS8;
        break;
    }
    switch (settings.parity) {
    case QSerialPort::EvenParity:
        flags |= PARENB;
        break;
    case QSerialPort::OddParity:
        flags |= PARENB | PARODD;
        break;
    case QSerialPort::MarkParity:
        flags |= PARENB | CMSPAR | PARODD;
        break;
    case QSerialPort::SpaceParity:
        flags |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (settings.stopBits == QSerialPort::TwoStop)
        flags |= CSTOPB;
    return flags;
}

int apply(int fd, const LineSettings &settings)
{
    termios2 line{};
    if (::ioctl(fd, TCGETS2, &line) != 0)
        return errno;
    // A byte with a parity error is shown as it came, never replaced.
    line.c_iflag = 0;
    line.c_oflag = 0;
    line.c_lflag = 0;
    line.c_cflag = controlFlags(settings) | BOTHER;
    line.c_ispeed = line.c_ospeed = speed_t(settings.baudRate);
    // One byte completes a read; with nothing waiting a non-blocking read says EAGAIN, not 0.
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    if (::ioctl(fd, TCSETS2, &line) != 0)
        return errno;
    termios2 taken{};
    if (::ioctl(fd, TCGETS2, &taken) != 0)
        return errno;
    // A driver that cannot reach the rate picks another; a capture at a wrong rate is garbage.
    const double off = double(taken.c_ospeed) / double(settings.baudRate);
    return off < 0.97 || off > 1.03 ? EINVAL : 0;
}

int discardInput(int fd)
{
    return ::ioctl(fd, TCFLSH, TCIFLUSH) == 0 ? 0 : errno;
}

int setExclusive(int fd, bool exclusive)
{
    return ::ioctl(fd, exclusive ? TIOCEXCL : TIOCNXCL) == 0 ? 0 : errno;
}

bool isExclusive(int fd)
{
    int exclusive = 0;
    return ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

} // namespace LineTermios
