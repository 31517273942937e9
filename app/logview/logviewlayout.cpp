#include "app/logview/logviewlayout.h"

#include <QFontMetricsF>
#include <cmath>

namespace {
bool isControl(uchar c)
{
    return c < 0x20 || (c >= 0x7f && c < 0xa0);
}
} // namespace

LogViewLayout::LogViewLayout(const QFont &font)
{
    setFont(font);
}

void LogViewLayout::setFont(const QFont &font)
{
    m_font = font;
    // Without kerning a row is exactly as wide as the sum of its advances.
    m_font.setKerning(false);
    const QFontMetricsF metrics(m_font);
    // Whole pixels: appended text scrolls what was drawn by whole rows.
    m_lineSpacing = std::ceil(metrics.lineSpacing());
    m_ascent = metrics.ascent();
    for (int c = 0; c < 256; ++c)
        m_advance[c] = metrics.horizontalAdvance(isControl(uchar(c)) ? QChar(' ') : QChar(c));
}

bool LogViewLayout::setWidth(qreal width)
{
    if (width == m_width)
        return false;
    m_width = width;
    return true;
}

std::vector<quint32> LogViewLayout::wrap(QByteArrayView line) const
{
    std::vector<quint32> rows{0};
    if (m_width <= 0)
        return rows;
    const char *text = line.data();
    const qsizetype size = line.size();
    qsizetype rowStart = 0;
    qsizetype lastBlank = -1;
    qreal x = 0;
    int words = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const qreal w = m_advance[uchar(text[i])];
        if (isBlank(text[i])) {
            lastBlank = i;
            x += w;
            continue;
        }
        const bool wordStarts = i == rowStart || isBlank(text[i - 1]);
        const bool full = wordStarts && m_maxWords > 0 && words >= m_maxWords;
        if ((x + w > m_width || full) && i > rowStart) {
            rowStart = lastBlank >= rowStart ? lastBlank + 1 : i;
            rows.push_back(quint32(rowStart));
            lastBlank = -1;
            x = textWidth(QByteArrayView(text + rowStart, i - rowStart));
            // A word cut by the width goes on in the new row.
            words = rowStart < i ? 1 : 0;
        }
        if (wordStarts)
            ++words;
        x += w;
    }
    return rows;
}

bool LogViewLayout::setMaxWords(int words)
{
    if (words == m_maxWords)
        return false;
    m_maxWords = words;
    return true;
}

qreal LogViewLayout::textWidth(QByteArrayView text) const
{
    qreal x = 0;
    for (char c : text)
        x += m_advance[uchar(c)];
    return x;
}

qsizetype LogViewLayout::hit(QByteArrayView text, qreal x) const
{
    qreal left = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qreal w = m_advance[uchar(text[i])];
        if (x < left + w / 2)
            return i;
        left += w;
    }
    return text.size();
}

QString LogViewLayout::displayText(QByteArrayView text)
{
    QString display = QString::fromLatin1(text);
    for (QChar &c : display) {
        if (isControl(uchar(c.unicode())))
            c = QLatin1Char(' ');
    }
    return display;
}
