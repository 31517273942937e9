#pragma once

#include "capture/commcontrol.h"
#include "posix/pathname.h"

#include <QString>
#include <optional>

// Opens the device as port 9, named through the environment as a user would, with the settings.
inline bool openPort(CommControl &control, const QString &path,
                     const QString &settings = QStringLiteral("9600,N,8,1"))
{
    const std::optional<LineSettings> line = parseSettingsString(settings);
    if (!line)
        return false;
    qputenv("TAVREL_PORT9", PathName::encodePath(path));
    control.setSettings(*line);
    return control.setCommPort(9) && control.setPortOpen(true);
}
