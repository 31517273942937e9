#include "app/logview/logview.h"

#include "app/logview/logviewlayout.h"
#include "logfile/logtext.h"

#include <QApplication>
#include <QScrollBar>
#include <QWheelEvent>
#include <cmath>

namespace {
// The bar's values stay well inside int.
constexpr qint64 BarPositions = qint64(1) << 30;
} // namespace

qint64 LogView::scrollScale() const
{
    return 1 + length() / BarPositions;
}

int LogView::barValueOf(qint64 position) const
{
    return int(position / scrollScale());
}

// The top row that still lets the last row end at the bottom of the view.
LogView::Row LogView::highestTop() const
{
    return stepRows(m_rows->rowAt(length()), -(visibleRows() - 1));
}

void LogView::updateScrollRange()
{
    const Row highest = highestTop();
    if (m_top > highest.start)
        m_top = highest.start;
    m_top = m_rows->rowAt(m_top).start;
    // A page of bytes as the end of the text has them; the bar is exact in bytes, not rows.
    const qint64 pageBytes = std::max<qint64>(1, length() - highest.start);
    QScrollBar *bar = verticalScrollBar();
    m_syncingScroll = true;
    bar->setRange(0, barValueOf(highest.start));
    bar->setPageStep(std::max(1, barValueOf(pageBytes)));
    bar->setSingleStep(std::max(1, barValueOf(pageBytes / visibleRows())));
    bar->setValue(barValueOf(m_top));
    m_syncingScroll = false;
}

// Steps and pages move by rows; only dragging the slider jumps by bytes.
void LogView::scrollBarAction(int action)
{
    const qint64 page = std::max(1, visibleRows() - 1);
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
        scrollByRows(1);
        break;
    case QAbstractSlider::SliderSingleStepSub:
        scrollByRows(-1);
        break;
    case QAbstractSlider::SliderPageStepAdd:
        scrollByRows(page);
        break;
    case QAbstractSlider::SliderPageStepSub:
        scrollByRows(-page);
        break;
    default:
        return;
    }
    verticalScrollBar()->setSliderPosition(barValueOf(m_top));
}

void LogView::scrollByRows(qint64 rows)
{
    const qint64 highest = highestTop().start;
    setTop(std::min(stepRows(m_rows->rowAt(m_top), rows).start, highest));
}

void LogView::scrollContentsBy(int, int)
{
    if (m_syncingScroll)
        return;
    QScrollBar *bar = verticalScrollBar();
    const int value = bar->value();
    if (value == barValueOf(m_top))
        return;
    m_top = value >= bar->maximum() ? highestTop().start
                                    : m_rows->rowAt(qint64(value) * scrollScale()).start;
    updateHold();
    viewport()->update();
}

void LogView::wheelEvent(QWheelEvent *event)
{
    m_wheelRemainder += event->angleDelta().y();
    const int notches = m_wheelRemainder / QWheelEvent::DefaultDeltasPerStep;
    m_wheelRemainder -= notches * QWheelEvent::DefaultDeltasPerStep;
    if (notches != 0)
        scrollByRows(-qint64(notches) * QApplication::wheelScrollLines());
    event->accept();
}

void LogView::setTop(qint64 rowStart)
{
    m_top = rowStart;
    m_syncingScroll = true;
    verticalScrollBar()->setValue(barValueOf(rowStart));
    m_syncingScroll = false;
    updateHold();
    viewport()->update();
}

void LogView::ensureCaretVisible()
{
    const Row caret = m_rows->rowAt(m_caret);
    const qint64 onScreen = caret.start < m_top ? -1 : rowOnScreen(caret);
    if (onScreen >= coveredRows())
        return;
    // Above the view, or under a bar that floats over its top: just below the bar.
    if (caret.start < m_top || onScreen >= 0) {
        setTop(stepRows(caret, -coveredRows()).start);
        return;
    }
    setTop(stepRows(caret, -(visibleRows() - 1)).start);
}

// What was drawn moves up by the rows the appended text added; only the rows it changed, and
// the top row's time (which shows the date), are painted again. False: paint everything.
bool LogView::showAppended(qint64 from, qint64 oldTop)
{
    if (m_top != oldTop)
        return false;
    const Row caret = m_rows->rowAt(m_caret);
    const Row newTop =
        rowOnScreen(caret) >= 0 ? m_rows->rowAt(m_top) : stepRows(caret, -(visibleRows() - 1));
    qint64 scrolled = 0;
    for (Row row = m_rows->rowAt(m_top); row.start < newTop.start; ++scrolled) {
        if (scrolled > visibleRows() || !m_rows->nextRow(row))
            return false;
    }
    m_top = newTop.start;
    m_syncingScroll = true;
    verticalScrollBar()->setValue(barValueOf(m_top));
    m_syncingScroll = false;
    const int pitch = int(m_layout->lineSpacing());
    if (scrolled > 0) {
        viewport()->scroll(0, -int(scrolled) * pitch);
        // The top margin must stay blank: rows are drawn below it.
        viewport()->update(QRect(0, 0, viewport()->width(), Margin));
    }
    const qint64 firstChanged = std::max<qint64>(0, rowOnScreen(m_rows->rowAt(from)));
    const int y = Margin + int(firstChanged) * pitch;
    viewport()->update(QRect(0, y, viewport()->width(), viewport()->height() - y));
    if (scrolled > 0 && m_timeFormat)
        viewport()->update(QRect(0, Margin, int(std::ceil(m_gutter)), pitch));
    return true;
}
