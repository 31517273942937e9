#pragma once

#include <QtGlobal>

// Whole reads and writes at an offset, past interruptions and short transfers.
namespace FileIo {

// Reads what the file holds there; a file cut short by another program gives fewer bytes.
qint64 readAt(int fd, char *data, qint64 count, qint64 offset);
// Writes as much as the file takes; returns the count written and sets error when it stops.
qint64 writeAt(int fd, const char *data, qint64 count, qint64 offset, int *error);
// Copies between two files inside the kernel where it can, through a buffer where it cannot;
// returns the count copied and sets error when it stops early (0: the source ended).
qint64 copyAt(int fromFd, qint64 fromOffset, int toFd, qint64 toOffset, qint64 count, int *error);

} // namespace FileIo
