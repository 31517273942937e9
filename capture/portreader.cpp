#include "capture/portreader.h"
#include "posix/errortext.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

namespace {

qint64 nowMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void drainWake(int wake)
{
    eventfd_t count = 0;
    ::eventfd_read(wake, &count);
}

} // namespace

PortReader::PortReader(std::function<void()> announce)
    : m_announce(std::move(announce)), m_wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

PortReader::~PortReader()
{
    stop();
}

bool PortReader::start(int fd)
{
    stop();
    if (m_wake.fd() < 0)
        return false;
    drainWake(m_wake.fd());
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = false;
        m_lost = false;
        m_lostReason.clear();
        m_announced = false;
    }
    m_thread = std::thread([this, fd] { run(fd); });
    return true;
}

void PortReader::stop()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    ::eventfd_write(m_wake.fd(), 1);
    m_thread.join();
}

PortReader::Announced PortReader::acknowledge()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_announced = false;
    return {!m_buffer.isEmpty(), m_lost, m_lostReason};
}

QByteArray PortReader::take()
{
    QByteArray data;
    bool wasFull = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        wasFull = m_buffer.size() >= kMaxWaiting;
        data = std::exchange(m_buffer, {});
    }
    if (wasFull)
        ::eventfd_write(m_wake.fd(), 1);
    return data;
}

qint64 PortReader::waiting() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_buffer.size();
}

bool PortReader::isFull() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_buffer.size() >= kMaxWaiting;
}

void PortReader::run(int fd)
{
    qint64 lastAnnounceMs = nowMs() - kAnnounceEveryMs;
    bool unannounced = false;
    // A slow stream gathers in the driver until the next announcement: one wake-up per batch.
    bool gathering = false;
    // A fast stream is never left waiting in the driver, whose buffer would hold it back.
    qsizetype readSinceAnnounce = 0;
    qsizetype lastBatch = 0;
    for (;;) {
        const qint64 dueMs = lastAnnounceMs + kAnnounceEveryMs;
        const bool watchDevice = !gathering && !isFull();
        const int timeoutMs = unannounced || gathering ? int(qMax<qint64>(0, dueMs - nowMs())) : -1;
        pollfd descriptors[2] = {{m_wake.fd(), POLLIN, 0}, {watchDevice ? fd : -1, POLLIN, 0}};
        if (::poll(descriptors, 2, timeoutMs) < 0 && errno != EINTR) {
            announce(true, errorText(errno));
            return;
        }
        if (descriptors[0].revents) {
            drainWake(m_wake.fd());
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopping)
                return;
        }
        if (descriptors[1].revents || (gathering && nowMs() >= dueMs)) {
            const qsizetype got = readOnce(fd, descriptors[1].revents);
            if (got < 0)
                return;
            unannounced = unannounced || got > 0;
            readSinceAnnounce += qMax<qsizetype>(got, 0);
            gathering =
                got > 0 && got < kGatherBelow && qMax(lastBatch, readSinceAnnounce) < kGatherBelow;
        }
        // A fast stream is handed over as soon as a large batch waits: the window sets the pace.
        if (unannounced &&
            (nowMs() - lastAnnounceMs >= kAnnounceEveryMs || waiting() >= kAnnounceAtOnce)) {
            announce(false, {});
            lastAnnounceMs = nowMs();
            unannounced = false;
            lastBatch = readSinceAnnounce;
            readSinceAnnounce = 0;
        }
    }
}

qsizetype PortReader::readOnce(int fd, short events)
{
    char chunk[65536];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n > 0) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_buffer.append(chunk, n);
        return n;
    }
    // A hang-up that reads as "nothing yet" would wake poll() forever.
    const bool hungUp = events & (POLLHUP | POLLERR | POLLNVAL);
    if (n < 0 && (errno == EAGAIN || errno == EINTR) && !hungUp)
        return 0;
    // End of file on a terminal, or EIO: the other end hung up, the adapter is gone.
    announce(true, n < 0 && errno != EAGAIN && errno != EINTR
                       ? errorText(errno)
                       : QStringLiteral("The device hung up"));
    return -1;
}

void PortReader::announce(bool lost, const QString &reason)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (lost) {
            m_lost = true;
            m_lostReason = reason;
        }
        // One announcement waiting for the window thread covers everything until it is taken.
        if (m_announced)
            return;
        m_announced = true;
    }
    m_announce();
}
