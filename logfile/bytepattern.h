#pragma once

#include <QByteArray>
#include <QString>

// The bytes a user asks to find, read from what was typed; errorText says what is wrong with it.
struct BytePattern
{
    QByteArray bytes;
    QString errorText;

    bool isValid() const { return errorText.isEmpty(); }

    // Hex digits in pairs ("deadbeef"), or groups between blanks where a lone digit is a byte
    // ("DE AD B E"), as the log writes items without leading zeros.
    static BytePattern fromHex(const QString &typed);
    // Latin-1 text with the escapes \r, \n, \t, \\ and \xNN.
    static BytePattern fromText(const QString &typed);
};
