#include "hexrender.h"

#include <limits>

float lineCapacity(float widthTwips)
{
    return widthTwips / 250.0f;
}

void appendHexItems(QByteArray &out, QByteArrayView chunk, qint16 &columnCount, float capacity)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    out.reserve(out.size() + chunk.size() * 3 + (chunk.size() / 8 + 1) * 2);
    for (const char c : chunk) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 16)
            out.append(digits[byte >> 4]);
        out.append(digits[byte & 15]);
        out.append(' ');
        // A view wider than any screen must not run the 16-bit count over.
        if (columnCount == std::numeric_limits<qint16>::max() ||
            capacity < static_cast<float>(++columnCount)) {
            columnCount = 1;
            out.append("\r\n", 2);
        }
    }
}
