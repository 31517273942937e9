#pragma once

#include <QByteArray>
#include <QByteArrayView>

// How many hex items fit on one line of a log view that is this many twips wide.
float lineCapacity(float widthTwips);

// Appends each byte of the chunk as its upper-case hex code and a blank, and CR LF after
// the item that makes the column count pass the line capacity.
void appendHexItems(QByteArray &out, QByteArrayView chunk, qint16 &columnCount, float capacity);
