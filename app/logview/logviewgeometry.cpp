#include "app/logview/logview.h"

#include "app/logview/logviewlayout.h"
#include "logfile/logtext.h"

#include <QPaintEvent>
#include <QPainter>
#include <cmath>

int LogView::visibleRows() const
{
    const qreal height = viewport()->height() - Margin;
    return std::max(1, int(height / m_layout->lineSpacing()));
}

qint64 LogView::coveredRows() const
{
    if (m_topCover <= Margin)
        return 0;
    return std::min<qint64>(visibleRows() - 1,
                            qint64(std::ceil((m_topCover - Margin) / m_layout->lineSpacing())));
}

LogView::Row LogView::stepRows(Row row, qint64 rows) const
{
    for (; rows > 0 && m_rows->nextRow(row); --rows) {
    }
    for (; rows < 0 && m_rows->previousRow(row); ++rows) {
    }
    return row;
}

qint64 LogView::positionInRow(const Row &row, qreal x) const
{
    const QByteArray text = m_rows->rowText(row);
    qint64 offset = m_layout->hit(text, x - textLeft());
    // The end of a wrapped or cut row is the start of the next one; stay on this row.
    if (offset == text.size() && offset > 0 && !m_rows->breakFollows(row) && !m_rows->isLast(row))
        --offset;
    return row.start + offset;
}

qint64 LogView::moveByRows(qint64 position, qint64 rows)
{
    const Row row = m_rows->rowAt(position);
    if (m_goalX < 0) {
        const QByteArray text = m_rows->rowText(row);
        const qint64 offset = std::clamp<qint64>(position - row.start, 0, text.size());
        m_goalX = textLeft() + m_layout->textWidth(QByteArrayView(text).first(offset));
    }
    return positionInRow(stepRows(row, rows), m_goalX);
}

qint64 LogView::rowOnScreen(const Row &row) const
{
    if (row.start < m_top)
        return -1;
    Row at = m_rows->rowAt(m_top);
    for (qint64 index = 0; index <= visibleRows() && at.start <= row.start; ++index) {
        if (at == row)
            return index;
        if (!m_rows->nextRow(at))
            return -1;
    }
    return -1;
}

qint64 LogView::positionAt(const QPoint &point) const
{
    const qint64 index = qint64(std::floor((point.y() - Margin) / m_layout->lineSpacing()));
    const Row row = stepRows(m_rows->rowAt(m_top), index);
    if (m_characters && point.x() >= charactersLeft() - CharactersGap / 2)
        return positionInCharacters(row, point.x());
    return positionInRow(row, point.x());
}

QRect LogView::characterRect(qint64 position) const
{
    const Row row = m_rows->rowAt(position);
    const qint64 index = rowOnScreen(row);
    if (index < 0)
        return QRect();
    const QByteArray text = m_rows->rowText(row);
    const qint64 offset = std::clamp<qint64>(position - row.start, 0, text.size());
    const qreal x = textLeft() + m_layout->textWidth(QByteArrayView(text).first(offset));
    const qreal width = offset < text.size() ? m_layout->advance(uchar(text[offset])) : 1;
    const qreal y = Margin + index * m_layout->lineSpacing();
    return QRectF(x, y, width, m_layout->lineSpacing()).toAlignedRect();
}

void LogView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    painter.setFont(m_layout->font());
    Row row = m_rows->rowAt(m_top);
    m_top = row.start;
    const Row caretRow = m_rows->rowAt(m_caret);
    std::vector<Row> rows;
    for (qreal y = Margin; y < viewport()->height(); y += m_layout->lineSpacing()) {
        rows.push_back(row);
        if (!m_rows->nextRow(row))
            break;
    }
    // The times of the whole screen in one pass.
    const ChunkSpan chunks = chunksAround(rows.front(), rows.back());
    // A scroll repaints a strip at the top and the new rows at the bottom: only those rows.
    const QRegion &dirty = event->region();
    painter.fillRect(event->rect(), palette().color(QPalette::Base));
    if (m_timeFormat)
        drawTimeColumn(painter, chunks, rows, dirty);
    const std::vector<LogMatch> matches = matchesIn(rows.front(), rows.back());
    qreal y = Margin;
    for (const Row &shown : rows) {
        // Only what needs painting: appended text repaints a few rows at the bottom.
        if (rowIsDirty(dirty, y)) {
            drawMatches(painter, matches, shown, m_rows->rowText(shown), y);
            drawRow(painter, shown, y, caretRow, quietGaps(chunks, shown));
        }
        y += m_layout->lineSpacing();
    }
    if (m_characters)
        drawCharacters(painter, rows, dirty, matches);
}

bool LogView::rowIsDirty(const QRegion &dirty, qreal y) const
{
    return dirty.intersects(
        QRectF(0, y, viewport()->width(), m_layout->lineSpacing()).toAlignedRect());
}

void LogView::drawRow(QPainter &painter, const Row &row, qreal y, const Row &caretRow,
                      const std::vector<qint64> &quietGaps)
{
    const QByteArray text = m_rows->rowText(row);
    const QString display = LogViewLayout::displayText(text);
    const QPointF origin(textLeft(), y + m_layout->ascent());
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(origin, display);
    drawQuietGaps(painter, quietGaps, row, text, y);

    const qint64 selEnd = selStart() + selLength();
    const qint64 selFrom = std::max(selStart(), row.start);
    const qint64 selTo = std::min(selEnd, row.end);
    const bool breakSelected =
        m_rows->breakFollows(row) && selStart() <= row.end && selEnd > row.end;
    if (selFrom < selTo || breakSelected) {
        const qint64 from = std::min(selFrom, row.end) - row.start;
        const qint64 to = std::max(selTo, selFrom) - row.start;
        const qreal left = textLeft() + m_layout->textWidth(QByteArrayView(text).first(from));
        qreal right = textLeft() + m_layout->textWidth(QByteArrayView(text).first(to));
        if (breakSelected)
            right += m_layout->advance(' ');
        const QRectF area(left, y, right - left, m_layout->lineSpacing());
        painter.save();
        painter.setClipRect(area);
        painter.fillRect(area, palette().color(QPalette::Highlight));
        painter.setPen(palette().color(QPalette::HighlightedText));
        painter.drawText(origin, display);
        painter.restore();
    }
    if (hasFocus() && caretRow == row) {
        const qint64 offset = std::clamp<qint64>(m_caret - row.start, 0, text.size());
        const qreal x = textLeft() + m_layout->textWidth(QByteArrayView(text).first(offset));
        painter.fillRect(QRectF(x, y, 1, m_layout->lineSpacing()), palette().color(QPalette::Text));
    }
}
