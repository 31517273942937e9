#pragma once

#include "support/files.h"
#include "support/pseudoterminal.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <csignal>
#include <sys/stat.h>

// The real program in a folder of its own, reading a pseudo-terminal that the test writes into.
struct TavrelProcess
{
    QProcess process;

    void start(const QString &folder, const QString &port, const QStringList &arguments,
               const QString &platform = QStringLiteral("offscreen"))
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", platform);
        environment.insert("TAVREL_PORT1", port);
        // libxkbcommon-x11 hands strndup a length past its buffer, which strict checks report.
        if (platform == QLatin1String("xcb") && environment.contains("ASAN_OPTIONS"))
            environment.insert("ASAN_OPTIONS",
                               environment.value("ASAN_OPTIONS") + ":strict_string_checks=0");
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(folder);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(TAVREL_EXECUTABLE, arguments);
        process.waitForStarted();
    }

    // The program has the device open: the capture is running.
    bool holds(const QString &device) const
    {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(process.processId()));
        for (const QString &fd : fds.entryList(QDir::Files | QDir::System))
            if (QFile::symLinkTarget(fds.filePath(fd)) == device)
                return true;
        return false;
    }

    void signal(int number) const { ::kill(pid_t(process.processId()), number); }

    bool ended(int ms = 10000)
    {
        return process.state() == QProcess::NotRunning || process.waitForFinished(ms);
    }
};

// How much text the journal's records vouch for: written data without its record is not yet
// journaled.
inline qint64 journaledText(const QString &folder)
{
    const QByteArray index = fileBytes(folder + "/log.txt.journal.idx");
    qint64 end = 0;
    for (qsizetype at = 72; at + 72 <= index.size(); at += 72) {
        quint16 type = 0;
        qint64 fields[2] = {};
        std::memcpy(&type, index.constData() + at + 4, sizeof type);
        std::memcpy(fields, index.constData() + at + 16, sizeof fields);
        if (type == 2) // an append: offset and length
            end = fields[0] + fields[1];
    }
    return end;
}

// What the folder keeps, as the next start shows it: log.txt, then the journal's text, unless the
// last record says that a save was putting that text into log.txt.
inline QByteArray keptText(const QString &folder)
{
    const QByteArray log = fileBytes(folder + "/log.txt");
    const QByteArray journal =
        fileBytes(folder + "/log.txt.journal").left(qsizetype(journaledText(folder)));
    const QByteArray index = fileBytes(folder + "/log.txt.journal.idx");
    if (index.size() < 144)
        return log + journal;
    quint16 type = 0;
    qint64 fields[4] = {};
    const qsizetype last = index.size() / 72 * 72 - 72;
    std::memcpy(&type, index.constData() + last + 4, sizeof type);
    std::memcpy(fields, index.constData() + last + 16, sizeof fields);
    struct stat info = {};
    const bool sameLog = ::stat(QFile::encodeName(folder + "/log.txt").constData(), &info) == 0 &&
                         qint64(info.st_ino) == fields[1];
    if (type == 4 && sameLog) // the saved file was put in place: it holds everything
        return log;
    if (type == 5 && sameLog && log.size() == fields[3]) // the append in place finished
        return log;
    if (type == 5 && sameLog && log.size() > fields[2]) // cut short: the next start cuts it back
        return log.left(qsizetype(fields[2])) + journal;
    return log + journal;
}
