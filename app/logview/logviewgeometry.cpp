#include "logview.h"

#include "logviewdocument.h"
#include "logviewlayout.h"

#include <QPainter>

int LogView::visibleRows() const
{
    const qreal height = viewport()->height() - Margin;
    return std::max(1, int(height / m_layout->lineSpacing()));
}

qsizetype LogView::rowCount(qsizetype line) const
{
    return qsizetype(m_layout->rows(*m_document, line)->size());
}

bool LogView::nextRow(RowRef &row) const
{
    if (row.row + 1 < rowCount(row.line)) {
        ++row.row;
        return true;
    }
    if (row.line + 1 >= m_document->lineCount())
        return false;
    row = RowRef{row.line + 1, 0};
    return true;
}

bool LogView::previousRow(RowRef &row) const
{
    if (row.row > 0) {
        --row.row;
        return true;
    }
    if (row.line == 0)
        return false;
    row.line -= 1;
    row.row = rowCount(row.line) - 1;
    return true;
}

LogView::RowRef LogView::rowOf(qsizetype position) const
{
    const qsizetype line = m_document->lineOf(position);
    const auto rows = m_layout->rows(*m_document, line);
    const qsizetype offset = position - m_document->lineStart(line);
    const auto it = std::upper_bound(rows->begin(), rows->end(), quint32(offset));
    return RowRef{line, qsizetype(it - rows->begin()) - 1};
}

void LogView::rowRange(RowRef row, qsizetype *start, qsizetype *end) const
{
    const auto rows = m_layout->rows(*m_document, row.line);
    const qsizetype lineStart = m_document->lineStart(row.line);
    *start = lineStart + (*rows)[row.row];
    *end = row.row + 1 < qsizetype(rows->size()) ? lineStart + (*rows)[row.row + 1]
                                                 : m_document->lineEnd(row.line);
}

QByteArray LogView::rowText(RowRef row, qsizetype *start) const
{
    qsizetype end = 0;
    rowRange(row, start, &end);
    return m_document->mid(*start, end - *start);
}

qsizetype LogView::positionInRow(RowRef row, qreal x) const
{
    qsizetype start = 0;
    const QByteArray text = rowText(row, &start);
    qsizetype offset = m_layout->hit(text, x - Margin);
    // The end of a wrapped row is the start of the next one; stay on this row.
    if (offset == text.size() && offset > 0 && row.row + 1 < rowCount(row.line))
        --offset;
    return start + offset;
}

qsizetype LogView::moveByRows(qsizetype position, qsizetype rows)
{
    RowRef row = rowOf(position);
    if (m_goalX < 0) {
        qsizetype start = 0;
        const QByteArray text = rowText(row, &start);
        const qsizetype offset = std::min(position - start, text.size());
        m_goalX = Margin + m_layout->textWidth(QByteArrayView(text).first(offset));
    }
    for (; rows > 0 && nextRow(row); --rows) {
    }
    for (; rows < 0 && previousRow(row); ++rows) {
    }
    return positionInRow(row, m_goalX);
}

qsizetype LogView::rowOnScreen(RowRef row) const
{
    if (row < m_top)
        return -1;
    RowRef at = m_top;
    for (qsizetype index = 0; index <= visibleRows(); ++index) {
        if (at == row)
            return index;
        if (!nextRow(at))
            return -1;
    }
    return -1;
}

qsizetype LogView::positionAt(const QPoint &point) const
{
    qsizetype index = qsizetype(std::floor((point.y() - Margin) / m_layout->lineSpacing()));
    RowRef row = m_top;
    for (; index > 0 && nextRow(row); --index) {
    }
    for (; index < 0 && previousRow(row); ++index) {
    }
    return positionInRow(row, point.x());
}

QRect LogView::characterRect(qsizetype position) const
{
    const RowRef row = rowOf(position);
    const qsizetype index = rowOnScreen(row);
    if (index < 0)
        return QRect();
    qsizetype start = 0;
    const QByteArray text = rowText(row, &start);
    const qsizetype offset = std::min(position - start, text.size());
    const qreal x = Margin + m_layout->textWidth(QByteArrayView(text).first(offset));
    const qreal width = offset < text.size() ? m_layout->advance(uchar(text[offset])) : 1;
    const qreal y = Margin + index * m_layout->lineSpacing();
    return QRectF(x, y, width, m_layout->lineSpacing()).toAlignedRect();
}

void LogView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    painter.setFont(m_layout->font());
    if (m_top.line >= m_document->lineCount())
        m_top = RowRef{m_document->lineCount() - 1, 0};
    m_top.row = std::min(m_top.row, rowCount(m_top.line) - 1);
    RowRef row = m_top;
    for (qreal y = Margin; y < viewport()->height(); y += m_layout->lineSpacing()) {
        drawRow(painter, row, y);
        if (!nextRow(row))
            break;
    }
}

void LogView::drawRow(QPainter &painter, RowRef row, qreal y)
{
    qsizetype start = 0;
    const QByteArray text = rowText(row, &start);
    const qsizetype end = start + text.size();
    const QString display = LogViewLayout::displayText(text);
    const QPointF origin(Margin, y + m_layout->ascent());
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(origin, display);

    const qsizetype selFrom = std::max(selStart(), start);
    const qsizetype selTo = std::min(selStart() + selLength(), end);
    const bool lastRow = row.row + 1 == rowCount(row.line);
    const bool breakSelected = lastRow && row.line + 1 < m_document->lineCount() &&
                               selStart() <= end && selStart() + selLength() > end;
    if (selFrom < selTo || breakSelected) {
        const qsizetype from = std::min(selFrom, end) - start;
        const qreal left = Margin + m_layout->textWidth(QByteArrayView(text).first(from));
        qreal right = Margin + m_layout->textWidth(
                                   QByteArrayView(text).first(std::max(selTo, selFrom) - start));
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
    if (hasFocus() && rowOf(m_caret) == row) {
        const qsizetype offset = std::min(m_caret - start, text.size());
        const qreal x = Margin + m_layout->textWidth(QByteArrayView(text).first(offset));
        painter.fillRect(QRectF(x, y, 1, m_layout->lineSpacing()), palette().color(QPalette::Text));
    }
}
