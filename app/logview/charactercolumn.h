#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <vector>

// The characters column: a row's received bytes as characters, beside the hex.
namespace CharacterColumn {

// One hex item of a row: its digits' place in the row's text, and the byte it stands for.
struct Item
{
    qsizetype start = 0;
    qsizetype end = 0;
    uchar byte = 0;
};

// The row's items; none when a word in it is no item, as in a notice.
std::vector<Item> itemsOf(QByteArrayView row);
// Printable ASCII as it is, every other byte as a dot.
char shown(uchar byte);
QByteArray shown(QByteArrayView bytes);
// How many items a row holds when hex items of itemWidth and their characters of cellWidth
// share the room; at least one.
int itemsPerRow(double room, double itemWidth, double cellWidth);

} // namespace CharacterColumn
