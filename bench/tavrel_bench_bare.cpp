// The machine's own limit: a plain poll-and-read loop on a pseudo-terminal, with no Qt and no
// window, run next to the window's runs so their figures can be read against it.
#include "tavrel_bench.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace Bench {

BareReader::BareReader(const Pty &pty)
    : m_fd(::open(pty.devicePath().toLocal8Bit().constData(),
                  O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
{
}

BareReader::~BareReader()
{
    stop();
    if (m_fd >= 0)
        ::close(m_fd);
}

void BareReader::start()
{
    m_stopping.store(false);
    m_finished.store(false);
    m_thread = std::thread([this] { run(); });
}

void BareReader::stop()
{
    m_stopping.store(true);
    if (m_thread.joinable())
        m_thread.join();
}

qint64 BareReader::cpuNsNow()
{
    // A loop that has ended keeps no CPU clock, even before it is joined.
    return m_finished.load() ? m_cpuNs.load() : threadCpuNs(m_thread);
}

void BareReader::run()
{
    const qint64 cpuAtStart = threadCpuNs();
    char buffer[4096];
    while (!m_stopping.load()) {
        // The time-out only lets stop() end the loop; data wakes it at once.
        pollfd descriptor{m_fd, POLLIN, 0};
        if (::poll(&descriptor, 1, 50) <= 0)
            continue;
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            m_events.store(m_events.load() + 1);
            m_received.store(m_received.load() + n);
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            break;
        }
    }
    m_cpuNs.store(threadCpuNs() - cpuAtStart);
    m_finished.store(true);
}

} // namespace Bench
