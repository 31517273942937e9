// The sending side: the stream, a feed thread per pseudo-terminal, a bare reader, and the clocks.
#include "support/hexreference.h"
#include "tavrel_bench.h"

#include <QFile>
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

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
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

bool writeLog(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray bytes(1 << 18, Qt::Uninitialized);
    QByteArray block;
    int column = 1;
    for (qint64 position = 0; file.size() < size; position += bytes.size()) {
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char(streamByte(position + i));
        block.clear();
        appendHex(block, bytes, 28, column);
        const qint64 take = qMin<qint64>(block.size(), size - file.size());
        if (file.write(block.constData(), take) != take)
            return false;
    }
    // On disk before any figure is taken: a save must not pay for the set-up's writes.
    return file.flush() && ::fsync(file.handle()) == 0;
}

double diskWriteMs(const QString &path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    const QByteArray block(1 << 20, 'A');
    const qint64 before = clockNs();
    for (qint64 done = 0; done < bytes; done += block.size())
        file.write(block.constData(), qMin<qint64>(block.size(), bytes - done));
    const bool flushed = file.flush() && ::fsync(file.handle()) == 0;
    const double ms = (clockNs() - before) / 1e6;
    file.remove();
    return flushed ? ms : -1;
}

bool Feed::waitUntilShown() const
{
    qint64 seen = shown();
    const qint64 sinceNs = clockNs();
    qint64 progressNs = sinceNs;
    while (sentCost.load() > seen) {
        // A bare loop answers a byte within microseconds: spin briefly before sleeping.
        if (clockNs() - sinceNs < 200000)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        const qint64 now = shown();
        if (now != seen)
            progressNs = clockNs();
        else if (clockNs() - progressNs > 10000000000)
            return false;
        seen = now;
    }
    return true;
}

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
        if (pace.oneAtATime && !waitUntilShown())
            failed.store(true);
    }
    wallNs = qMax<qint64>(clockNs() - startNs, 1);
    cpuNs = clockNs(CLOCK_THREAD_CPUTIME_ID) - cpuAtStart;
    finished.store(true);
}

BareFigures runBareLoop(const Pace &pace)
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
    std::thread(&Feed::run, &feed, std::ref(terminal)).join();
    // What is still in flight arrives within the loop's next turn.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stopping.store(true);
    reader.join();
    if (fd >= 0)
        ::close(fd);
    return {received.load() / (feed.wallNs / 1e9), double(readerCpuNs) / feed.wallNs};
}

} // namespace Bench
