// The sending side: the stream, a feed thread per pseudo-terminal, and the readers it feeds: the
// window or a bare poll-and-read loop.
#include "capture/hexrender.h"
#include "support/capturestate.h"
#include "tavrel_bench.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace Bench {

// A pseudo-terminal whose controller blocks while the terminal is full, as a line's sender waits:
// the tests' PseudoTerminal runs the caller's event loop there, which a feed thread does not have.
class FeedTerminal
{
public:
    FeedTerminal()
    {
        char name[256] = {};
        termios raw{};
        ::cfmakeraw(&raw);
        if (::openpty(&m_controller, &device, name, &raw, nullptr) != 0) {
            m_controller = device = -1;
            return;
        }
        ::fcntl(m_controller, F_SETFL, O_NONBLOCK);
        devicePath = QString::fromLocal8Bit(name);
    }
    ~FeedTerminal()
    {
        ::close(m_controller);
        ::close(device);
    }
    FeedTerminal(const FeedTerminal &) = delete;
    FeedTerminal &operator=(const FeedTerminal &) = delete;

    bool write(QByteArrayView bytes) const
    {
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n =
                ::write(m_controller, bytes.data() + done, size_t(bytes.size() - done));
            done += qMax<ssize_t>(n, 0);
            // Full: sleep until there is room; a reader silent for ten seconds ends the feed.
            pollfd room{m_controller, POLLOUT, 0};
            if (n < 0 && ((errno != EAGAIN && errno != EINTR) || ::poll(&room, 1, 10000) == 0))
                return false;
        }
        return true;
    }

    int device = -1;
    QString devicePath;

private:
    int m_controller = -1;
};

namespace {

// Sends the stream into a terminal; shown() is what the reader has shown, in the units that
// cost() gives a chunk of the stream.
struct Feed
{
    Pace pace;
    std::function<qint64()> shown;
    std::function<qint64(QByteArrayView)> cost;
    qint64 sent = 0;
    std::atomic<qint64> sentCost{0};
    std::atomic<bool> finished{false};
    bool failed = false;
    qint64 startNs = clockNs();
    qint64 wallNs = 1; // once finished
    qint64 cpuNs = 0;  // of the feed's own thread, once finished

    bool caughtUp() const { return finished.load() && shown() >= sentCost.load(); }

    // One step at a time: the reader has a step in hand; false when it took longer than 10 s.
    bool waitUntilShown() const
    {
        for (const qint64 sinceNs = clockNs(); sentCost.load() > shown();) {
            const qint64 waitedNs = clockNs() - sinceNs;
            // A bare loop answers a byte within microseconds: spin briefly before sleeping.
            if (waitedNs < 200000)
                std::this_thread::yield();
            else if (waitedNs < 10000000000)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            else
                return false;
        }
        return true;
    }

    void run(const FeedTerminal &terminal)
    {
        const qint64 cpuAtStart = clockNs(CLOCK_THREAD_CPUTIME_ID);
        QByteArray chunk(qMax<qint64>(pace.bytesPerStep, 1), Qt::Uninitialized);
        const qint64 endNs = pace.durationMs ? startNs + pace.durationMs * 1000000 : LLONG_MAX;
        const qint64 total = pace.totalBytes ? pace.totalBytes : LLONG_MAX;
        for (qint64 step = 0; !failed && sent < total && clockNs() < endNs; ++step) {
            std::this_thread::sleep_for(
                std::chrono::nanoseconds(startNs + step * pace.stepNs - clockNs()));
            chunk.truncate(qMin<qint64>(chunk.size(), total - sent));
            for (qsizetype i = 0; i < chunk.size(); ++i)
                chunk[i] = char(streamByte(sent + i));
            failed = !terminal.write(chunk);
            sent += chunk.size();
            sentCost.store(sentCost.load() + cost(chunk));
            failed = failed || (pace.oneAtATime && !waitUntilShown());
        }
        wallNs = qMax<qint64>(clockNs() - startNs, 1);
        cpuNs = clockNs(CLOCK_THREAD_CPUTIME_ID) - cpuAtStart;
        finished.store(true);
    }
};

} // namespace

qint64 clockNs(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
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

Rate runBareLoop(const Pace &pace)
{
    FeedTerminal terminal;
    std::atomic<qint64> received{0};
    std::atomic<bool> stopping{false};
    qint64 readerCpuNs = 0;
    std::thread reader([&] {
        const qint64 cpuAtStart = clockNs(CLOCK_THREAD_CPUTIME_ID);
        char buffer[4096];
        while (!stopping.load()) {
            // The time-out only lets the loop see that it should end; data wakes it at once.
            pollfd descriptor{terminal.device, POLLIN, 0};
            if (::poll(&descriptor, 1, 50) <= 0)
                continue;
            const ssize_t n = ::read(terminal.device, buffer, sizeof buffer);
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
    return {received.load() / (feed.wallNs / 1e9), double(readerCpuNs) / feed.wallNs};
}

Window::Window() = default;
Window::~Window() = default;

bool Window::start()
{
    m_terminal = std::make_unique<FeedTerminal>();
    if (m_terminal->devicePath.isEmpty())
        return false;
    qputenv("TAVREL_PORT1", m_terminal->devicePath.toLocal8Bit());
    form().Combo1->setCurrentText(QStringLiteral("1"));
    form().Combo5->setCurrentText(QStringLiteral("115200"));
    m_perLine = qMax(1, int(lineCapacity(form().text1Width())));
    m_startLength = view().length();
    m_shown.store(m_startLength);
    m_lastShownNs = clockNs();
    form().Command1->click();
    return capturing(form());
}

Rate Window::capture(Report &report, const QByteArray &name, const Pace &pace, int checkMs)
{
    if (!start()) {
        std::printf("%s: could not start: %s\n", name.constData(),
                    qPrintable(m_fixture.boxes.isEmpty() ? "" : m_fixture.boxes.last().text));
        return {};
    }
    const qint64 cpuBefore = clockNs(CLOCK_PROCESS_CPUTIME_ID);
    Feed feed{pace, [this] { return m_shown.load() - m_startLength; },
              [this](QByteArrayView chunk) { return textCost(chunk); }};
    std::thread sender(&Feed::run, &feed, std::cref(*m_terminal));
    runUntil([&] { return feed.finished.load(); }, INT_MAX, checkMs);
    sender.join();
    const bool shown = runUntil([&] { return feed.caughtUp(); }, 30000, checkMs);
    // Until the view showed the last byte: the check's own delay is not the window's.
    const qint64 wallNs = qMax<qint64>(m_lastShownNs - feed.startNs, 1);
    const qint64 cpuNs = clockNs(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore - feed.cpuNs;
    if (!shown || feed.failed)
        std::printf("%s: the view stopped short of the %lld bytes sent\n", name.constData(),
                    feed.sent);
    report.addLoss(name, feed.sent, lostBytes(feed.sent));
    return {feed.sent / (wallNs / 1e9), double(cpuNs) / double(wallNs)};
}

qint64 Window::textCost(QByteArrayView chunk)
{
    // Counted, not rendered: the feed must not take the processor from the window.
    qint64 length = 0;
    for (const char c : chunk) {
        length += uchar(c) < 16 ? 2 : 3;
        if (++m_column > m_perLine) {
            m_column = 1;
            length += 2;
        }
    }
    return length;
}

namespace {

// When each paint of the view began, and how much text it had to show.
class PaintLog : public QObject
{
public:
    explicit PaintLog(const LogView &view) : m_view(view)
    {
        view.viewport()->installEventFilter(this);
    }
    std::vector<std::pair<qint64, qint64>> paints;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            paints.emplace_back(clockNs(), m_view.length());
        return false;
    }

private:
    const LogView &m_view;
};

} // namespace

std::vector<qint64> Window::drawnLatencies(Report &report, const QByteArray &name,
                                           qint64 durationMs, int bytesPerStep,
                                           const std::function<qint64(qint64)> &gapNs)
{
    std::vector<qint64> latencies;
    if (!start())
        return latencies;
    const PaintLog log(view());
    // When each step was written, and the text length that shows all of it.
    std::vector<std::pair<qint64, qint64>> sent;
    std::atomic<bool> finished{false};
    qint64 sentBytes = 0;
    std::thread sender([&] {
        const qint64 endNs = clockNs() + durationMs * 1000000;
        QByteArray chunk(bytesPerStep, Qt::Uninitialized);
        qint64 length = m_startLength;
        qint64 nextNs = clockNs();
        for (qint64 step = 0; clockNs() < endNs; ++step) {
            std::this_thread::sleep_for(std::chrono::nanoseconds(nextNs - clockNs()));
            for (qsizetype i = 0; i < chunk.size(); ++i)
                chunk[i] = char(streamByte(sentBytes + i));
            const qint64 writtenNs = clockNs();
            if (!m_terminal->write(chunk))
                break;
            sentBytes += chunk.size();
            length += textCost(chunk);
            sent.emplace_back(writtenNs, length);
            nextNs += gapNs(step);
        }
        finished.store(true);
    });
    runUntil([&] { return finished.load(); }, INT_MAX, 5);
    sender.join();
    const qint64 last = sent.empty() ? 0 : sent.back().second;
    runUntil([&] { return !log.paints.empty() && log.paints.back().second >= last; }, 10000, 5);
    report.addLoss(name, sentBytes, lostBytes(sentBytes));
    // Sends and paints both go forward in time and length: one pass matches them.
    size_t paint = 0;
    for (const auto &[writtenNs, length] : sent) {
        while (paint < log.paints.size() &&
               (log.paints[paint].first < writtenNs || log.paints[paint].second < length))
            ++paint;
        latencies.push_back(paint < log.paints.size() ? log.paints[paint].first - writtenNs : -1);
    }
    return latencies;
}

} // namespace Bench
