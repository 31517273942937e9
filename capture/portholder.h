#pragma once

#include <QString>
#include <sys/types.h>

// Who has a device: from the kernel's table of file locks and from the open descriptors that
// /proc lets this user see.
namespace PortHolder {

// The program's name, or "another program" when /proc does not say.
QString programName(qint64 pid);

// "Held by <program> (pid N)", or an empty text when nobody we can see holds it.
QString heldBy(const QString &devicePath);

// Why a device in exclusive mode refuses to open: who holds it, as heldBy says; for a
// pseudo-terminal that nobody but the program at its other end has open, that the mode was left
// behind. Empty when nobody we can see holds a device of another kind.
QString exclusiveModeHolder(const QString &devicePath);

QString heldByText(qint64 pid);

// N of /dev/pts/N for the device side of a pseudo-terminal, else -1.
int pseudoTerminalNumber(dev_t device);

} // namespace PortHolder
