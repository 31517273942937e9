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

namespace {

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').mid(0, 3).join(' ') : "?";
}

void printLine(const char *figure, const char *measured, const char *goal, const char *met)
{
    std::printf("| %-88s | %-32s | %-40s | %-3s |\n", figure, measured, goal, met);
    std::fflush(stdout);
}

} // namespace

Report::Report(const char *title)
{
    std::printf("%s: %d cores, %s build, Qt %s, platform %s, load average %s\n\n", title,
                QThread::idealThreadCount(),
#ifdef NDEBUG
                "release",
#else
                "debug (figures not representative)",
#endif
                qVersion(), qPrintable(QGuiApplication::platformName()), loadAverage().constData());
    printLine("figure", "measured", "goal, and the work that set it", "met");
    std::printf("|%s|%s|%s|-----|\n", QByteArray(90, '-').constData(),
                QByteArray(34, '-').constData(), QByteArray(42, '-').constData());
}

void Report::row(const QByteArray &figure, const QByteArray &measured, const QByteArray &goal,
                 bool met)
{
    allMet = allMet && met;
    printLine(figure.constData(), measured.constData(), goal.constData(), met ? "yes" : "NO");
}

void Report::addLoss(const QByteArray &run, qint64 runSent, qint64 runLost)
{
    sent += runSent;
    lost += runLost;
    if (runLost > 0)
        std::printf("%s: %lld of %lld bytes lost or wrong\n", run.constData(), runLost, runSent);
}

void Report::finish(const char *notes)
{
    row("bytes lost or wrong, of " + QByteArray::number(sent) + " sent", QByteArray::number(lost),
        "none, durable capture", lost == 0);
    // Other work on the machine moves every wall-clock figure; say how busy it was.
    std::printf("\nload average at the end: %s\n%s\n", loadAverage().constData(), notes);
}

} // namespace Bench

namespace {

Bench::Options parseOptions(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Drives the Tavrel window through pseudo-terminals and prints its performance figures.");
    parser.addHelpOption();
    const QCommandLineOption check("check",
                                   "Short run against generous budgets; fails when one is missed.");
    const QCommandLineOption received("received-mb", "MB received at full speed (rate, memory)",
                                      "n", "100");
    const QCommandLineOption log("log-mb", "MB of log.txt at start-up (start-up, pages, saves)",
                                 "n", "2000");
    const QCommandLineOption seconds("seconds", "seconds of each paced run", "n", "10");
    const QCommandLineOption recovery("recovery-mb", "MB captured and left unsaved by a killed run",
                                      "n", "1000");
    const QCommandLineOption only(
        "only", "only these groups of rows: capture, log, find, times, export, paced, recovery",
        "a,b");
    parser.addOptions({check, received, log, seconds, recovery, only});
    parser.process(app);
    const auto size = [&parser](const QCommandLineOption &option) {
        return qMax<qint64>(1, parser.value(option).toLongLong());
    };
    return {size(received),
            size(log),
            size(seconds),
            size(recovery),
            parser.isSet(check),
            parser.isSet(only) ? parser.value(only).toLatin1().split(',') : QByteArrayList()};
}

const char kNotes[] =
    "Each goal names the work it comes from: durable capture (the journal: nothing shown is\n"
    "lost, even by a killed run), logs of any length (log.txt read where it lies), log view (set\n"
    "when the view was made), serial reader (the reader thread and its hand-over to the window),\n"
    "one keeper (the journal's data is the unsaved text: each byte reaches the disk once before\n"
    "the save), arrival times (each chunk's time kept beside the log), find (the find bar's\n"
    "search, which decodes the items; a plain memmem only compares bytes), characters column (the\n"
    "received bytes as characters beside the hex).\n"
    "(2) The bare loop reads the same paced stream on a terminal of its own; on a virtual machine\n"
    "    its own figure moves between runs, and the ratio with it.\n"
    "(3) The disk alone: writing and flushing as many bytes to a new file; for Stop, just before\n"
    "    and just after it, and the goal is read against their mean.\n"
    "(4) From the write into the terminal to the start of the paint that shows the byte's item:\n"
    "    the reader's hand-over (at most every 20 ms, at once after a quiet spell) and the view's\n"
    "    frame for appended text (at most every 30 ms, painting only the rows it changed).";

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Bench::Options options = parseOptions(app);
    Bench::Report report(options.check ? "Tavrel performance budgets" : "Tavrel benchmark");
    if (options.wants("capture") || options.check)
        Bench::runFullSpeed(options, report);
    if (options.check) {
        report.finish("Only a large regression fails: the limits hold in a debug build on a busy "
                      "machine.");
        return report.allMet ? 0 : 1;
    }
    Bench::runWithLargeLog(options, report);
    if (options.wants("recovery"))
        Bench::runRecovery(options, report);
    report.finish(kNotes);
    return 0;
}
