#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The log's hex, rendered apart from the program's own code: upper-case items without a leading
// zero, a blank after each, CR LF after perLine items; column is where the next item stands.
void appendHex(QByteArray &out, QByteArrayView bytes, int perLine, int &column);
QByteArray hexOf(QByteArrayView bytes, int perLine = 28, int column = 1);
