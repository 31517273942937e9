#include "capture/portlist.h"
#include "capture/portdiagnosis.h"
#include "capture/serialdevice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <unistd.h>

QString stableNameOf(const QString &devicePath)
{
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &link : byId.entryInfoList(QDir::System | QDir::Files, QDir::Name))
        if (sameDevice(link.filePath(), devicePath))
            return link.filePath();
    return {};
}

bool sameDevice(const QString &first, const QString &second)
{
    const DeviceIdentity one = DeviceIdentity::of(first);
    return one.exists() && one == DeviceIdentity::of(second);
}

QList<PresentPort> presentPorts()
{
    QList<PresentPort> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        PresentPort port;
        port.path = info.systemLocation();
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serialNumber = info.serialNumber();
        port.stableName = stableNameOf(port.path);
        port.mayOpen = ::access(QFile::encodeName(port.path).constData(), R_OK) == 0;
        if (!port.mayOpen)
            port.groupToJoin = PortDiagnosis::groupToJoin(port.path);
        ports.append(port);
    }
    std::sort(ports.begin(), ports.end(),
              [](const PresentPort &a, const PresentPort &b) { return a.path < b.path; });
    return ports;
}
