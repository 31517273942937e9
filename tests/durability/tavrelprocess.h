#pragma once

#include "support/files.h"
#include "support/pseudoterminal.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <csignal>

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

// The pid that the journal's header names: the program that started it afresh.
inline qint64 journalOwner(const QString &folder)
{
    const QByteArray index = fileBytes(folder + "/log.txt.journal.idx");
    if (index.size() != 72)
        return 0;
    qint64 pid = 0;
    std::memcpy(&pid, index.constData() + 16, sizeof pid);
    return pid;
}
