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

unsigned int speedConstant(qint32 baudRate)
{
    static constexpr struct
    {
        qint32 rate;
        unsigned int constant;
    } kStandard[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000}};
    for (const auto &standard : kStandard)
        if (standard.rate == baudRate)
            return standard.constant;
    return BOTHER;
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
    // Other tools (stty, older programs) read a custom rate as 0 baud: custom only where needed.
    line.c_cflag = controlFlags(settings) | speedConstant(settings.baudRate);
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
