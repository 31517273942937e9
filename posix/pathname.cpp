#include "posix/pathname.h"

#include <QDir>
#include <QFile>
#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace PathName {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// The length of the UTF-8 sequence at bytes[at], or 0 when it is not one.
int sequenceLength(const QByteArray &bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return uchar(bytes[i]); };
    const uchar lead = byte(at);
    int length = 0;
    char32_t lowest = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    char32_t code = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    // Overlong forms, surrogates and code points past Unicode are not UTF-8.
    if (code < lowest || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return 0;
    return length;
}

} // namespace

QString decodePath(const QByteArray &bytes)
{
    QString path;
    path.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        const int length = sequenceLength(bytes, at);
        if (length == 0) {
            path.append(QChar(char16_t(kEscapeBase + uchar(bytes[at]))));
            ++at;
            continue;
        }
        path.append(QString::fromUtf8(bytes.constData() + at, length));
        at += length;
    }
    return path;
}

QByteArray encodePath(const QString &path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype runStart = 0;
    for (qsizetype at = 0; at < path.size(); ++at) {
        const char16_t unit = path.at(at).unicode();
        const bool pairEnd = at > 0 && path.at(at - 1).isHighSurrogate();
        if (unit < kEscapeBase + 0x80 || unit > kEscapeBase + 0xFF || pairEnd)
            continue;
        bytes += QStringView(path).mid(runStart, at - runStart).toUtf8();
        bytes += char(unit - kEscapeBase);
        runStart = at + 1;
    }
    bytes += QStringView(path).mid(runStart).toUtf8();
    return bytes;
}

QString canonicalPath(const QString &path)
{
    char resolved[PATH_MAX];
    return ::realpath(encodePath(path).constData(), resolved) ? decodePath(resolved) : QString();
}

QString linkTarget(const QString &path)
{
    char target[PATH_MAX];
    const ssize_t length = ::readlink(encodePath(path).constData(), target, sizeof target);
    return length > 0 ? decodePath(QByteArray(target, length)) : QString();
}

QString reachableByQt(const QString &fileName)
{
    if (QDir::isAbsolutePath(fileName))
        return fileName;
    char current[PATH_MAX];
    if (!::getcwd(current, sizeof current) ||
        QFile::encodeName(QDir::currentPath()) == QByteArray(current))
        return fileName;
    return QStringLiteral("/proc/self/cwd/") + fileName;
}

} // namespace PathName
