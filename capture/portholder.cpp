#include "capture/portholder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace PortHolder {

namespace {

// A line of /proc/locks: "1: FLOCK  ADVISORY  WRITE 1234 00:05:3 0 EOF".
qint64 lockOwnerFromProcLocks(const struct stat &device)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray wanted = QByteArray::number(major(device.st_dev), 16).rightJustified(2, '0') +
                              ':' +
                              QByteArray::number(minor(device.st_dev), 16).rightJustified(2, '0') +
                              ':' + QByteArray::number(quint64(device.st_ino));
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // A waiting request ("->") names no holder.
        if (fields.size() >= 6 && fields[1] != "->" && fields[5] == wanted)
            return fields[4].toLongLong();
    }
    return 0;
}

qint64 openerFromProcFds(const QString &canonicalPath)
{
    const QDir proc(QStringLiteral("/proc"));
    const QString self = QString::number(::getpid());
    for (const QString &pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        const qint64 number = pid.toLongLong(&isPid);
        if (!isPid || pid == self)
            continue;
        const QDir fds(proc.filePath(pid + "/fd"));
        for (const QString &fd : fds.entryList(QDir::Files | QDir::System))
            if (QFile::symLinkTarget(fds.filePath(fd)) == canonicalPath)
                return number;
    }
    return 0;
}

} // namespace

QString programName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    const QString name =
        comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll().trimmed()) : "";
    return name.isEmpty() ? QStringLiteral("another program") : name;
}

QString heldByText(qint64 pid)
{
    return QStringLiteral("Held by %1 (pid %2)").arg(programName(pid)).arg(pid);
}

QString heldBy(const QString &devicePath)
{
    const QString canonical = QFileInfo(devicePath).canonicalFilePath();
    struct stat device
    {
    };
    if (canonical.isEmpty() || ::stat(QFile::encodeName(canonical).constData(), &device) != 0)
        return {};
    qint64 pid = lockOwnerFromProcLocks(device);
    if (pid == 0)
        pid = openerFromProcFds(canonical);
    return pid > 0 ? heldByText(pid) : QString();
}

} // namespace PortHolder
