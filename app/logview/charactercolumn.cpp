#include "app/logview/charactercolumn.h"

#include "logfile/hexitems.h"

#include <cmath>

namespace CharacterColumn {

namespace {

int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    return (c | 0x20) - 'a' + 10;
}

} // namespace

std::vector<Item> itemsOf(QByteArrayView row)
{
    std::vector<Item> items;
    qsizetype i = 0;
    while (i < row.size()) {
        if (HexItems::isSeparator(row[i])) {
            ++i;
            continue;
        }
        const qsizetype start = i;
        while (i < row.size() && !HexItems::isSeparator(row[i]))
            ++i;
        const QByteArrayView word = row.sliced(start, i - start);
        if (word.size() > 2 || !HexItems::isDigit(word[0]) ||
            (word.size() == 2 && !HexItems::isDigit(word[1])))
            return {};
        int value = digitValue(word[0]);
        if (word.size() == 2)
            value = value * 16 + digitValue(word[1]);
        items.push_back(Item{start, i, uchar(value)});
    }
    return items;
}

char shown(uchar byte)
{
    return byte >= 0x20 && byte < 0x7f ? char(byte) : '.';
}

QByteArray shown(QByteArrayView bytes)
{
    QByteArray characters(bytes.size(), '.');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        characters[i] = shown(uchar(bytes[i]));
    return characters;
}

int itemsPerRow(double room, double itemWidth, double cellWidth)
{
    return std::max(1, int(std::floor(room / (itemWidth + cellWidth))));
}

} // namespace CharacterColumn
