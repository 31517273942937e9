#pragma once

#include "logfile/disklogtext.h"

#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <unistd.h>

// The file as the program shows a loaded log: read where it lies, what is added kept in folder.
inline std::unique_ptr<DiskLogText> openDiskText(const QString &path, const QString &folder)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    auto text = DiskLogText::create(folder, fd, QFileInfo(path).size());
    ::close(fd);
    return text;
}
