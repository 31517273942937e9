// The sending side: the stream, a feed thread per pseudo-terminal, a bare reader, and the clocks.
#include "support/hexreference.h"
#include "tavrel_bench.h"

#include <QFile>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

namespace Bench {

namespace {

qint64 cpuNsOf(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    const auto ns = [](const timeval &t) {
        return qint64(t.tv_sec) * 1000000000 + qint64(t.tv_usec) * 1000;
    };
    return ns(usage.ru_utime) + ns(usage.ru_stime);
}

void sleepNs(qint64 ns)
{
    if (ns <= 0)
        return;
    const timespec pause{time_t(ns / 1000000000), long(ns % 1000000000)};
    ::clock_nanosleep(CLOCK_MONOTONIC, 0, &pause, nullptr);
}

// The feed keeps no more in flight than the window's reader holds, so its writes never block.
constexpr qint64 kAhead = qint64(1) << 20;

} // namespace

qint64 nowNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

qint64 processCpuNs()
{
    return cpuNsOf(RUSAGE_SELF);
}

qint64 threadCpuNs()
{
    return cpuNsOf(RUSAGE_THREAD);
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
    const qint64 before = nowNs();
    for (qint64 done = 0; done < bytes; done += block.size())
        file.write(block.constData(), qMin<qint64>(block.size(), bytes - done));
    const bool flushed = file.flush() && ::fsync(file.handle()) == 0;
    const double ms = (nowNs() - before) / 1e6;
    file.remove();
    return flushed ? ms : -1;
}

Feed::Feed(PseudoTerminal &terminal, Pace pace, Receiver receiver)
    : m_terminal(terminal), m_pace(pace), m_receiver(std::move(receiver))
{
}

Feed::~Feed()
{
    join();
}

void Feed::start()
{
    m_startNs = nowNs();
    m_thread = std::thread([this] { run(); });
}

void Feed::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

bool Feed::waitForReader(qint64 ahead) const
{
    qint64 shown = m_receiver.shown();
    const qint64 sinceNs = nowNs();
    qint64 progressNs = sinceNs;
    while (m_sentCost.load() - shown > ahead) {
        // A bare loop answers a byte within microseconds: spin briefly before sleeping.
        if (m_pace.oneAtATime && nowNs() - sinceNs < 200000)
            std::this_thread::yield();
        else
            sleepNs(m_pace.oneAtATime ? 50000 : 200000);
        const qint64 now = m_receiver.shown();
        if (now != shown)
            progressNs = nowNs();
        else if (nowNs() - progressNs > 10000000000)
            return false;
        shown = now;
    }
    return true;
}

void Feed::run()
{
    const qint64 cpuAtStart = threadCpuNs();
    QByteArray chunk(qMax<qint64>(m_pace.bytesPerStep, 1), Qt::Uninitialized);
    const qint64 endNs = m_pace.durationMs ? m_startNs + m_pace.durationMs * 1000000 : 0;
    qint64 position = 0;
    for (qint64 step = 0; !m_failed.load(); ++step) {
        if ((m_pace.totalBytes && position >= m_pace.totalBytes) || (endNs && nowNs() >= endNs))
            break;
        if (m_pace.stepNs)
            sleepNs(m_startNs + step * m_pace.stepNs - nowNs());
        if (m_pace.totalBytes)
            chunk.truncate(qMin<qint64>(chunk.size(), m_pace.totalBytes - position));
        for (qsizetype i = 0; i < chunk.size(); ++i)
            chunk[i] = char(streamByte(position + i));
        const qint64 cost = m_receiver.cost(chunk);
        if (!waitForReader(m_pace.oneAtATime ? 0 : kAhead) || !m_terminal.write(chunk))
            m_failed.store(true);
        position += chunk.size();
        m_sent.store(position);
        m_sentCost.store(m_sentCost.load() + cost);
    }
    if (m_pace.oneAtATime && !waitForReader(0))
        m_failed.store(true);
    m_endNs = nowNs();
    m_cpuNs.store(threadCpuNs() - cpuAtStart);
    m_finished.store(true);
}

BareLoop::BareLoop(const Pace &pace)
    : m_fd(::open(m_terminal.devicePath().toLocal8Bit().constData(),
                  O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)),
      m_pace(pace)
{
}

BareLoop::~BareLoop()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void BareLoop::run()
{
    m_stopping.store(false);
    std::thread reader([this] { read(); });
    Feed feed(m_terminal, m_pace, Receiver{[this] { return m_received.load(); }});
    feed.start();
    feed.join();
    m_wallNs = qMax<qint64>(feed.wallNs(), 1);
    // What is still in flight arrives within the poll's next turn.
    sleepNs(20000000);
    m_stopping.store(true);
    reader.join();
}

void BareLoop::read()
{
    const qint64 cpuAtStart = threadCpuNs();
    char buffer[4096];
    while (!m_stopping.load()) {
        // The time-out only lets the loop see that it should end; data wakes it at once.
        pollfd descriptor{m_fd, POLLIN, 0};
        if (::poll(&descriptor, 1, 50) <= 0)
            continue;
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0)
            m_received.store(m_received.load() + n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    m_cpuNs = threadCpuNs() - cpuAtStart;
}

double BareLoop::bytesPerSecond() const
{
    return m_received.load() / (m_wallNs / 1e9);
}

double BareLoop::cpuShare() const
{
    return double(m_cpuNs) / m_wallNs;
}

} // namespace Bench
