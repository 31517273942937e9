#pragma once

#include "capture/portlocks.h"
#include "capture/portsettings.h"

#include "posix/fileidentity.h"

#include <QString>
#include <sys/types.h>

// Which node a path names, to tell a device that came back from the one that went away.
struct DeviceIdentity
{
    FileIdentity file;

    static DeviceIdentity of(const QString &path); // all zero when the path names nothing
    bool exists() const { return file.inode != 0; }
    bool operator==(const DeviceIdentity &other) const { return file.sameNode(other.file); }
};
// One serial device, open for reading and claimed the ways serial programs on Linux look for:
// UUCP lock files, flock() and, except on a pseudo-terminal, exclusive mode. Other programs'
// claims make the open fail.
class SerialDevice
{
public:
    SerialDevice() = default;
    ~SerialDevice() { close(); }
    SerialDevice(const SerialDevice &) = delete;
    SerialDevice &operator=(const SerialDevice &) = delete;

    // False with the cause for the user ("Held by minicom (pid 812)") when it cannot be used.
    // What waited in the driver is dropped when a capture starts, and kept when a device that
    // went away comes back: a board's first words after a reset belong to the capture.
    enum class Waiting { Discard, Keep };
    bool open(const QString &path, const LineSettings &settings, QString *cause,
              Waiting waiting = Waiting::Discard);
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
