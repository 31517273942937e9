#include "capture/portholder.h"
#include "posix/procinfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

namespace PortHolder {

namespace {

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
    const QString name = ::programName(pid);
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
    qint64 pid = flockHolder(device.st_dev, device.st_ino);
    if (pid == 0)
        pid = openerFromProcFds(canonical);
    return pid > 0 ? heldByText(pid) : QString();
}

} // namespace PortHolder
