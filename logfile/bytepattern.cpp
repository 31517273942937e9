#include "logfile/bytepattern.h"

#include <QStringList>

namespace {

int hexValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

BytePattern failed(const QString &why)
{
    return BytePattern{{}, why};
}

// Appends the group's bytes, or says why it is not hex.
QString appendHexGroup(const QString &group, QByteArray &bytes)
{
    for (const QChar c : group) {
        if (hexValue(c) < 0)
            return QStringLiteral("\"%1\" is not a hex digit").arg(c);
    }
    if (group.size() == 1) {
        bytes.append(char(hexValue(group[0])));
        return {};
    }
    if (group.size() % 2 != 0)
        return QStringLiteral("\"%1\" has an odd number of hex digits").arg(group);
    for (qsizetype i = 0; i < group.size(); i += 2)
        bytes.append(char(hexValue(group[i]) * 16 + hexValue(group[i + 1])));
    return {};
}

} // namespace

BytePattern BytePattern::fromHex(const QString &typed)
{
    const QStringList groups = typed.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (groups.isEmpty())
        return failed(QStringLiteral("Type the bytes to find"));
    BytePattern pattern;
    for (const QString &group : groups) {
        const QString why = appendHexGroup(group, pattern.bytes);
        if (!why.isEmpty())
            return failed(why);
    }
    return pattern;
}

BytePattern BytePattern::fromText(const QString &typed)
{
    BytePattern pattern;
    for (qsizetype i = 0; i < typed.size(); ++i) {
        const QChar c = typed[i];
        if (c.unicode() > 0xFF)
            return failed(QStringLiteral("\"%1\" is not a byte: use \\xNN").arg(c));
        if (c != QLatin1Char('\\')) {
            pattern.bytes.append(char(c.unicode()));
            continue;
        }
        const QChar next = i + 1 < typed.size() ? typed[i + 1] : QChar();
        i += 1;
        if (next == QLatin1Char('r'))
            pattern.bytes.append('\r');
        else if (next == QLatin1Char('n'))
            pattern.bytes.append('\n');
        else if (next == QLatin1Char('t'))
            pattern.bytes.append('\t');
        else if (next == QLatin1Char('\\'))
            pattern.bytes.append('\\');
        else if (next == QLatin1Char('x') && i + 2 < typed.size() && hexValue(typed[i + 1]) >= 0 &&
                 hexValue(typed[i + 2]) >= 0) {
            pattern.bytes.append(char(hexValue(typed[i + 1]) * 16 + hexValue(typed[i + 2])));
            i += 2;
        } else {
            return failed(
                QStringLiteral("Unknown escape \\%1: use \\r, \\n, \\t, \\\\ or \\xNN").arg(next));
        }
    }
    if (pattern.bytes.isEmpty())
        return failed(QStringLiteral("Type the bytes to find"));
    return pattern;
}
