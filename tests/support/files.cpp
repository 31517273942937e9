#include "support/files.h"
#include "posix/pathname.h"

#include <QFile>
#include <fcntl.h>

// Through the name's bytes: tests name files with bytes that are not UTF-8 too.
QByteArray fileBytes(const QString &path, const QByteArray &ifMissing)
{
    const int fd = ::open(PathName::encodePath(path).constData(), O_RDONLY | O_CLOEXEC);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return ifMissing;
    return file.readAll();
}

bool writeFileBytes(const QString &path, const QByteArray &bytes)
{
    const int fd = ::open(PathName::encodePath(path).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    QFile file;
    return fd >= 0 && file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle) &&
           file.write(bytes) == bytes.size();
}
