#pragma once

#include "capture/portlocks.h"
#include "capture/portsettings.h"

#include <QString>
#include <sys/types.h>

// Which node a path names, to tell a device that came back from the one that went away.
struct DeviceIdentity
{
    dev_t filesystem = 0;
    ino_t inode = 0;
    dev_t device = 0;

    static DeviceIdentity of(const QString &path); // all zero when the path names nothing
    bool exists() const { return inode != 0; }
    bool operator==(const DeviceIdentity &other) const
    {
        return filesystem == other.filesystem && inode == other.inode && device == other.device;
    }
};

// One serial device, open for reading and claimed the ways serial programs on Linux look for:
// UUCP lock files, flock() and exclusive mode. Other programs' claims make the open fail.
class SerialDevice
{
public:
    SerialDevice() = default;
    ~SerialDevice() { close(); }
    SerialDevice(const SerialDevice &) = delete;
    SerialDevice &operator=(const SerialDevice &) = delete;

    // False with the cause for the user ("Held by minicom (pid 812)") when it cannot be used.
    bool open(const QString &path, const LineSettings &settings, QString *cause);
    void close();

    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    DeviceIdentity identity() const { return m_identity; }

private:
    bool claim(const QString &path, QString *cause);
    bool fail(int error, const QString &path, QString *cause);

    int m_fd = -1;
    bool m_exclusive = false;
    UucpLock m_lock;
    DeviceIdentity m_identity;
};
