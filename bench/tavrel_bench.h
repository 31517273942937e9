#pragma once

#include <QApplication>
#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class Form1;
class LogText;
class QObject;

namespace Bench {

// Times the handling of every event sent to the watched objects (the log view and its
// viewport), outermost only, so the view's own work can be told apart from Qt's and the kernel's.
class Application : public QApplication
{
public:
    Application(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
    void watch(const QObject *first, const QObject *second);
    qint64 watchedNs() const { return m_watchedNs; }

private:
    const QObject *m_watched[2] = {};
    qint64 m_watchedNs = 0;
    int m_depth = 0;
};

// The byte at a position of the stream every writer sends; the check regenerates it.
unsigned char streamByte(qint64 position);

// Nanoseconds on the monotonic clock, comparable across threads.
qint64 nowNs();

// CPU time of a running thread, read from another thread.
qint64 threadCpuNs(std::thread &thread);

// Resident memory of this process, from /proc.

// CPU time (user + system) of this process and of the calling thread.
qint64 processCpuNs();
qint64 threadCpuNs();

// A pseudo-terminal: the window opens the device end, a writer thread feeds the controller end.
class Pty
{
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool isValid() const { return m_controller >= 0; }
    QString devicePath() const { return m_devicePath; }
    // Blocks until every byte is taken; false when the terminal refuses.
    bool writeAll(const unsigned char *data, qint64 size);

private:
    int m_controller = -1;
    int m_device = -1;
    QString m_devicePath;
};

// A plain poll-and-read loop on the device end of a pseudo-terminal, in its own thread: what
// the kernel alone costs a reader, for comparison with the window.
class BareReader
{
public:
    explicit BareReader(const Pty &pty);
    ~BareReader();
    BareReader(const BareReader &) = delete;
    BareReader &operator=(const BareReader &) = delete;

    bool isValid() const { return m_fd >= 0; }
    void start();
    // Ends the loop; cpuNs() is valid after it.
    void stop();
    qint64 received() const { return m_received.load(); }
    qint64 events() const { return m_events.load(); }
    qint64 cpuNs() const { return m_cpuNs.load(); }
    // CPU used so far, while it runs.
    qint64 cpuNsNow();

private:
    void run();

    int m_fd = -1;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_finished{false};
    std::atomic<qint64> m_received{0};
    std::atomic<qint64> m_events{0};
    std::atomic<qint64> m_cpuNs{0};
};

// How a writer paces the stream.
struct Pace
{
    qint64 totalBytes = 0;   // stop after this many bytes (0: run for the duration)
    qint64 durationMs = 0;   // stop after this long (0: no limit)
    qint64 bytesPerStep = 0; // bytes per write
    qint64 stepNs = 0;       // time between writes (0: as fast as the terminal takes them)
    qint64 keyEveryNs = 0;   // call onKeyDue this often (0: never)
    bool waitForEachByte = false;
};

// Sends the stream into a pseudo-terminal from its own thread, so the window's event loop runs
// freely; counts what it sent and how much CPU it used.
class Writer
{
public:
    Writer(Pty &pty, Pace pace, std::function<qint64()> rendered,
           std::function<void()> onKeyDue = {});
    ~Writer();

    void start();
    void join();
    bool finished() const { return m_finished.load(); }
    qint64 sent() const { return m_sent.load(); }
    qint64 startNs() const { return m_startNs; }
    qint64 cpuNs() const { return m_cpuNs; }
    // CPU used so far, while it runs.
    qint64 cpuNsNow();
    bool failed() const { return m_failed; }

private:
    void run();
    void waitUntil(qint64 deadlineNs) const;

    Pty &m_pty;
    Pace m_pace;
    std::function<qint64()> m_rendered;
    std::function<void()> m_onKeyDue;
    std::thread m_thread;
    std::atomic<qint64> m_sent{0};
    std::atomic<bool> m_finished{false};
    qint64 m_startNs = 0;
    qint64 m_cpuNs = 0;
    bool m_failed = false;
};

// Bytes of the stream missing or wrong in the view's text from the given offset on: the hex
// items are read back, line breaks skipped.
qint64 lostBytes(const LogText &text, qint64 from, qint64 sent);

// The window in a fresh current directory, with every message box answered, and a count of
// what each OnComm rendered.
class Window
{
public:
    explicit Window(const QString &directory);
    ~Window();

    // Builds the window and shows it; returns once a posted key press was handled.
    void open();
    Form1 &form() { return *m_form; }
    // How long building the window took in open(), log file included.
    qint64 constructNs() const { return m_constructNs; }
    // Start on this pseudo-terminal; the count starts from zero.
    bool start(const Pty &pty);
    // Stop; returns how long the click took.
    qint64 stopNs();
    // Runs the event loop until the condition holds or the time is up; false on time-out.
    bool runUntil(const std::function<bool()> &done, int timeoutMs, int checkMs = 20);

    qint64 rendered() const { return m_rendered.load(); }
    qint64 lastRenderNs() const { return m_lastRenderNs; }
    qint64 events() const { return m_events; }
    qint64 singleByteEvents() const { return m_singleByteEvents; }
    // Time spent in the window's receive handler, and in the log view's own events, since start.
    qint64 onCommNs() const { return m_onCommNs; }
    qint64 viewEventsNs() const;
    qsizetype capturedFrom() const { return m_capturedFrom; }
    int messageBoxes() const { return m_messageBoxes; }
    QString lastMessage() const { return m_lastMessage; }

    // Posts a Right key to the log view from any thread; its delay is recorded when handled.
    void postKey();
    std::vector<qint64> keyDelaysNs() const;
    void clearKeyDelays();

private:
    void handleOnComm();

    QString m_previousDir;
    std::unique_ptr<Form1> m_form;
    std::atomic<qint64> m_rendered{0};
    qint64 m_lastRenderNs = 0;
    qint64 m_constructNs = 0;
    qint64 m_events = 0;
    qint64 m_singleByteEvents = 0;
    qint64 m_onCommNs = 0;
    qint64 m_viewEventsAtStart = 0;
    qsizetype m_capturedFrom = 0;
    int m_messageBoxes = 0;
    QString m_lastMessage;
    std::unique_ptr<QObject> m_keyWatch;
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

// The table the benchmark prints: figures with goals, and notes that explain them.
class Report
{
public:
    void addRow(const QByteArray &figure, const QByteArray &measured, const QByteArray &goal,
                bool met);
    void addNote(const QByteArray &figure, const QByteArray &measured);
    void addLoss(const QByteArray &run, qint64 sent, qint64 lost);
    void markStart();
    void print(int cores) const;

private:
    struct Row
    {
        QByteArray figure;
        QByteArray measured;
        QByteArray goal;
        QByteArray met;
    };
    std::vector<Row> m_rows;
    qint64 m_sent = 0;
    qint64 m_lost = 0;
    QByteArray m_lossByRun;
    QByteArray m_loadAtStart;
};

QByteArray number(double value, const char *unit, int decimals = 1);
// A log as a capture writes it: hex items of the stream, 28 to a line, cut at the size.
bool writeLog(const QString &path, qint64 size);

// A capture as fast as the terminal goes: rate, memory, loss, and the save of it all.
void runFullSpeed(const Options &options, Report &report, const QString &directory);
// Start-up after a killed run that left a large unsaved capture in its journal.
void runRecovery(const Options &options, Report &report, const QString &directory);
// What the disk alone costs: writing that many bytes to a new file and flushing them.
double diskWriteMs(const QString &directory, qint64 bytes);
// Start-up with a large log, its save, and captures on top of it at set paces.
void runWithLargeLog(const Options &options, Report &report, const QString &directory);

} // namespace Bench
