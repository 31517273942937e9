#include "logstore.h"

#include "logtext.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace LogStore {

namespace {

QString causeText(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

LoadResult loadFailure(const QString &fileName, const QString &cause)
{
    return {LoadResult::Status::Failed,
            {},
            QStringLiteral("Could not load %1: %2").arg(fileName, cause)};
}

SaveResult saveFailure(const QString &fileName, const QString &cause)
{
    return {false, QStringLiteral("Could not save %1: %2").arg(fileName, cause)};
}

// Closes the descriptor on every path out of load().
class FdGuard
{
public:
    explicit FdGuard(int fd) : m_fd(fd) {}
    ~FdGuard()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FdGuard(const FdGuard &) = delete;
    FdGuard &operator=(const FdGuard &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
};

// Reads until size bytes have arrived; a file that shrank meanwhile ends the read early.
qint64 readFully(int fd, char *data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, data + done, size_t(size - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

// The save's open step refuses these targets; Qt's own texts do not name the cause.
QString refusedTargetCause(const QString &fileName)
{
    const QFileInfo target(fileName);
    if (target.isDir())
        return causeText(EISDIR);
    if (!target.exists())
        return {};
    // Root passes the access check (and so gets WriteUser), yet a file without write bits stays as
    // is.
    const auto anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (!target.isWritable() || !(target.permissions() & anyWrite))
        return causeText(EACCES);
    return {};
}

// Qt reports a short write as "Unknown error"; writing through the descriptor keeps errno.
int writeAll(int fd, QByteArrayView piece)
{
    qsizetype done = 0;
    while (done < piece.size()) {
        const ssize_t put = ::write(fd, piece.data() + done, size_t(piece.size() - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return errno;
        done += put;
    }
    return 0;
}

int syncData(int fd)
{
    // QSaveFile ignores a failed sync; data that never reached the disk must not replace the old
    // file.
    if (::fsync(fd) != 0 && errno != EINVAL)
        return errno;
    return 0;
}

int writeAndSync(int fd, const QList<QByteArrayView> &pieces)
{
    for (const QByteArrayView piece : pieces) {
        if (const int error = writeAll(fd, piece))
            return error;
    }
    return syncData(fd);
}

// Empty when every byte of the text reached the file and the disk; else the cause.
QString writeTextAndSync(int fd, const LogText &text)
{
    constexpr qint64 kPieceBytes = 1024 * 1024;
    QByteArray piece(qsizetype(std::min(kPieceBytes, text.size())), Qt::Uninitialized);
    for (qint64 at = 0; at < text.size(); at += kPieceBytes) {
        const qint64 want = std::min(kPieceBytes, text.size() - at);
        const qint64 got = text.read(at, piece.data(), want);
        if (got != want) {
            return QStringLiteral("the log's own copy could not be read from byte %1 on "
                                  "(its file was changed by another program)")
                .arg(at + std::max<qint64>(0, got));
        }
        if (const int error = writeAll(fd, QByteArrayView(piece.constData(), want)))
            return causeText(error);
    }
    const int error = syncData(fd);
    return error ? causeText(error) : QString();
}

// The write gets the new file's descriptor and returns the cause of its failure, or nothing.
SaveResult saveThrough(const QString &fileName, const std::function<QString(int)> &write)
{
    const QString refused = refusedTargetCause(fileName);
    if (!refused.isEmpty())
        return saveFailure(fileName, refused);

    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return saveFailure(fileName, file.errorString());
    // Nothing is buffered, so commit() in Qt 6.4 has no final flush that could fail unnoticed.
    if (const QString cause = write(file.handle()); !cause.isEmpty()) {
        file.cancelWriting();
        return saveFailure(fileName, cause);
    }
    if (!file.commit())
        return saveFailure(fileName, file.errorString());
    return {};
}

} // namespace

LoadResult load(const QString &fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    FdGuard file(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.fd() < 0) {
        if (errno == ENOENT)
            return {};
        return loadFailure(fileName, causeText(errno));
    }
    struct stat info = {};
    if (::fstat(file.fd(), &info) != 0)
        return loadFailure(fileName, causeText(errno));
    if (S_ISDIR(info.st_mode))
        return loadFailure(fileName, causeText(EISDIR));
    if (!S_ISREG(info.st_mode))
        return loadFailure(fileName, QStringLiteral("Not a regular file"));
    if (info.st_size > kMaxLogBytes) {
        return loadFailure(fileName, QStringLiteral("%1 (%2 bytes, at most %3 can be loaded)")
                                         .arg(causeText(EFBIG))
                                         .arg(qint64(info.st_size))
                                         .arg(kMaxLogBytes));
    }

    QByteArray bytes(qsizetype(info.st_size), Qt::Uninitialized);
    const qint64 got = readFully(file.fd(), bytes.data(), bytes.size());
    if (got < 0)
        return loadFailure(fileName, causeText(errno));
    bytes.truncate(qsizetype(got));
    return {LoadResult::Status::Loaded, bytes, {}};
}

SaveResult save(const QString &fileName, const QList<QByteArrayView> &pieces)
{
    return saveThrough(fileName, [&](int fd) {
        const int error = writeAndSync(fd, pieces);
        return error ? causeText(error) : QString();
    });
}

SaveResult save(const QString &fileName, QByteArrayView bytes)
{
    return save(fileName, QList<QByteArrayView>{bytes});
}

SaveResult save(const QString &fileName, const LogText &text)
{
    return saveThrough(fileName, [&](int fd) { return writeTextAndSync(fd, text); });
}

SetAsideResult setAside(const QString &fileName)
{
    const auto failure = [&](int errorNumber) {
        return SetAsideResult{false, {}, saveFailure(fileName, causeText(errorNumber)).errorText};
    };
    constexpr int kMaxTries = 1000;
    for (int n = 1; n <= kMaxTries; ++n) {
        const QString target =
            fileName + QStringLiteral(".bak") + (n == 1 ? QString() : QStringLiteral(".%1").arg(n));
        // link() never replaces an existing name, unlike rename().
        if (::link(QFile::encodeName(fileName).constData(),
                   QFile::encodeName(target).constData()) == 0) {
            if (::unlink(QFile::encodeName(fileName).constData()) != 0)
                return failure(errno);
            return {true, target, {}};
        }
        if (errno != EEXIST)
            return failure(errno);
    }
    return failure(EEXIST);
}

} // namespace LogStore
