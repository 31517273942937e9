#pragma once

#include <QtGlobal>

// Whole reads and writes at an offset, past interruptions and short transfers.
namespace FileIo {

// Reads what the file holds there; a file cut short by another program gives fewer bytes.
qint64 readAt(int fd, char *data, qint64 count, qint64 offset);
// Writes as much as the file takes; returns the count written and sets error when it stops.
qint64 writeAt(int fd, const char *data, qint64 count, qint64 offset, int *error);

} // namespace FileIo
