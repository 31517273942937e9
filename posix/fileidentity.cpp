#include "posix/fileidentity.h"
#include "posix/pathname.h"

#include <sys/stat.h>

namespace {

FileIdentity fromStat(const struct stat &info)
{
    return {qint64(info.st_dev), qint64(info.st_ino), qint64(info.st_size),
            qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec, qint64(info.st_rdev)};
}

} // namespace

std::optional<FileIdentity> FileIdentity::ofPath(const QString &path)
{
    struct stat info = {};
    if (::stat(PathName::encodePath(path).constData(), &info) != 0)
        return std::nullopt;
    return fromStat(info);
}

std::optional<FileIdentity> FileIdentity::ofDescriptor(int fd)
{
    struct stat info = {};
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    return fromStat(info);
}
