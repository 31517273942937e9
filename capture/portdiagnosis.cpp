#include "capture/portdiagnosis.h"
#include "capture/portholder.h"
#include "capture/portlist.h"
#include "posix/errortext.h"
#include "posix/pathname.h"

#include <cerrno>
#include <grp.h>
#include <sys/stat.h>

namespace PortDiagnosis {

QString noSuchDevice()
{
    QStringList present;
    for (const PresentPort &port : presentPorts())
        present.append(port.path);
    return QStringLiteral("No such device; present: ") +
           (present.isEmpty() ? QStringLiteral("none") : present.join(QStringLiteral(", ")));
}

QString groupToJoin(const QString &devicePath)
{
    struct stat device
    {
    };
    if (::stat(PathName::encodePath(devicePath).constData(), &device) != 0 || device.st_gid == 0 ||
        !(device.st_mode & S_IRGRP))
        return {};
    const group *entry = ::getgrgid(device.st_gid);
    return entry ? QString::fromLocal8Bit(entry->gr_name) : QString::number(device.st_gid);
}

QString permissionDenied(const QString &devicePath)
{
    const QString group = groupToJoin(devicePath);
    if (!group.isEmpty())
        return QStringLiteral("Permission denied: add yourself to the group %1 and log in again")
            .arg(group);
    return QStringLiteral("Permission denied: only its owner may open it; ask the administrator");
}

QString causeOf(int error, const QString &devicePath)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return permissionDenied(devicePath);
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return noSuchDevice();
    case EBUSY:
    case EWOULDBLOCK: {
        // A tty refuses an open with EBUSY for exclusive mode alone; flock() says EWOULDBLOCK.
        const QString holder = error == EBUSY ? PortHolder::exclusiveModeHolder(devicePath)
                                              : PortHolder::heldBy(devicePath);
        return holder.isEmpty() ? QStringLiteral("Held by another program") : holder;
    }
    case ENOTTY:
        return QStringLiteral("Not a serial device");
    default:
        return errorText(error);
    }
}

} // namespace PortDiagnosis
