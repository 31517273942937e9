// Drives the real window through pseudo-terminals and prints what users would feel: rates, CPU,
// memory, start-up, saves, key latency, recovery and loss, each beside its goal. With --check it
// runs a short capture against generous budgets and fails when one is missed.
#include "tavrel_bench.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QThread>
#include <cstdio>

namespace Bench {

QByteArray number(double value, const char *unit, int decimals)
{
    return QByteArray::number(value, 'f', decimals) + ' ' + unit;
}

void Report::addRow(const QByteArray &figure, const QByteArray &measured, const QByteArray &goal,
                    bool met)
{
    m_rows.push_back({figure, measured, goal, met});
}

void Report::addLoss(const QByteArray &run, qint64 sent, qint64 lost)
{
    m_sent += sent;
    m_lost += lost;
    if (lost > 0)
        std::printf("%s: %lld of %lld bytes lost or wrong\n", run.constData(), lost, sent);
}

bool Report::allMet() const
{
    return m_lost == 0 &&
           std::all_of(m_rows.begin(), m_rows.end(), [](const Row &row) { return row.met; });
}

namespace {

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').mid(0, 3).join(' ') : "?";
}

void printLine(const std::vector<QByteArray> &cells, const std::vector<int> &widths)
{
    std::printf("|");
    for (size_t i = 0; i < cells.size(); ++i)
        std::printf(" %-*s |", widths[i], cells[i].constData());
    std::printf("\n");
}

} // namespace

void Report::print(const char *title, const QByteArray &notes) const
{
    std::vector<std::vector<QByteArray>> lines{
        {"figure", "measured", "goal, and what set it", "met"}};
    for (const Row &row : m_rows)
        lines.push_back({row.figure, row.measured, row.goal, row.met ? "yes" : "NO"});
    lines.push_back({"bytes lost or wrong, of " + QByteArray::number(m_sent) + " sent",
                     QByteArray::number(m_lost), "none, durable capture",
                     m_lost == 0 ? "yes" : "NO"});
    std::vector<int> widths(4, 3);
    for (const auto &line : lines)
        for (size_t i = 0; i < line.size(); ++i)
            widths[i] = qMax(widths[i], int(line[i].size()));
    std::printf("\n%s: %d cores, %s build, Qt %s, platform %s\n", title,
                QThread::idealThreadCount(),
#ifdef NDEBUG
                "release",
#else
                "debug (figures not representative)",
#endif
                qVersion(), qPrintable(QGuiApplication::platformName()));
    // Other work on the machine moves every wall-clock figure; say how busy it was.
    std::printf("load average at the end: %s\n\n", loadAverage().constData());
    printLine(lines.front(), widths);
    std::printf("|");
    for (const int width : widths)
        std::printf("%s|", QByteArray(width + 2, '-').constData());
    std::printf("\n");
    for (size_t i = 1; i < lines.size(); ++i)
        printLine(lines[i], widths);
    std::printf("\n%s\n", notes.constData());
    std::fflush(stdout);
}

} // namespace Bench

namespace {

struct Arguments
{
    Bench::Options options;
    bool check = false;
};

Arguments parseArguments(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Drives the Tavrel window through pseudo-terminals and prints its performance figures.");
    parser.addHelpOption();
    parser.addOption({"check", "Short run against generous budgets; fails when one is missed."});
    Arguments arguments;
    struct Entry
    {
        const char *name;
        const char *text;
        qint64 *value;
    };
    Bench::Options &options = arguments.options;
    const Entry entries[] = {
        {"received-mb", "MB received at full speed (rate and memory)", &options.receivedMb},
        {"log-mb", "MB of log.txt at start-up (start-up, pages, saves)", &options.logMb},
        {"single-seconds", "seconds of one byte per event", &options.singleSeconds},
        {"cpu-seconds", "seconds at 115200 baud for the CPU figure", &options.cpuSeconds},
        {"key-seconds", "seconds of key presses while 1 MB/s arrives", &options.keySeconds},
        {"recovery-mb", "MB captured and left unsaved by a killed run", &options.recoveryMb},
    };
    for (const Entry &entry : entries)
        parser.addOption({entry.name, entry.text, "n", QString::number(*entry.value)});
    parser.process(app);
    for (const Entry &entry : entries)
        *entry.value = qMax<qint64>(1, parser.value(entry.name).toLongLong());
    arguments.check = parser.isSet("check");
    return arguments;
}

const char kNotes[] =
    "Each goal names the work it comes from: durable capture (the journal: nothing shown is\n"
    "lost, even by a killed run), logs of any length (log.txt read where it lies), log view (set\n"
    "when the view was made), serial reader (the reader thread and its hand-over to the window).\n"
    "(1) The reader hands arrivals to the window thread at most every 20 ms, chosen to save\n"
    "    wake-ups at 115200 baud, so a byte sent only once the last is shown waits for the next\n"
    "    hand-over: about 50 bytes a second at best. A stream that does not wait is not held "
    "back.\n"
    "(2) The bare loop reads the same paced stream on a terminal of its own; on a virtual machine\n"
    "    its own figure moves between runs, and the ratio with it.\n"
    "(3) The disk alone: writing and flushing as many bytes to a new file.";

// A tenth of the goals' rates and the goal's memory per byte: only a large regression fails.
int runBudgets()
{
    Bench::Report report;
    constexpr qint64 kBytes = 30000000;
    const Bench::FullSpeed run = Bench::measureFullSpeed(report, kBytes);
    report.addRow("received bytes shown per second at full speed, journal on",
                  Bench::number(run.bytesPerSecond / 1e6, "MB/s", 1),
                  ">= 2 MB/s: a tenth of 20 MB/s", run.bytesPerSecond >= 2e6);
    const double perByte = double(run.memoryAdded) / kBytes;
    report.addRow("resident memory added per received byte", Bench::number(perByte, "B", 2),
                  "<= 1 B: 100 MB per 100 MB", perByte <= 1);
    report.print("Tavrel performance budgets", "Budgets: durable capture, logs of any length.");
    return report.allMet() ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Arguments arguments = parseArguments(app);
    if (arguments.check)
        return runBudgets();
    Bench::Report report;
    Bench::runFullSpeed(arguments.options, report);
    Bench::runWithLargeLog(arguments.options, report);
    Bench::runRecovery(arguments.options, report);
    report.print("Tavrel benchmark", kNotes);
    return 0;
}
