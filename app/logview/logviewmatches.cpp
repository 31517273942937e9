// Every match of the find bar's pattern in the shown rows, found anew for them at each paint.
#include "app/logview/logview.h"

#include "app/logview/logviewlayout.h"
#include "logfile/logtext.h"

#include <QPainter>

void LogView::setMatchHighlight(const QByteArray &pattern)
{
    if (pattern == m_matchPattern)
        return;
    m_matchPattern = pattern;
    viewport()->update();
}

std::vector<LogMatch> LogView::matchesShown() const
{
    const Row first = m_rows->rowAt(m_top);
    return matchesIn(first, stepRows(first, visibleRows()));
}

std::vector<LogMatch> LogView::matchesIn(const Row &first, const Row &last) const
{
    std::vector<LogMatch> shown;
    if (m_matchPattern.isEmpty())
        return shown;
    // Room for the pattern's items on either side: an item, its blank and a line break each.
    const qint64 reach = qint64(m_matchPattern.size()) * 6;
    // From the start of a line, so that a notice's words are known as such.
    qint64 from = 0;
    qint64 next = 0;
    m_rows->segmentBounds(std::max<qint64>(0, first.start - reach), &from, &next);
    const qint64 to = std::min(length(), last.next + reach);
    const QByteArray bytes = m_rows->fetch(from, to - from);
    HexItemMatcher matcher(m_matchPattern);
    std::vector<LogMatch> found;
    matcher.feed(bytes.constData(), bytes.size(), from, found);
    for (const LogMatch &match : found) {
        if (match.offset + match.length > first.start && match.offset < last.next)
            shown.push_back(match);
    }
    return shown;
}

void LogView::drawMatches(QPainter &painter, const std::vector<LogMatch> &matches, const Row &row,
                          const QByteArray &text, qreal y) const
{
    // Light: a third of the selection's colour over the background.
    QColor light = palette().color(QPalette::Highlight);
    light.setAlphaF(0.3);
    const QByteArrayView shown(text);
    for (const LogMatch &match : matches) {
        const qint64 from = std::max(match.offset, row.start) - row.start;
        const qint64 to = std::min(match.offset + match.length, row.end) - row.start;
        if (from >= to)
            continue;
        const qreal left = textLeft() + m_layout->textWidth(shown.first(from));
        const qreal right = textLeft() + m_layout->textWidth(shown.first(to));
        painter.fillRect(QRectF(left, y, right - left, m_layout->lineSpacing()), light);
    }
}
