#pragma once

#include <QString>

// What to tell the user when a device cannot be opened: the cause and what to do about it.
namespace PortDiagnosis {

// "No such device; present: /dev/ttyUSB0, /dev/ttyS0" (or "none").
QString noSuchDevice();

// The group to join when the device's group may read it, else empty.
QString groupToJoin(const QString &devicePath);

// "Permission denied: add yourself to the group dialout and log in again", or who to ask.
QString permissionDenied(const QString &devicePath);

// The cause for an errno of open() or of the set-up of the device.
QString causeOf(int error, const QString &devicePath);

} // namespace PortDiagnosis
