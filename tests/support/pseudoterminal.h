#pragma once

#include <QByteArray>
#include <QString>
#include <termios.h>

// A pseudo-terminal pair: the program opens the device path, the test writes into the other end.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isValid() const { return m_controller >= 0; }
    QString devicePath() const { return m_devicePath; }
    // The test's end, non-blocking, for writers on threads of their own.
    int controllerFd() const { return m_controller; }
    // Writes every byte, waiting while the terminal's buffer is full.
    bool write(const QByteArray &bytes);
    // Drops what was written but not yet read by the program, as a new open of a real port would.
    void discardUnread();
    // Like pulling out the adapter: the device side sees a hang-up.
    void hangUp();
    // The baud rate the device side is set to, read from its termios.
    qint64 deviceBaudRate() const;
    // The speed as the C library and stty read it (B9600; a custom rate reads as CBAUDEX).
    speed_t deviceSpeedConstant() const;
    // The device side's control-mode flags (c_cflag).
    unsigned int deviceControlFlags() const;

private:
    int m_controller = -1;
    int m_device = -1;
    QString m_devicePath;
};
