#pragma once

#include "support/formfixture.h"

#include <QByteArray>
#include <QByteArrayView>
#include <atomic>
#include <ctime>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace Bench {

class FeedTerminal;

// Nanoseconds on a clock: the monotonic one, or CLOCK_PROCESS_CPUTIME_ID, CLOCK_THREAD_CPUTIME_ID.
qint64 clockNs(clockid_t clock = CLOCK_MONOTONIC);
// The byte at a position of the stream every feed sends; the loss check regenerates it.
unsigned char streamByte(qint64 position);
QByteArray number(double value, const char *unit, int decimals = 0);

// The table, printed a row at a time; the loss of every run adds up to its last row.
struct Report
{
    qint64 sent = 0;
    qint64 lost = 0;
    bool allMet = true;

    // Prints the title with the machine and its load, and the table's head.
    explicit Report(const char *title);
    void row(const QByteArray &figure, const QByteArray &measured, const QByteArray &goal,
             bool met);
    void addLoss(const QByteArray &run, qint64 runSent, qint64 runLost);
    void finish(const char *notes);
};

struct Pace
{
    qint64 totalBytes = 0; // 0: run for the duration
    qint64 durationMs = 0; // 0: until the total is sent
    qint64 bytesPerStep = 0;
    qint64 stepNs = 0;       // 0: as fast as the terminal takes them
    bool oneAtATime = false; // each step waits until the reader has shown the last
};

// The rate a reader kept up with, and its share of a core meanwhile.
struct Rate
{
    double bytesPerSecond = 0;
    double cpuShare = 0;
};

// The same paced stream read by a plain poll-and-read loop on a terminal of its own, without Qt
// or a window: what the kernel alone costs a reader, for the window's figures to be read against.
Rate runBareLoop(const Pace &pace);

// The real window in a folder of its own, every message box answered, driven through its
// controls; what its view shows since Start is counted in characters of text.
class Window : public QObject
{
public:
    Window();
    ~Window() override;

    QString path(const QString &name) const { return m_fixture.path(name); }
    // Shows a new window; returns the nanoseconds until a key press posted right after is handled.
    qint64 open();
    Form1 &form() { return *m_fixture.form; }
    LogView &view() const { return *m_fixture.view(); }
    // Start on a new terminal at 115200 baud.
    bool start();
    qint64 stopNs();
    // Start on a new terminal, feed it at the pace until the view shows it all, and count the
    // loss; the port stays open. Tavrel's rate and CPU run until the view showed the last byte.
    Rate capture(Report &report, const QByteArray &name, const Pace &pace, int checkMs);
    // Start on a new terminal and send steps of bytes, the next gapNs(step) after the last,
    // for the duration; gives for each step the time from its write to the start of the first
    // paint of the view that shows all of it (-1: never drawn). The port stays open.
    std::vector<qint64> drawnLatencies(Report &report, const QByteArray &name, qint64 durationMs,
                                       int bytesPerStep,
                                       const std::function<qint64(qint64)> &gapNs);
    // Posts a key press to the view, from any thread; its delay is kept when it is handled.
    void postKey(Qt::Key key = Qt::Key_Right);
    std::vector<qint64> takeKeyDelays() { return std::exchange(m_keyDelays, {}); }

private:
    // Runs the event loop until done, checked every checkMs, or until the time-out.
    static bool runUntil(const std::function<bool()> &done, int timeoutMs, int checkMs);
    bool eventFilter(QObject *watched, QEvent *event) override;
    qint64 lostBytes(qint64 sent) const;
    // The text a chunk of the stream adds to the view, counted rather than rendered.
    qint64 textCost(QByteArrayView chunk);

    FormFixture m_fixture;
    std::vector<qint64> m_keyDelays;
    std::unique_ptr<FeedTerminal> m_terminal;
    std::atomic<qint64> m_shown{0};
    qint64 m_startLength = 0;
    qint64 m_lastShownNs = 0;
    int m_column = 1;
    int m_perLine = 1;
};

struct Options
{
    qint64 receivedMb = 0;
    qint64 logMb = 0;
    qint64 seconds = 0;
    qint64 recoveryMb = 0;
    bool check = false;
    QByteArrayList only; // the groups of rows to run; empty: all of them

    bool wants(const char *group) const { return only.isEmpty() || only.contains(group); }
};

// A new window given the bytes as fast as a pty takes them; with check, a short run against the
// budgets: a tenth of the goal's rate and the goal's memory per byte.
void runFullSpeed(const Options &options, Report &report);
void runWithLargeLog(const Options &options, Report &report);
void runRecovery(const Options &options, Report &report);
// Find over the large log beside a plain memmem over the same file.
void runFind(Report &report, Window &window);

// Shared by the runs: the 99th percentile in ms, the view's page moves, resident memory.
double p99Ms(std::vector<qint64> values);
double pageMovesP99Ms(Window &window);
qint64 residentBytes();
// The disk's own time for as many bytes: writing and flushing them to a new file; -1 on failure.
double diskAloneMs(const QString &scratchPath, qint64 bytes);
// The rows of the arrival times: the column and marks on against off, export, drawn latency.
void runTimeColumn(Report &report, Window &window);
void runExport(Report &report, Window &window);
void runDrawnLatency(const Options &options, Report &report, Window &window);
void runCharacterColumn(const Options &options, Report &report, Window &window);

} // namespace Bench
