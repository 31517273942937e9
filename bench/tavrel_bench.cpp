// Drives the real window through real pseudo-terminals and prints what users would feel: rates,
// CPU, memory, start-up, save and key latency, and whether any byte went missing. Never fails.
#include "tavrel_bench.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <unistd.h>

namespace Bench {

QByteArray number(double value, const char *unit, int decimals)
{
    return QByteArray::number(value, 'f', decimals) + ' ' + unit;
}

void Report::addRow(const QByteArray &figure, const QByteArray &measured, const QByteArray &goal,
                    bool met)
{
    m_rows.push_back({figure, measured, goal, met ? "yes" : "NO"});
}

void Report::addNote(const QByteArray &figure, const QByteArray &measured)
{
    m_rows.push_back({"  " + figure, measured, {}, {}});
}

void Report::addLoss(const QByteArray &run, qint64 sent, qint64 lost)
{
    m_sent += sent;
    m_lost += lost;
    m_lossByRun += (m_lossByRun.isEmpty() ? "" : ", ") + run + ' ' + QByteArray::number(lost);
}

namespace {
QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').mid(0, 3).join(' ') : "?";
}
} // namespace

void Report::markStart()
{
    m_loadAtStart = loadAverage();
}

void Report::print(int cores) const
{
    std::vector<Row> rows = m_rows;
    rows.push_back({"bytes lost or wrong, of " + QByteArray::number(m_sent) + " sent",
                    QByteArray::number(m_lost), "none, at every rate", m_lost == 0 ? "yes" : "NO"});
    rows.push_back({"  by run", m_lossByRun, {}, {}});
    int width = 6;
    for (const Row &row : rows)
        width = qMax(width, int(row.figure.size()));
    const auto line = [width](const char *figure, const char *measured, const char *goal,
                              const char *met) {
        std::printf("| %-*s | %16s | %-20s | %-3s |\n", width, figure, measured, goal, met);
    };
    std::printf("\nTavrel benchmark: %d cores, %s build, Qt %s, platform %s\n", cores,
#ifdef NDEBUG
                "release",
#else
                "debug (figures not representative)",
#endif
                qVersion(), qPrintable(QGuiApplication::platformName()));
    // Other work on the machine slows every wall-clock figure; say how busy it was.
    std::printf("load average at start: %s, at end: %s\n\n", m_loadAtStart.constData(),
                loadAverage().constData());
    line("figure", "measured", "goal", "met");
    std::printf("|%s|%s|%s|%s|\n", QByteArray(width + 2, '-').constData(),
                QByteArray(18, '-').constData(), QByteArray(22, '-').constData(),
                QByteArray(5, '-').constData());
    for (const Row &row : rows)
        line(row.figure.constData(), row.measured.constData(), row.goal.constData(),
             row.met.constData());
    std::fflush(stdout);
}

bool writeLog(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    static constexpr char digits[] = "0123456789ABCDEF";
    QByteArray block;
    qint64 written = 0;
    for (qint64 position = 0; written < size; ++position) {
        const unsigned char byte = streamByte(position);
        if (byte >= 16)
            block.append(digits[byte >> 4]);
        block.append(digits[byte & 15]).append(' ');
        if (position % 28 == 27)
            block.append("\r\n");
        if (block.size() >= (1 << 20) || written + block.size() >= size) {
            block.truncate(qMin<qint64>(block.size(), size - written));
            if (file.write(block) != block.size())
                return false;
            written += block.size();
            block.clear();
        }
    }
    // On disk before any figure is taken: a save must not pay for the set-up's writes.
    return file.flush() && ::fsync(file.handle()) == 0;
}

} // namespace Bench

namespace {

Bench::Options parseOptions(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Drives the Tavrel window through pseudo-terminals and prints its performance figures.");
    parser.addHelpOption();
    Bench::Options options;
    struct Entry
    {
        const char *name;
        const char *text;
        qint64 *value;
    };
    const Entry entries[] = {
        {"received-mb", "MB received at full speed (memory and rate)", &options.receivedMb},
        {"log-mb", "MB of log.txt at start-up (start-up and save)", &options.logMb},
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
    return options;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Bench::Application app(argc, argv);
    const Bench::Options options = parseOptions(app);
    Bench::Report report;
    report.markStart();
    {
        QTemporaryDir directory;
        Bench::runFullSpeed(options, report, directory.path());
    }
    {
        QTemporaryDir directory;
        if (Bench::writeLog(directory.filePath("log.txt"), options.logMb * 1000000))
            Bench::runWithLargeLog(options, report, directory.path());
        else
            std::printf("Could not write a %lld MB log in %s\n", options.logMb,
                        qPrintable(directory.path()));
    }
    {
        QTemporaryDir directory;
        Bench::runRecovery(options, report, directory.path());
    }
    report.print(QThread::idealThreadCount());
    return 0;
}
