#pragma once

#include "capture/portsettings.h"

// The terminal settings of a receive-only line. Kept in its own file: the kernel's termios2,
// which takes any baud rate, clashes with the C library's termios.
namespace LineTermios {

// The control-mode bits for the character size, parity and stop bits (CSIZE, PARENB, PARODD,
// CMSPAR, CSTOPB), with the receiver on and the modem lines ignored.
unsigned int controlFlags(const LineSettings &settings);

// The termios speed constant (B9600) of a rate that has one, else BOTHER, the custom rate.
unsigned int speedConstant(qint32 baudRate);

// Raw input, no flow control, the settings' rate and framing; 0, or the errno of the failure.
int apply(int fd, const LineSettings &settings);

// Throws away what the driver received before now.
int discardInput(int fd);

// Exclusive mode: the kernel refuses further opens of the device (root excepted).
int setExclusive(int fd, bool exclusive);
// Whether some descriptor of the device asked for exclusive mode.
bool isExclusive(int fd);

} // namespace LineTermios
