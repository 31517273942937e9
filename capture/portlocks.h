#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// UUCP lock files (LCK..<name> holding the owner's pid), the claim that serial programs on Linux
// read before they open a port.
namespace PortLocks {

// TAVREL_LOCK_DIR, else /run/lock, else /var/lock.
QString lockDirectory();

// The lock files a device is known by: its own name and the name of the path it was given.
QStringList lockFilesFor(const QString &devicePath);

// The start of a lock file, where the pid is; nothing when it cannot be read.
std::optional<QByteArray> lockText(const QString &lockFile);

// The pid in a lock file's text: "%10d\n" (UUCP), a first line with a pid (QLockFile), or a
// 4-byte binary pid; nothing when it holds none.
std::optional<qint64> pidInLockText(const QByteArray &text);

bool processIsAlive(qint64 pid);

struct Holder
{
    QString lockFile;
    qint64 pid = 0; // 0: the file names no pid that can be read
};

// A live owner's lock file under a link's name that belongs to another device of that name.
bool isAnotherDevicesLock(const QString &lockFile, qint64 pid, const QString &devicePath);

// A lock file of the device whose owner is alive (or cannot be told).
std::optional<Holder> liveHolder(const QString &devicePath);

} // namespace PortLocks

// Our own lock files for one open device, removed again when released.
class UucpLock
{
public:
    UucpLock() = default;
    ~UucpLock() { release(); }
    UucpLock(const UucpLock &) = delete;
    UucpLock &operator=(const UucpLock &) = delete;

    // Writes our lock files, taking over those of dead owners; a live owner's file makes it
    // fail and is left alone. A lock directory we may not write in is no failure.
    std::optional<PortLocks::Holder> acquire(const QString &devicePath);
    void release();

private:
    bool claim(const QString &lockFile, const QString &temporary);
    static bool isAnotherDevicesLock(const QString &lockFile, const QString &devicePath);

    QStringList m_files;
};
