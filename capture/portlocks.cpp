#include "capture/portlocks.h"
#include "posix/fdguard.h"
#include "posix/pathname.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PortLocks {

QString lockDirectory()
{
    QString fromEnvironment = qEnvironmentVariable("TAVREL_LOCK_DIR");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QFileInfo(QStringLiteral("/run/lock")).isDir() ? QStringLiteral("/run/lock")
                                                          : QStringLiteral("/var/lock");
}

QStringList lockFilesFor(const QString &devicePath)
{
    const QDir directory(lockDirectory());
    QStringList files;
    for (const QString &path : {devicePath, PathName::canonicalPath(devicePath)}) {
        const QString name = QFileInfo(path).fileName();
        if (!name.isEmpty() && !files.contains(directory.filePath("LCK.." + name)))
            files.append(directory.filePath("LCK.." + name));
    }
    return files;
}

std::optional<QByteArray> lockText(const QString &lockFile)
{
    const FdGuard file(::open(PathName::encodePath(lockFile).constData(), O_RDONLY | O_CLOEXEC));
    if (file.fd() < 0)
        return std::nullopt;
    char head[128];
    const ssize_t length = ::read(file.fd(), head, sizeof head);
    return length < 0 ? std::nullopt : std::optional<QByteArray>(QByteArray(head, length));
}

std::optional<qint64> pidInLockText(const QByteArray &text)
{
    // Old programs write the pid as 4 raw bytes; pids stay below 2^22, so the last byte is 0.
    if (text.size() == 4 && text.back() == '\0') {
        qint32 binary = 0;
        std::memcpy(&binary, text.constData(), sizeof binary);
        return binary > 0 ? std::optional<qint64>(binary) : std::nullopt;
    }
    const qsizetype end = text.indexOf('\n');
    const QByteArray firstLine = (end < 0 ? text : text.left(end)).trimmed();
    bool isNumber = false;
    const qint64 pid = firstLine.toLongLong(&isNumber);
    if (isNumber && pid > 0)
        return pid;
    return std::nullopt;
}

bool processIsAlive(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

namespace {

// Whether the process has the device open; true when /proc does not tell (another user's).
bool mayHoldDevice(qint64 pid, const QString &device)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    if (!fds.isReadable())
        return true;
    const QStringList open = fds.entryList(QDir::Files | QDir::System);
    return std::any_of(open.begin(), open.end(), [&](const QString &fd) {
        return PathName::linkTarget(fds.filePath(fd)) == device;
    });
}

QString ownLockFile(const QString &devicePath)
{
    return QDir(lockDirectory())
        .filePath("LCK.." + QFileInfo(PathName::canonicalPath(devicePath)).fileName());
}

} // namespace

bool isAnotherDevicesLock(const QString &lockFile, qint64 pid, const QString &devicePath)
{
    // Under the device's own name the lock is this device's; under a link's name it may be
    // a device of the same name elsewhere, whose owner does not have this one open.
    return lockFile != ownLockFile(devicePath) &&
           !mayHoldDevice(pid, PathName::canonicalPath(devicePath));
}

std::optional<Holder> liveHolder(const QString &devicePath)
{
    for (const QString &lockFile : lockFilesFor(devicePath)) {
        struct stat node
        {
        };
        if (::stat(PathName::encodePath(lockFile).constData(), &node) != 0)
            continue;
        // A file we cannot read may still be a live claim: keep away from the port.
        const std::optional<QByteArray> text = lockText(lockFile);
        if (!text)
            return Holder{lockFile, 0};
        const std::optional<qint64> pid = pidInLockText(*text);
        if (!pid)
            return Holder{lockFile, 0};
        if (processIsAlive(*pid) && !isAnotherDevicesLock(lockFile, *pid, devicePath))
            return Holder{lockFile, *pid};
    }
    return std::nullopt;
}

} // namespace PortLocks

std::optional<PortLocks::Holder> UucpLock::acquire(const QString &devicePath)
{
    release();
    const QString temporary =
        QDir(PortLocks::lockDirectory()).filePath(QStringLiteral(".tavrel.%1").arg(::getpid()));
    const QByteArray text = QByteArray::number(::getpid()).rightJustified(10, ' ') + '\n';
    bool written = false;
    {
        const FdGuard file(::open(PathName::encodePath(temporary).constData(),
                                  O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (file.fd() < 0)
            return std::nullopt;
        written = ::write(file.fd(), text.constData(), size_t(text.size())) == text.size();
    }
    std::optional<PortLocks::Holder> refused;
    for (const QString &lockFile : PortLocks::lockFilesFor(devicePath)) {
        if (!written || claim(lockFile, temporary) || isAnotherDevicesLock(lockFile, devicePath))
            continue;
        refused = PortLocks::liveHolder(devicePath).value_or(PortLocks::Holder{lockFile, 0});
        break;
    }
    ::unlink(PathName::encodePath(temporary).constData());
    if (refused)
        release();
    return refused;
}

bool UucpLock::claim(const QString &lockFile, const QString &temporary)
{
    const QByteArray target = PathName::encodePath(lockFile);
    const QByteArray source = PathName::encodePath(temporary);
    for (int attempt = 0; attempt < 2; ++attempt) {
        // link() never replaces a file, so a lock written meanwhile by another program wins.
        if (::link(source.constData(), target.constData()) == 0) {
            m_files.append(lockFile);
            return true;
        }
        if (errno != EEXIST)
            return true; // no lock files here: the other checks still guard the port
        const std::optional<QByteArray> text = PortLocks::lockText(lockFile);
        if (!text)
            return false;
        const std::optional<qint64> pid = PortLocks::pidInLockText(*text);
        if (!pid || PortLocks::processIsAlive(*pid))
            return false;
        ::unlink(target.constData());
    }
    return false;
}

bool UucpLock::isAnotherDevicesLock(const QString &lockFile, const QString &devicePath)
{
    const std::optional<QByteArray> text = PortLocks::lockText(lockFile);
    const std::optional<qint64> pid = text ? PortLocks::pidInLockText(*text) : std::nullopt;
    return pid && PortLocks::isAnotherDevicesLock(lockFile, *pid, devicePath);
}

void UucpLock::release()
{
    for (const QString &lockFile : std::exchange(m_files, {})) {
        // Only a file that still names us is ours to remove.
        const std::optional<QByteArray> text = PortLocks::lockText(lockFile);
        if (text && PortLocks::pidInLockText(*text) == qint64(::getpid()))
            ::unlink(PathName::encodePath(lockFile).constData());
    }
}
