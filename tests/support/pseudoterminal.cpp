#include "support/pseudoterminal.h"

#include <QCoreApplication>

qint64 readBaudRate(int descriptor); // termiosbaud.cpp
unsigned int readControlFlags(int descriptor);
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    char name[256] = {};
    if (::openpty(&m_controller, &m_device, name, nullptr, nullptr) != 0) {
        m_controller = m_device = -1;
        return;
    }
    m_devicePath = QString::fromLocal8Bit(name);
    // A serial line carries bytes as they are, also before the program has set its own modes.
    termios modes{};
    if (::tcgetattr(m_device, &modes) == 0) {
        ::cfmakeraw(&modes);
        ::tcsetattr(m_device, TCSANOW, &modes);
    }
    ::fcntl(m_controller, F_SETFL, ::fcntl(m_controller, F_GETFL) | O_NONBLOCK);
    // A child process that kept the controller open would stop a hang-up from happening.
    ::fcntl(m_controller, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_device, F_SETFD, FD_CLOEXEC);
}

PseudoTerminal::~PseudoTerminal()
{
    hangUp();
    if (m_device >= 0)
        ::close(m_device);
}

bool PseudoTerminal::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size() && m_controller >= 0) {
        const ssize_t n = ::write(m_controller, bytes.constData() + done, bytes.size() - done);
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            // The reader drains the terminal from the event loop of this same thread.
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
    }
    return done == bytes.size();
}

void PseudoTerminal::discardUnread()
{
    // The kernel hands written bytes to the device side a moment later: wait, then drain.
    for (int settle = 0; settle < 3; ++settle) {
        ::usleep(20000);
        ::tcflush(m_device, TCIFLUSH);
        pollfd waiting{m_device, POLLIN, 0};
        char scratch[4096];
        while (::poll(&waiting, 1, 0) > 0 && (waiting.revents & POLLIN) &&
               ::read(m_device, scratch, sizeof scratch) > 0) {
        }
    }
}

void PseudoTerminal::hangUp()
{
    if (m_controller >= 0)
        ::close(m_controller);
    m_controller = -1;
}

qint64 PseudoTerminal::deviceBaudRate() const
{
    return readBaudRate(m_device);
}

speed_t PseudoTerminal::deviceSpeedConstant() const
{
    termios modes{};
    return ::tcgetattr(m_device, &modes) == 0 ? ::cfgetospeed(&modes) : 0;
}

unsigned int PseudoTerminal::deviceControlFlags() const
{
    return readControlFlags(m_device);
}
