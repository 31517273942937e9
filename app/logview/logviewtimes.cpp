// The time column and the quiet-gap rules: drawn beside the text, never part of it.
#include "app/logview/logview.h"

#include "app/logview/logviewlayout.h"
#include "logfile/hexitems.h"
#include "logfile/logtext.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <cmath>

void LogView::setArrivalTimes(const ArrivalTimes *times)
{
    m_times = times;
    viewport()->update();
}

void LogView::setTimeColumn(std::optional<TimeFormat> format)
{
    m_timeFormat = format;
    updateGutter();
}

void LogView::setQuietGapMarks(std::optional<int> thresholdMs)
{
    m_gapThresholdMs = thresholdMs;
    viewport()->update();
}

void LogView::updateGutter()
{
    const QByteArray widest =
        m_timeFormat ? TimeColumn::widestText(*m_timeFormat).toLatin1() : QByteArray();
    m_gutter = m_timeFormat ? std::ceil(m_layout->textWidth(widest)) + 2 * Margin : 0;
    // The column narrows the rows as drawn; the text keeps its line breaks.
    updateLayoutWidth();
    scheduleRefresh();
}

ChunkSpan LogView::chunksAround(const Row &first, const Row &last) const
{
    if (!m_times || (!m_timeFormat && !m_gapThresholdMs))
        return {};
    // From the row before, for its time and for the gap before the first row's chunk.
    Row before = first;
    m_rows->previousRow(before);
    return ChunkSpan(*m_times, std::min(before.start, first.start - 1), last.next + 1);
}

std::optional<qint64> LogView::rowTimeMs(const ChunkSpan &chunks, const Row &row)
{
    if (row.end <= row.start)
        return std::nullopt;
    return chunks.at(row.start).timeMs;
}

std::optional<qint64> LogView::previousRowTimeMs(const ChunkSpan &chunks, const Row &row) const
{
    Row before = row;
    return m_rows->previousRow(before) ? rowTimeMs(chunks, before) : std::nullopt;
}

QString LogView::columnText(std::optional<qint64> timeMs, std::optional<qint64> previousMs,
                            std::optional<qint64> originMs, bool first) const
{
    return TimeColumn::rowText(*m_timeFormat, timeMs, previousMs, originMs, first);
}

// Only the seconds since the start count from the first time; reading it costs a paint a page.
std::optional<qint64> LogView::columnOrigin() const
{
    return m_times && m_timeFormat == TimeFormat::SinceStart ? m_times->originMs() : std::nullopt;
}

QString LogView::timeColumnText(qint64 position) const
{
    if (!m_timeFormat || !m_times)
        return {};
    const Row row = m_rows->rowAt(position);
    const ChunkSpan chunks = chunksAround(row, row);
    return columnText(rowTimeMs(chunks, row), previousRowTimeMs(chunks, row), columnOrigin(),
                      false);
}

bool LogView::isQuietBefore(const ChunkSpan &chunks, const ArrivalTimes::Chunk &chunk) const
{
    if (!chunk.timeMs || chunk.start <= 0)
        return false;
    const ArrivalTimes::Chunk before = chunks.at(chunk.start - 1);
    return before.timeMs && *chunk.timeMs - *before.timeMs > *m_gapThresholdMs;
}

std::vector<qint64> LogView::quietGaps(const ChunkSpan &chunks, const Row &row) const
{
    std::vector<qint64> marks;
    if (!m_gapThresholdMs || row.end <= row.start)
        return marks;
    for (const ArrivalTimes::Chunk &chunk : chunks.startingIn(row.start, row.end))
        if (isQuietBefore(chunks, chunk))
            marks.push_back(chunk.start);
    return marks;
}

std::vector<qint64> LogView::quietGapsInRow(qint64 position) const
{
    const Row row = m_rows->rowAt(position);
    return quietGaps(chunksAround(row, row), row);
}

void LogView::drawTimeColumn(QPainter &painter, const ChunkSpan &chunks,
                             const std::vector<Row> &rows, const QRegion &dirty)
{
    painter.fillRect(QRectF(0, 0, m_gutter, viewport()->height()),
                     palette().color(QPalette::AlternateBase));
    painter.setPen(palette().color(QPalette::PlaceholderText));
    const std::optional<qint64> origin = columnOrigin();
    std::optional<qint64> previousMs = previousRowTimeMs(chunks, rows.front());
    qreal y = Margin;
    for (const Row &row : rows) {
        const std::optional<qint64> timeMs = rowTimeMs(chunks, row);
        if (rowIsDirty(dirty, y)) {
            const QString text = columnText(timeMs, previousMs, origin, y == Margin);
            // Right-aligned by the layout's own advances: a text layout per row costs more.
            const qreal width = m_layout->textWidth(text.toLatin1());
            painter.drawText(QPointF(m_gutter - Margin - width, y + m_layout->ascent()), text);
        }
        previousMs = timeMs;
        y += m_layout->lineSpacing();
    }
}

void LogView::drawQuietGaps(QPainter &painter, const std::vector<qint64> &marks, const Row &row,
                            const QByteArray &text, qreal y)
{
    constexpr qreal RuleWidth = 2;
    for (const qint64 at : marks) {
        const qsizetype before = qsizetype(std::min<qint64>(at - row.start, text.size()));
        const qreal x = textLeft() + m_layout->textWidth(QByteArrayView(text).first(before));
        painter.fillRect(QRectF(x - RuleWidth, y, RuleWidth, m_layout->lineSpacing()),
                         palette().color(QPalette::Link));
    }
}

qint64 LogView::itemAt(qint64 position) const
{
    // The pointer on an item's right half finds the blank after it.
    if (position > 0 && (position >= length() || !HexItems::isDigit(m_rows->at(position))))
        return position - 1;
    return position;
}

QString LogView::timeTip(qint64 position) const
{
    if (!m_times || position < 0 || position >= length())
        return {};
    const ArrivalTimes::Chunk chunk = m_times->chunkAt(position);
    if (!chunk.timeMs)
        return {};
    QString tip = tr("Arrived %1").arg(TimeColumn::dateTime(*chunk.timeMs));
    const ArrivalTimes::Chunk before =
        chunk.start > 0 ? m_times->chunkAt(chunk.start - 1) : ArrivalTimes::Chunk();
    if (before.timeMs)
        tip += QLatin1Char('\n') + tr("Gap before its chunk: %1 s")
                                       .arg(TimeColumn::seconds(*chunk.timeMs - *before.timeMs));
    return tip;
}

QString LogView::selectionTimeTip() const
{
    if (!m_times || selLength() == 0)
        return {};
    const ArrivalTimes::Chunk first = m_times->chunkAt(selStart());
    const ArrivalTimes::Chunk last = m_times->chunkAt(selStart() + selLength() - 1);
    QString tip;
    if (selLength() <= CopyLimit) {
        HexItems::Decoder decoder;
        decoder.count(m_text->mid(selStart(), selLength()));
        tip = decoder.items() == 1 ? tr("1 byte received")
                                   : tr("%1 bytes received").arg(decoder.items());
    } else {
        tip = tr("%1 characters of text").arg(selLength());
    }
    if (first.timeMs && last.timeMs)
        tip += QLatin1Char('\n') + tr("From %1 to %2, %3 s")
                                       .arg(TimeColumn::dateTime(*first.timeMs),
                                            TimeColumn::dateTime(*last.timeMs),
                                            TimeColumn::seconds(*last.timeMs - *first.timeMs));
    return tip;
}

bool LogView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && m_timeFormat) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const qint64 at = positionAt(help->pos());
        const bool inSelection =
            selLength() > 0 && at >= selStart() && at <= selStart() + selLength();
        const QString tip = inSelection ? selectionTimeTip() : timeTip(itemAt(at));
        if (!tip.isEmpty()) {
            QToolTip::showText(help->globalPos(), tip, viewport());
            return true;
        }
    }
    return QAbstractScrollArea::viewportEvent(event);
}
