#include "logfile/logstore.h"

#include "logfile/journalsync.h"
#include "logfile/logtext.h"
#include "posix/errortext.h"
#include "posix/pathname.h"

#include <QDateTime>
#include <QDir>
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

LoadResult loadFailure(const QString &fileName, const QString &cause)
{
    LoadResult failed;
    failed.status = LoadResult::Status::Failed;
    failed.errorText = QStringLiteral("Could not load %1: %2").arg(fileName, cause);
    return failed;
}

SaveResult saveFailure(const QString &fileName, const QString &cause)
{
    return {false, QStringLiteral("Could not save %1: %2").arg(fileName, cause)};
}

QString kindOfFile(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a regular file");
}

// The save's open step refuses these targets; Qt's own texts do not name the cause.
QString refusedTargetCause(const QString &fileName)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(fileName).constData(), &info) != 0)
        return {};
    if (S_ISDIR(info.st_mode))
        return errorText(EISDIR);
    // Replacing a FIFO or a device with a regular file would break whatever uses it, root or not.
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("it is %1, not a regular file").arg(kindOfFile(info.st_mode));
    // Root passes the access check, yet a file without write bits stays as it is.
    const QFileInfo target(fileName);
    const auto anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (!target.isWritable() || !(target.permissions() & anyWrite))
        return errorText(EACCES);
    return {};
}

// The folder itself, named as the user knows it.
QString folderOf(const QString &fileName)
{
    QString folder = QFileInfo(fileName).path();
    if (folder != QLatin1String("."))
        return folder;
    QString current = QFile::symLinkTarget(QStringLiteral("/proc/self/cwd"));
    current.remove(QLatin1String(" (deleted)"));
    return current.isEmpty() ? QDir::currentPath() : current;
}

// A save into a folder that is gone or closed fails with texts that blame the file.
QString folderProblem(const QString &fileName)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(fileName).path());
    struct stat info = {};
    if (::stat(folder.constData(), &info) != 0 || info.st_nlink == 0)
        return QStringLiteral("its folder %1 was deleted").arg(folderOf(fileName));
    if (::access(folder.constData(), W_OK) != 0)
        return QStringLiteral("its folder %1 cannot be written to (%2)")
            .arg(folderOf(fileName), errorText(errno));
    return {};
}

int syncData(int fd)
{
    // QSaveFile ignores a failed sync; data that never reached the disk must not replace the old
    // file.
    return flushToDisk(fd) ? 0 : errno;
}

// Empty when the text from `from` on reached the file at fdOffset; else the cause.
QString copyText(int fd, const LogText &text, qint64 from, qint64 fdOffset)
{
    int error = 0;
    const qint64 want = text.size() - from;
    const qint64 done = text.copyTo(fd, from, want, fdOffset, &error);
    if (done == want)
        return {};
    if (error != 0)
        return errorText(error);
    return QStringLiteral("the log's own copy could not be read from byte %1 on "
                          "(its file was changed by another program)")
        .arg(from + done);
}

// Empty when every byte of the text reached the file and the disk; else the cause.
QString writeTextAndSync(int fd, const LogText &text)
{
    if (QString cause = copyText(fd, text, 0, 0); !cause.isEmpty())
        return cause;
    const int error = syncData(fd);
    return error ? errorText(error) : QString();
}

// The write gets the new file's descriptor and returns the cause of its failure, or nothing.
SaveResult saveThrough(const QString &fileName, const std::function<QString(int)> &write,
                       const BeforeReplace &beforeReplace)
{
    if (const QString problem = folderProblem(fileName); !problem.isEmpty()) {
        SaveResult failed = saveFailure(fileName, problem);
        failed.folderUnusable = true;
        return failed;
    }
    const QString refused = refusedTargetCause(fileName);
    if (!refused.isEmpty())
        return saveFailure(fileName, refused);

    QSaveFile file(PathName::reachableByQt(fileName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return saveFailure(fileName, file.errorString());
    // Nothing is buffered, so commit() in Qt 6.4 has no final flush that could fail unnoticed.
    if (const QString cause = write(file.handle()); !cause.isEmpty()) {
        file.cancelWriting();
        return saveFailure(fileName, cause);
    }
    if (beforeReplace) {
        if (const std::optional<FileIdentity> written = FileIdentity::ofDescriptor(file.handle()))
            beforeReplace(*written);
    }
    if (!file.commit())
        return saveFailure(fileName, file.errorString());
    // The new name must survive a power cut as well as the new content.
    const int folder = ::open(QFile::encodeName(QFileInfo(fileName).path()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return {};
}

} // namespace

LoadResult load(const QString &fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    FdGuard file(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.fd() < 0) {
        if (errno == ENOENT)
            return LoadResult();
        return loadFailure(fileName, errorText(errno));
    }
    struct stat info = {};
    if (::fstat(file.fd(), &info) != 0)
        return loadFailure(fileName, errorText(errno));
    if (S_ISDIR(info.st_mode))
        return loadFailure(fileName, errorText(EISDIR));
    if (!S_ISREG(info.st_mode))
        return loadFailure(fileName, QStringLiteral("Not a regular file"));
    // A file whose first block cannot be read (a failing disk) is reported now, not when shown.
    char probe[4096];
    if (info.st_size > 0 && ::pread(file.fd(), probe, sizeof probe, 0) < 0)
        return loadFailure(fileName, errorText(errno));
    LoadResult loaded;
    loaded.status = LoadResult::Status::Loaded;
    loaded.identity = FileIdentity::ofDescriptor(file.fd()).value_or(FileIdentity{});
    loaded.file = std::move(file);
    return loaded;
}

std::optional<Reopened> reopen(const QString &fileName, qint64 size)
{
    FdGuard file(
        ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    const std::optional<FileIdentity> found =
        file.fd() >= 0 ? FileIdentity::ofDescriptor(file.fd()) : std::nullopt;
    // Another program wrote to it meanwhile: the log no longer equals the text.
    if (!found || found->size != size)
        return std::nullopt;
    return Reopened{std::move(file), *found};
}

SaveResult save(const QString &fileName, const LogText &text, const BeforeReplace &beforeReplace)
{
    return saveThrough(
        fileName, [&](int fd) { return writeTextAndSync(fd, text); }, beforeReplace);
}

SaveResult appendTo(const QString &fileName, const FileIdentity &expected, const LogText &text,
                    qint64 from, const BeforeAppend &beforeAppend)
{
    SaveResult changed;
    changed.ok = false;
    changed.logChanged = true;
    // A log the whole save refuses (read-only, not a regular file) is reported by it.
    if (!refusedTargetCause(fileName).isEmpty())
        return changed;
    FdGuard file(
        ::open(QFile::encodeName(fileName).constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK));
    const std::optional<FileIdentity> found =
        file.fd() >= 0 ? FileIdentity::ofDescriptor(file.fd()) : std::nullopt;
    struct stat info = {};
    if (!found || !(*found == expected) || ::fstat(file.fd(), &info) != 0 || !S_ISREG(info.st_mode))
        return changed;
    const qint64 newSize = expected.size + text.size() - from;
    if (beforeAppend)
        beforeAppend(expected, newSize);
    int error = 0;
    const qint64 want = text.size() - from;
    if (text.copyTo(file.fd(), from, want, expected.size, &error) != want && error == 0)
        error = EIO;
    if (error == 0 && !flushToDisk(file.fd()))
        error = errno;
    if (error != 0) {
        // The old length is what the log held; what follows it never fully reached the disk.
        if (::ftruncate(file.fd(), off_t(expected.size)) == 0)
            flushToDisk(file.fd());
        return saveFailure(fileName, errorText(error));
    }
    return {};
}

bool cutBack(const QString &fileName, qint64 size)
{
    FdGuard file(
        ::open(QFile::encodeName(fileName).constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK));
    return file.fd() >= 0 && ::ftruncate(file.fd(), off_t(size)) == 0 && flushToDisk(file.fd());
}

QString realName(const QString &fileName)
{
    constexpr int kMaxLinks = 40; // as the kernel allows
    QString name = fileName;
    for (int links = 0; links < kMaxLinks; ++links) {
        const QFileInfo info(name);
        if (!info.isSymLink())
            return name;
        name = info.symLinkTarget();
    }
    return fileName;
}

QStringList rescueFileNames()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + "/.local/state";
    const QString name = QDateTime::currentDateTime().toString("'log-'yyyyMMdd-HHmmss'.txt'");
    QStringList names;
    // The user's state folder, else the temporary folders, which any user can write in.
    const QStringList folders = {state + "/tavrel", QDir::tempPath() + "/tavrel-rescue",
                                 QStringLiteral("/var/tmp/tavrel-rescue")};
    for (const QString &folder : folders) {
        if (QDir().mkpath(folder) && !names.contains(folder + '/' + name))
            names << folder + '/' + name;
    }
    return names;
}

namespace {

// Gives the file a second name, the first free one of fileName + suffix, then with .2, ...; the
// file keeps its own name unless it is moved.
SetAsideResult linkToFreeName(const QString &fileName, const QString &suffix, bool move)
{
    const auto failure = [&](int errorNumber) {
        return SetAsideResult{false, {}, saveFailure(fileName, errorText(errorNumber)).errorText};
    };
    constexpr int kMaxTries = 1000;
    for (int n = 1; n <= kMaxTries; ++n) {
        const QString target =
            fileName + suffix + (n == 1 ? QString() : QStringLiteral(".%1").arg(n));
        // link() never replaces an existing name, unlike rename().
        if (::link(QFile::encodeName(fileName).constData(),
                   QFile::encodeName(target).constData()) == 0) {
            if (move && ::unlink(QFile::encodeName(fileName).constData()) != 0)
                return failure(errno);
            return {true, target, {}};
        }
        // A file system without hard links takes a copy instead.
        if (!move && (errno == EPERM || errno == EXDEV || errno == EOPNOTSUPP || errno == EMLINK)) {
            QFile file(fileName);
            if (file.copy(target))
                return {true, target, {}};
            return {false, {}, saveFailure(fileName, file.errorString()).errorText};
        }
        if (errno != EEXIST)
            return failure(errno);
    }
    return failure(EEXIST);
}

} // namespace

SetAsideResult setAside(const QString &fileName, const QString &suffix)
{
    return linkToFreeName(fileName, suffix, true);
}

SetAsideResult keepCopy(const QString &fileName, const QString &suffix)
{
    return linkToFreeName(fileName, suffix, false);
}

} // namespace LogStore
