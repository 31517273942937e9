#pragma once

#include <QByteArray>
#include <QString>

// File names on Linux are bytes, and Qt's conversions (QFile::encodeName, fromLocal8Bit) turn
// bytes that are not UTF-8 into U+FFFD for good. These keep each such byte in the QString as
// one lone surrogate, U+DC80 plus the byte, so that the name comes back as the bytes it was.
// Qt's own file classes cannot take such names: open them through the bytes of encodePath.
namespace PathName {

QString decodePath(const QByteArray &bytes);
QByteArray encodePath(const QString &path);

// The path with links and dots resolved (realpath), or empty when it names nothing.
QString canonicalPath(const QString &path);
// What a symbolic link holds, or empty when the path is no link.
QString linkTarget(const QString &path);

// A name that Qt's file classes reach: a relative name is resolved by Qt against a current
// folder that it reads as text, so one whose name is not UTF-8 is reached through /proc.
QString reachableByQt(const QString &fileName);

} // namespace PathName
