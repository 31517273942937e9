// The sending side: the stream, a feed thread per pseudo-terminal, a bare reader, and the clocks.
#include "tavrel_bench.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace Bench {

qint64 clockNs(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

FeedTerminal::FeedTerminal()
{
    char name[256] = {};
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&m_controller, &m_device, name, &raw, nullptr) != 0) {
        m_controller = m_device = -1;
        return;
    }
    ::fcntl(m_controller, F_SETFL, O_NONBLOCK);
    ::fcntl(m_controller, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_device, F_SETFD, FD_CLOEXEC);
    m_devicePath = QString::fromLocal8Bit(name);
}

FeedTerminal::~FeedTerminal()
{
    if (m_controller >= 0)
        ::close(m_controller);
    if (m_device >= 0)
        ::close(m_device);
}

bool FeedTerminal::write(QByteArrayView bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(m_controller, bytes.data() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        // Full: sleep until there is room; a reader silent for ten seconds ends the feed.
        pollfd room{m_controller, POLLOUT, 0};
        if ((n < 0 && errno != EAGAIN && errno != EINTR) || ::poll(&room, 1, 10000) == 0)
            return false;
    }
    return true;
}

unsigned char streamByte(qint64 position)
{
    // A mixed hash of the word index: no short period that a lost block could hide in.
    quint64 z = quint64(position >> 3) + 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    z ^= z >> 31;
    return static_cast<unsigned char>(z >> ((position & 7) * 8));
}

namespace {

// One step at a time: the reader has a step in hand; false when it took longer than 10 s.
bool waitUntilShown(const Feed &feed)
{
    const qint64 sinceNs = clockNs();
    while (feed.sentCost.load() > feed.shown()) {
        const qint64 waitedNs = clockNs() - sinceNs;
        if (waitedNs > 10000000000)
            return false;
        // A bare loop answers a byte within microseconds: spin briefly before sleeping.
        if (waitedNs < 200000)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    return true;
}

} // namespace

void Feed::run(FeedTerminal &terminal)
{
    const qint64 cpuAtStart = clockNs(CLOCK_THREAD_CPUTIME_ID);
    QByteArray chunk(qMax<qint64>(pace.bytesPerStep, 1), Qt::Uninitialized);
    const qint64 endNs = pace.durationMs ? startNs + pace.durationMs * 1000000 : 0;
    qint64 position = 0;
    for (qint64 step = 0; !failed.load(); ++step) {
        if ((pace.totalBytes && position >= pace.totalBytes) || (endNs && clockNs() >= endNs))
            break;
        std::this_thread::sleep_for(
            std::chrono::nanoseconds(startNs + step * pace.stepNs - clockNs()));
        if (pace.totalBytes)
            chunk.truncate(qMin<qint64>(chunk.size(), pace.totalBytes - position));
        for (qsizetype i = 0; i < chunk.size(); ++i)
            chunk[i] = char(streamByte(position + i));
        if (!terminal.write(chunk))
            failed.store(true);
        position += chunk.size();
        sent.store(position);
        sentCost.store(sentCost.load() + cost(chunk));
        if (pace.oneAtATime && !waitUntilShown(*this))
            failed.store(true);
    }
    wallNs = qMax<qint64>(clockNs() - startNs, 1);
    cpuNs = clockNs(CLOCK_THREAD_CPUTIME_ID) - cpuAtStart;
    finished.store(true);
}

Rate runBareLoop(const Pace &pace)
{
    FeedTerminal terminal;
    const int fd = ::open(terminal.devicePath().toLocal8Bit().constData(),
                          O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    std::atomic<qint64> received{0};
    std::atomic<bool> stopping{false};
    qint64 readerCpuNs = 0;
    std::thread reader([&] {
        const qint64 cpuAtStart = clockNs(CLOCK_THREAD_CPUTIME_ID);
        char buffer[4096];
        while (!stopping.load()) {
            // The time-out only lets the loop see that it should end; data wakes it at once.
            pollfd descriptor{fd, POLLIN, 0};
            if (::poll(&descriptor, 1, 50) <= 0)
                continue;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                received.store(received.load() + n);
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                break;
        }
        readerCpuNs = clockNs(CLOCK_THREAD_CPUTIME_ID) - cpuAtStart;
    });
    Feed feed{pace, [&] { return received.load(); }, [](QByteArrayView c) { return c.size(); }};
    feed.run(terminal);
    // What is still in flight arrives within the loop's next turn.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stopping.store(true);
    reader.join();
    if (fd >= 0)
        ::close(fd);
    return {received.load() / (feed.wallNs / 1e9), double(readerCpuNs) / feed.wallNs};
}

} // namespace Bench
