#include "posix/procinfo.h"

#include <QFile>
#include <QList>
#include <sys/sysmacros.h>

namespace {

// The kernel prints a lock's file as MAJOR:MINOR:INODE, the device numbers in two-digit hex.
QByteArray lockedFileKey(dev_t device, ino_t inode)
{
    return QByteArray::number(major(device), 16).rightJustified(2, '0') + ':' +
           QByteArray::number(minor(device), 16).rightJustified(2, '0') + ':' +
           QByteArray::number(quint64(inode));
}

} // namespace

qint64 flockHolderIn(const QByteArray &locks, dev_t device, ino_t inode)
{
    const QByteArray wanted = lockedFileKey(device, inode);
    // "2: FLOCK  ADVISORY  WRITE 1234 fe:00:5678 0 EOF"; a request still waiting reads
    // "2: -> FLOCK ..." and holds nothing.
    for (const QByteArray &line : locks.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields[1] != "FLOCK" || fields[5] != wanted)
            continue;
        const qint64 pid = fields[4].toLongLong();
        if (pid > 0)
            return pid;
    }
    return 0;
}

qint64 flockHolder(dev_t device, ino_t inode)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return 0;
    return flockHolderIn(locks.readAll(), device, inode);
}

QString programName(qint64 pid)
{
    if (pid <= 0)
        return {};
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll().trimmed());
}
