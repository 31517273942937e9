// The sending side of the benchmark: a pseudo-terminal, a writer thread, the stream and its check.
#include "logfile/logtext.h"
#include "residentmemory.h"
#include "tavrel_bench.h"

#include <QFile>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace Bench {

unsigned char streamByte(qint64 position)
{
    // A mixed 64-bit hash of the word index: no short period that a lost block could hide in.
    quint64 z = quint64(position >> 3) + 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    z ^= z >> 31;
    return static_cast<unsigned char>(z >> ((position & 7) * 8));
}

qint64 nowNs()
{
    timespec now = {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

namespace {
qint64 cpuNsOf(int who)
{
    rusage usage = {};
    ::getrusage(who, &usage);
    const auto ns = [](const timeval &t) {
        return qint64(t.tv_sec) * 1000000000 + t.tv_usec * 1000;
    };
    return ns(usage.ru_utime) + ns(usage.ru_stime);
}
} // namespace

qint64 threadCpuNs(std::thread &thread)
{
    clockid_t clock = {};
    timespec used = {};
    if (!thread.joinable() || ::pthread_getcpuclockid(thread.native_handle(), &clock) != 0 ||
        ::clock_gettime(clock, &used) != 0)
        return 0;
    return qint64(used.tv_sec) * 1000000000 + used.tv_nsec;
}

qint64 processCpuNs()
{
    return cpuNsOf(RUSAGE_SELF);
}

qint64 threadCpuNs()
{
    return cpuNsOf(RUSAGE_THREAD);
}

Pty::Pty()
{
    char name[256] = {};
    termios raw = {};
    ::cfmakeraw(&raw);
    if (::openpty(&m_controller, &m_device, name, &raw, nullptr) != 0) {
        m_controller = m_device = -1;
        return;
    }
    ::fcntl(m_controller, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_device, F_SETFD, FD_CLOEXEC);
    m_devicePath = QString::fromLocal8Bit(name);
}

Pty::~Pty()
{
    if (m_controller >= 0)
        ::close(m_controller);
    if (m_device >= 0)
        ::close(m_device);
}

bool Pty::writeAll(const unsigned char *data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_controller, data + done, size_t(size - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EINTR)
            return false;
    }
    return true;
}

Writer::Writer(Pty &pty, Pace pace, std::function<qint64()> rendered,
               std::function<void()> onKeyDue)
    : m_pty(pty), m_pace(pace), m_rendered(std::move(rendered)), m_onKeyDue(std::move(onKeyDue))
{
}

Writer::~Writer()
{
    join();
}

void Writer::start()
{
    m_startNs = nowNs();
    m_thread = std::thread([this] { run(); });
}

void Writer::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

qint64 Writer::cpuNsNow()
{
    return m_finished.load() ? m_cpuNs : threadCpuNs(m_thread);
}

void Writer::waitUntil(qint64 deadlineNs) const
{
    const qint64 left = deadlineNs - nowNs();
    if (left <= 0)
        return;
    const timespec pause = {time_t(left / 1000000000), long(left % 1000000000)};
    ::clock_nanosleep(CLOCK_MONOTONIC, 0, &pause, nullptr);
}

void Writer::run()
{
    const qint64 cpuAtStart = threadCpuNs();
    std::vector<unsigned char> buffer(size_t(qMax<qint64>(m_pace.bytesPerStep, 1)));
    const qint64 endNs = m_pace.durationMs ? m_startNs + m_pace.durationMs * 1000000 : 0;
    qint64 position = 0;
    qint64 nextKeyNs = m_startNs + m_pace.keyEveryNs;
    for (qint64 step = 0;; ++step) {
        if (m_pace.totalBytes && position >= m_pace.totalBytes)
            break;
        if (endNs && nowNs() >= endNs)
            break;
        if (m_pace.stepNs)
            waitUntil(m_startNs + step * m_pace.stepNs);
        if (m_onKeyDue && m_pace.keyEveryNs && nowNs() >= nextKeyNs) {
            m_onKeyDue();
            nextKeyNs += m_pace.keyEveryNs;
        }
        qint64 count = qint64(buffer.size());
        if (m_pace.totalBytes)
            count = qMin(count, m_pace.totalBytes - position);
        for (qint64 i = 0; i < count; ++i)
            buffer[size_t(i)] = streamByte(position + i);
        if (!m_pty.writeAll(buffer.data(), count)) {
            m_failed = true;
            break;
        }
        position += count;
        m_sent.store(position);
        // The reader must have shown this byte before the next one goes, so no read sees two.
        const qint64 giveUpNs = nowNs() + 1000000000;
        while (m_pace.waitForEachByte && m_rendered() < position && nowNs() < giveUpNs)
            std::this_thread::yield();
    }
    m_cpuNs = threadCpuNs() - cpuAtStart;
    m_finished.store(true);
}

namespace {
int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

qint64 lostBytes(const LogText &text, qint64 from, qint64 sent)
{
    qint64 wrong = 0;
    qint64 received = 0;
    int value = 0;
    int digits = 0;
    constexpr qint64 kPiece = 1 << 20;
    for (qint64 at = qMax<qint64>(from, 0); at < text.size(); at += kPiece) {
        const QByteArray piece = text.mid(at, kPiece);
        for (const char c : piece) {
            if (c == ' ' || c == '\r' || c == '\n') {
                if (digits > 0) {
                    wrong += digits > 2 || received >= sent || value != streamByte(received);
                    ++received;
                }
                value = digits = 0;
                continue;
            }
            const int digit = hexDigit(c);
            if (++digits <= 2)
                value = value * 16 + (digit < 0 ? 256 : digit);
        }
    }
    return qMax<qint64>(sent - received, 0) + wrong;
}

} // namespace Bench
