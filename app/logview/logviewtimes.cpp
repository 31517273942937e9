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

std::optional<qint64> LogView::rowTimeMs(const Row &row) const
{
    if (!m_times || row.end <= row.start)
        return std::nullopt;
    return m_times->chunkAt(row.start).timeMs;
}

QString LogView::columnText(std::optional<qint64> timeMs, std::optional<qint64> previousMs,
                            bool first) const
{
    const std::optional<qint64> origin = m_times ? m_times->originMs() : std::nullopt;
    return TimeColumn::rowText(*m_timeFormat, timeMs, previousMs, origin, first);
}

QString LogView::timeColumnText(qint64 position) const
{
    if (!m_timeFormat)
        return {};
    const Row row = m_rows->rowAt(position);
    std::optional<qint64> previousMs;
    if (Row before = row; m_rows->previousRow(before))
        previousMs = rowTimeMs(before);
    return columnText(rowTimeMs(row), previousMs, false);
}

bool LogView::isQuietBefore(const ArrivalTimes::Chunk &chunk) const
{
    if (!chunk.timeMs || chunk.start <= 0)
        return false;
    const ArrivalTimes::Chunk before = m_times->chunkAt(chunk.start - 1);
    return before.timeMs && *chunk.timeMs - *before.timeMs > *m_gapThresholdMs;
}

std::vector<qint64> LogView::quietGaps(const Row &row) const
{
    std::vector<qint64> marks;
    if (!m_times || !m_gapThresholdMs || row.end <= row.start)
        return marks;
    ArrivalTimes::Chunk chunk = m_times->chunkAt(row.start);
    if (chunk.start == row.start && isQuietBefore(chunk))
        marks.push_back(chunk.start);
    while (chunk.end > chunk.start && chunk.end < row.end) {
        const qint64 from = chunk.end;
        chunk = m_times->chunkAt(from);
        // Times that do not follow the text's order end the search rather than loop.
        if (chunk.start != from)
            break;
        if (isQuietBefore(chunk))
            marks.push_back(chunk.start);
    }
    return marks;
}

std::vector<qint64> LogView::quietGapsInRow(qint64 position) const
{
    return quietGaps(m_rows->rowAt(position));
}

void LogView::drawTimeColumn(QPainter &painter, const QString &text, qreal y)
{
    if (text.isEmpty())
        return;
    painter.setPen(palette().color(QPalette::PlaceholderText));
    const QRectF area(Margin, y, m_gutter - 2 * Margin, m_layout->lineSpacing());
    painter.drawText(area, Qt::AlignRight | Qt::AlignVCenter, text);
}

void LogView::drawQuietGaps(QPainter &painter, const Row &row, const QByteArray &text, qreal y)
{
    constexpr qreal RuleWidth = 2;
    for (const qint64 at : quietGaps(row)) {
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
