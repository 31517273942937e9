#include "capture/serialdevice.h"
#include "capture/linetermios.h"
#include "capture/portdiagnosis.h"
#include "capture/portholder.h"
#include "posix/pathname.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

DeviceIdentity DeviceIdentity::of(const QString &path)
{
    return {FileIdentity::ofPath(path).value_or(FileIdentity{})};
}

namespace {

QString lockHolderText(const PortLocks::Holder &holder)
{
    if (holder.pid > 0)
        return PortHolder::heldByText(holder.pid);
    return QStringLiteral("Held by the lock file %1, whose owner cannot be told")
        .arg(holder.lockFile);
}

} // namespace

bool SerialDevice::open(const QString &path, const LineSettings &settings, QString *cause,
                        Waiting waiting)
{
    close();
    struct stat node
    {
    };
    if (::stat(PathName::encodePath(path).constData(), &node) != 0 && errno != EACCES)
        return fail(errno, path, cause);
    // Before the open: opening raises the modem lines, which may reset another program's board.
    if (const std::optional<PortLocks::Holder> holder = PortLocks::liveHolder(path)) {
        *cause = lockHolderText(*holder);
        return false;
    }
    m_fd = ::open(PathName::encodePath(path).constData(),
                  O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return fail(errno, path, cause);
    m_identity = DeviceIdentity::of(path);
    if (!::isatty(m_fd))
        return fail(ENOTTY, path, cause);
    if (!claim(path, cause))
        return false;
    if (const int error = LineTermios::apply(m_fd, settings))
        return fail(error, path, cause);
    if (waiting == Waiting::Discard)
        LineTermios::discardInput(m_fd);
    return true;
}

bool SerialDevice::claim(const QString &path, QString *cause)
{
    // Root is let in past exclusive mode: ask whether another program set it.
    if (LineTermios::isExclusive(m_fd))
        return fail(EBUSY, path, cause);
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0)
        return fail(errno, path, cause);
    if (const std::optional<PortLocks::Holder> holder = m_lock.acquire(path)) {
        close();
        *cause = lockHolderText(*holder);
        return false;
    }
    // A pseudo-terminal keeps exclusive mode after a kill for as long as its other end is open.
    struct stat node
    {
    };
    const bool pseudoTerminal =
        ::fstat(m_fd, &node) == 0 && PortHolder::pseudoTerminalNumber(node.st_rdev) >= 0;
    m_exclusive = !pseudoTerminal && LineTermios::setExclusive(m_fd, true) == 0;
    return true;
}

bool SerialDevice::fail(int error, const QString &path, QString *cause)
{
    close();
    *cause = PortDiagnosis::causeOf(error, path);
    return false;
}

void SerialDevice::close()
{
    if (m_fd >= 0) {
        // The flag outlives our descriptor while others keep the device open.
        if (m_exclusive)
            LineTermios::setExclusive(m_fd, false);
        ::close(m_fd);
    }
    m_fd = -1;
    m_exclusive = false;
    m_lock.release();
}
