#pragma once

#include <QList>
#include <QString>

// A serial device present on this system, as the command line lists it.
struct PresentPort
{
    QString path;        // /dev/ttyUSB0
    QString description; // the adapter's own name, where known
    QString manufacturer;
    QString serialNumber;
    QString stableName;   // /dev/serial/by-id/..., where udev made one
    bool mayOpen = false; // this user may open it
    QString groupToJoin;  // when not: the device's group, if joining it would help
};

QList<PresentPort> presentPorts();

// The /dev/serial/by-id name that leads to the device, or empty.
QString stableNameOf(const QString &devicePath);

// Whether two paths lead to the same device node.
bool sameDevice(const QString &first, const QString &second);
