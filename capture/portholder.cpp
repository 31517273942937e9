#include "capture/portholder.h"
#include "posix/pathname.h"
#include "posix/procinfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <optional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace PortHolder {

namespace {

// The first major number of the device sides of pseudo-terminals, and how many there are.
constexpr unsigned int kPtySlaveMajor = 136;
constexpr unsigned int kPtySlaveMajors = 8;

struct Openers
{
    qint64 holder = 0;   // has the device open
    qint64 otherEnd = 0; // has the controlling side of the pseudo-terminal open
};

// Whether the descriptor is the controlling side (/dev/ptmx) of pseudo-terminal number.
bool controlsPseudoTerminal(const QString &fdPath, const QString &target, int number)
{
    if (number < 0 || QFileInfo(target).fileName() != QLatin1String("ptmx"))
        return false;
    QFile info(QString(fdPath).replace(QLatin1String("/fd/"), QLatin1String("/fdinfo/")));
    if (!info.open(QIODevice::ReadOnly))
        return false;
    const QByteArray wanted = "tty-index:\t" + QByteArray::number(number) + '\n';
    return info.readAll().contains(wanted);
}

Openers openersFromProcFds(const QString &canonicalPath, int ptyNumber)
{
    Openers found;
    const QDir proc(QStringLiteral("/proc"));
    const QString self = QString::number(::getpid());
    for (const QString &pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        const qint64 number = pid.toLongLong(&isPid);
        if (!isPid || pid == self)
            continue;
        const QDir fds(proc.filePath(pid + "/fd"));
        bool opens = false;
        bool controls = false;
        for (const QString &fd : fds.entryList(QDir::Files | QDir::System)) {
            const QString target = PathName::linkTarget(fds.filePath(fd));
            opens = opens || target == canonicalPath;
            controls = controls || controlsPseudoTerminal(fds.filePath(fd), target, ptyNumber);
        }
        if (controls && found.otherEnd == 0)
            found.otherEnd = number;
        if (opens && !controls)
            return {number, found.otherEnd};
    }
    return found;
}

struct DeviceNode
{
    struct stat device = {};
    QString canonical;
};

std::optional<DeviceNode> deviceNode(const QString &devicePath)
{
    DeviceNode node;
    node.canonical = PathName::canonicalPath(devicePath);
    if (node.canonical.isEmpty() ||
        ::stat(PathName::encodePath(node.canonical).constData(), &node.device) != 0)
        return std::nullopt;
    return node;
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

int pseudoTerminalNumber(dev_t device)
{
    const unsigned int group = major(device) - kPtySlaveMajor;
    return group < kPtySlaveMajors ? int(group * 256 + minor(device)) : -1;
}

QString heldBy(const QString &devicePath)
{
    const std::optional<DeviceNode> node = deviceNode(devicePath);
    if (!node)
        return {};
    qint64 pid = flockHolder(node->device.st_dev, node->device.st_ino);
    if (pid == 0)
        pid = openersFromProcFds(node->canonical, -1).holder;
    return pid > 0 ? heldByText(pid) : QString();
}

QString exclusiveModeHolder(const QString &devicePath)
{
    const std::optional<DeviceNode> node = deviceNode(devicePath);
    if (!node)
        return {};
    // The kernel's table of locks names other users' programs too.
    if (const qint64 pid = flockHolder(node->device.st_dev, node->device.st_ino))
        return heldByText(pid);
    const int ptyNumber = pseudoTerminalNumber(node->device.st_rdev);
    const Openers openers = openersFromProcFds(node->canonical, ptyNumber);
    if (openers.holder > 0)
        return heldByText(openers.holder);
    // A real port drops the mode at its last close; a pseudo-terminal keeps it while paired.
    if (ptyNumber < 0)
        return {};
    return QStringLiteral("Left in exclusive mode by a program that ended; a pseudo-terminal "
                          "keeps that until its other end%1 closes")
        .arg(openers.otherEnd > 0 ? QStringLiteral(", %1 (pid %2),")
                                        .arg(programName(openers.otherEnd))
                                        .arg(openers.otherEnd)
                                  : QString());
}

} // namespace PortHolder
