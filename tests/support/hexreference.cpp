#include "support/hexreference.h"

void appendHex(QByteArray &out, QByteArrayView bytes, int perLine, int &column)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        if (uchar(c) > 15)
            out += digits[uchar(c) / 16];
        out += digits[uchar(c) % 16];
        out += ' ';
        if (++column > perLine) {
            column = 1;
            out += "\r\n";
        }
    }
}

QByteArray hexOf(QByteArrayView bytes, int perLine, int column)
{
    QByteArray out;
    appendHex(out, bytes, perLine, column);
    return out;
}
