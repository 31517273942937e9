#include "capture/hexrender.h"

#include <limits>

float lineCapacity(float widthTwips)
{
    return widthTwips / 250.0f;
}

void appendHexItems(QByteArray &out, QByteArrayView chunk, qint16 &columnCount, float capacity)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    // Written through a pointer into room made once: appending a character at a time costs
    // more than the rendering itself.
    const qsizetype start = out.size();
    out.resize(start + chunk.size() * 5);
    char *next = out.data() + start;
    for (const char c : chunk) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 16)
            *next++ = digits[byte >> 4];
        *next++ = digits[byte & 15];
        *next++ = ' ';
        // A view wider than any screen must not run the 16-bit count over.
        if (columnCount == std::numeric_limits<qint16>::max() ||
            capacity < static_cast<float>(++columnCount)) {
            columnCount = 1;
            *next++ = '\r';
            *next++ = '\n';
        }
    }
    out.truncate(next - out.constData());
}
