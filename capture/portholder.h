#pragma once

#include <QString>

// Who has a device: from the kernel's table of file locks and from the open descriptors that
// /proc lets this user see.
namespace PortHolder {

// The program's name, or "another program" when /proc does not say.
QString programName(qint64 pid);

// "Held by <program> (pid N)", or an empty text when nobody we can see holds it.
QString heldBy(const QString &devicePath);

QString heldByText(qint64 pid);

} // namespace PortHolder
