#pragma once

#include <QByteArray>
#include <QString>
#include <sys/types.h>

// What /proc tells about other processes.

// The process holding a flock() on the file (its st_dev and st_ino), as the kernel's table of
// locks lists it; 0 when nobody holds one, or when /proc cannot be read.
qint64 flockHolder(dev_t device, ino_t inode);

// The same, read from a given text in the format of /proc/locks.
qint64 flockHolderIn(const QByteArray &locks, dev_t device, ino_t inode);

// The process's command name (at most 15 characters), or empty when /proc does not say.
QString programName(qint64 pid);
