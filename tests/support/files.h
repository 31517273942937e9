#pragma once

// The system's text for an errno value, as the program shows it.
#include "posix/errortext.h"

#include <QByteArray>
#include <QString>

// The whole file, or ifMissing when it cannot be read.
QByteArray fileBytes(const QString &path, const QByteArray &ifMissing = {});
bool writeFileBytes(const QString &path, const QByteArray &bytes);
