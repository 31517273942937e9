#pragma once

#include "support/formfixture.h"
#include "support/pseudoterminal.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace Bench {

qint64 nowNs();
// CPU time (user + system) of this process, and of the calling thread.
qint64 processCpuNs();
qint64 threadCpuNs();
// Resident memory of this process (VmRSS).
qint64 residentBytes();
// The byte at a position of the stream every feed sends; the loss check regenerates it.
unsigned char streamByte(qint64 position);
// A log as a capture writes it: hex items of the stream, 28 to a line, cut at the size, on disk.
bool writeLog(const QString &path, qint64 size);
// What the disk alone takes to write and flush that many bytes to a new file, removed after.
double diskWriteMs(const QString &path, qint64 bytes);

// How a feed paces the stream.
struct Pace
{
    qint64 totalBytes = 0;   // stop after this many bytes (0: run for the duration)
    qint64 durationMs = 0;   // stop after this long (0: no limit)
    qint64 bytesPerStep = 0; // bytes per write
    qint64 stepNs = 0;       // time between writes (0: as fast as the reader keeps up)
    bool oneAtATime = false; // each byte waits until the reader has shown the last
};

// What a feed sends to: how much it has shown, and what a chunk of the stream adds to that.
struct Receiver
{
    std::function<qint64()> shown;
    std::function<qint64(QByteArrayView)> cost = [](QByteArrayView chunk) { return chunk.size(); };
};

// Sends the stream into a pseudo-terminal from a thread of its own, so the window's event loop
// runs freely; it never runs more than a reader's buffer ahead of what was shown.
class Feed
{
public:
    Feed(PseudoTerminal &terminal, Pace pace, Receiver receiver);
    ~Feed();
    Feed(const Feed &) = delete;
    Feed &operator=(const Feed &) = delete;

    void start();
    void join();
    bool finished() const { return m_finished.load(); }
    // Everything sent has been shown.
    bool caughtUp() const { return finished() && m_receiver.shown() >= m_sentCost.load(); }
    qint64 sent() const { return m_sent.load(); }
    qint64 startNs() const { return m_startNs; }
    qint64 wallNs() const { return m_endNs - m_startNs; }
    // The feed thread's own CPU, valid once finished.
    qint64 cpuNs() const { return m_cpuNs.load(); }
    bool failed() const { return m_failed.load(); }

private:
    void run();
    // False when the reader made no progress for 10 s.
    bool waitForReader(qint64 ahead) const;

    PseudoTerminal &m_terminal;
    Pace m_pace;
    Receiver m_receiver;
    std::thread m_thread;
    std::atomic<qint64> m_sent{0};
    std::atomic<qint64> m_sentCost{0};
    std::atomic<qint64> m_cpuNs{0};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_failed{false};
    qint64 m_startNs = 0;
    qint64 m_endNs = 0;
};

// A plain poll-and-read loop on a pseudo-terminal of its own with a feed at the same pace, no Qt
// and no window: what the kernel alone costs a reader, to read the window's figures against.
class BareLoop
{
public:
    explicit BareLoop(const Pace &pace);
    ~BareLoop();
    BareLoop(const BareLoop &) = delete;
    BareLoop &operator=(const BareLoop &) = delete;

    // Runs the feed to its end.
    void run();
    double bytesPerSecond() const;
    // The reader thread's share of a core.
    double cpuShare() const;

private:
    void read();

    PseudoTerminal m_terminal;
    int m_fd = -1;
    std::atomic<qint64> m_received{0};
    std::atomic<bool> m_stopping{false};
    qint64 m_cpuNs = 0;
    qint64 m_wallNs = 1;
    Pace m_pace;
};

// The real window in a folder of its own, every message box answered, driven through its
// controls; it counts what its log view shows of the stream.
class Window
{
public:
    Window();
    ~Window();
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;

    QString path(const QString &name) const { return m_fixture.path(name); }
    // Shows a new window; returns how long until a key press posted right after was handled.
    qint64 open();
    // Exit, as the user ends it; open() may follow.
    void exit();
    Form1 &form() { return *m_fixture.form; }
    LogView &view() { return *m_fixture.view(); }
    // Start on this terminal at 115200 baud; the counts start from zero.
    bool start(PseudoTerminal &terminal);
    // Stop; returns how long the click took.
    qint64 stopNs();
    // The view's text added since Start, and what a chunk of the stream adds to it.
    Receiver receiver();
    qint64 lastShownNs() const { return m_lastShownNs; }
    // Stream bytes missing or wrong in what the view shows since Start.
    qint64 lostBytes(qint64 sent) const;
    QString lastMessage() const;
    // Runs the event loop until the condition holds or the time is up.
    bool runUntil(const std::function<bool()> &done, int timeoutMs, int checkMs = 5);

    // Posts a key press to the log view from any thread; its delay is kept when handled.
    void postKey();
    std::vector<qint64> takeKeyDelays();

private:
    void noteShown();
    int nextColumn() const;

    FormFixture m_fixture;
    std::unique_ptr<QObject> m_keyWatch;
    std::atomic<qint64> m_shown{0};
    qint64 m_startLength = 0;
    qint64 m_lastShownNs = 0;
    bool m_hasCaptured = false;
    int m_column = 1;
    int m_perLine = 1;
};

struct Options
{
    qint64 receivedMb = 100;
    qint64 logMb = 2000;
    qint64 singleSeconds = 5;
    qint64 cpuSeconds = 10;
    qint64 keySeconds = 10;
    qint64 recoveryMb = 1000;
};

// The table: each row a figure, what was measured, its goal and where the goal comes from.
class Report
{
public:
    void addRow(const QByteArray &figure, const QByteArray &measured, const QByteArray &goal,
                bool met);
    void addLoss(const QByteArray &run, qint64 sent, qint64 lost);
    bool allMet() const;
    void print(const char *title, const QByteArray &notes) const;

private:
    struct Row
    {
        QByteArray figure;
        QByteArray measured;
        QByteArray goal;
        bool met = false;
    };
    std::vector<Row> m_rows;
    qint64 m_sent = 0;
    qint64 m_lost = 0;
};

QByteArray number(double value, const char *unit, int decimals = 0);

// A capture on a terminal of its own: Start, the stream fed at a pace until the view shows it
// all, and the loss counted; the port stays open until the window stops.
class Capture
{
public:
    Capture(Window &window, const Pace &pace);
    // False when the port did not open or the view stopped short; checks every checkMs.
    bool run(Report &report, const QByteArray &name, int checkMs);
    const Feed &feed() const { return m_feed; }
    // Tavrel's share of a core from the first byte sent until the view showed the last.
    double cpuShare() const { return double(m_cpuNs) / double(m_wallNs); }

private:
    Window &m_window;
    PseudoTerminal m_terminal;
    Feed m_feed;
    qint64 m_cpuNs = 0;
    qint64 m_wallNs = 1;
};

struct FullSpeed
{
    double bytesPerSecond = 0;
    qint64 memoryAdded = 0;
    qint64 atRiskMs = 0;
};
// A new window given that many bytes as fast as it shows them; the loss goes to the report.
FullSpeed measureFullSpeed(Report &report, qint64 bytes);

void runFullSpeed(const Options &options, Report &report);
void runWithLargeLog(const Options &options, Report &report);
void runRecovery(const Options &options, Report &report);

} // namespace Bench
