#include "logview.h"

#include "logviewaccessible.h"
#include "logviewdocument.h"
#include "logviewlayout.h"

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimerEvent>

LogView::LogView(QWidget *parent)
    : QAbstractScrollArea(parent), m_document(std::make_unique<LogViewDocument>()),
      m_layout(std::make_unique<LogViewLayout>(font()))
{
    LogViewAccessible::install();
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setRange(0, 0);
    verticalScrollBar()->setSingleStep(1);
    updateLayoutWidth();
}

LogView::~LogView() = default;

QByteArray LogView::text() const
{
    return m_document->text();
}

QList<QByteArrayView> LogView::textPieces() const
{
    return m_document->pieces();
}

qsizetype LogView::length() const
{
    return m_document->length();
}

void LogView::setText(QByteArray text)
{
    const bool announce = QAccessible::isActive();
    const QString before =
        announce && length() <= 65536 ? QString::fromLatin1(m_document->text()) : QString();
    m_document->setText(std::move(text));
    m_layout->clear();
    m_caret = m_anchor = 0;
    m_goalX = -1;
    m_appendedFrom = -1;
    setTop(RowRef());
    m_followCaret = true;
    if (announce) {
        const QString after =
            length() <= 65536 ? QString::fromLatin1(m_document->text()) : QString();
        QAccessibleTextUpdateEvent event(this, 0, before, after);
        QAccessible::updateAccessibility(&event);
    }
    scheduleRefresh();
}

qsizetype LogView::selStart() const
{
    return std::min(m_caret, m_anchor);
}

qsizetype LogView::selLength() const
{
    return std::abs(m_caret - m_anchor);
}

QByteArray LogView::selText() const
{
    return m_document->mid(selStart(), selLength());
}

void LogView::setSelStart(qsizetype position)
{
    setCaret(std::clamp<qsizetype>(position, 0, length()), false);
}

void LogView::setSelText(QByteArrayView text)
{
    const qsizetype start = selStart();
    const qsizetype removed = selLength();
    const qsizetype oldLength = m_document->length();
    const bool appending = removed == 0 && start == oldLength;
    const qsizetype dirtyLine =
        appending ? m_document->lineCount() - 2 : m_document->lineOf(start) - 1;
    m_layout->invalidateFrom(std::max<qsizetype>(0, dirtyLine));
    if (!appending && QAccessible::isActive()) {
        if (removed > 0) {
            QAccessibleTextRemoveEvent event(this, int(start), QString::fromLatin1(selText()));
            QAccessible::updateAccessibility(&event);
        }
        QAccessibleTextInsertEvent event(this, int(start), QString::fromLatin1(text));
        QAccessible::updateAccessibility(&event);
    }
    if (removed > 0)
        m_document->remove(start, removed);
    m_document->insert(start, text);
    if (appending && m_appendedFrom < 0)
        m_appendedFrom = start;
    else if (!appending && m_appendedFrom > start)
        m_appendedFrom = -1;
    m_caret = m_anchor = start + text.size();
    m_goalX = -1;
    m_followCaret = true;
    scheduleRefresh(appending ? AppendFrameMs : FrameMs);
}

void LogView::selectAll()
{
    m_anchor = 0;
    m_caret = length();
    m_goalX = -1;
    scheduleRefresh();
}

void LogView::copy() const
{
    if (selLength() == 0)
        return;
    QGuiApplication::clipboard()->setText(QString::fromLatin1(selText()));
}

void LogView::setCaret(qsizetype position, bool keepAnchor)
{
    m_caret = position;
    if (!keepAnchor)
        m_anchor = position;
    m_followCaret = true;
    scheduleRefresh();
}

// Work that follows a change waits for the next frame, so a burst of inserts costs one layout.
void LogView::scheduleRefresh(int frameMs)
{
    const qint64 since = m_sinceRefresh.isValid() ? m_sinceRefresh.elapsed() : frameMs;
    const qint64 due = std::max<qint64>(since, frameMs);
    if (m_refreshPending && m_refreshDueMs <= due)
        return;
    m_refreshPending = true;
    m_refreshDueMs = due;
    m_refreshTimer.start(int(due - since), Qt::PreciseTimer, this);
}

void LogView::refresh()
{
    m_refreshTimer.stop();
    m_refreshPending = false;
    m_sinceRefresh.start();
    updateScrollRange();
    if (m_followCaret)
        ensureCaretVisible();
    m_followCaret = false;
    viewport()->update();
    notifyAccessibility();
}

void LogView::notifyAccessibility()
{
    if (!QAccessible::isActive()) {
        m_appendedFrom = -1;
        return;
    }
    if (m_appendedFrom >= 0 && m_appendedFrom < length()) {
        const QByteArray added = m_document->mid(m_appendedFrom, length() - m_appendedFrom);
        QAccessibleTextInsertEvent event(this, int(m_appendedFrom), QString::fromLatin1(added));
        QAccessible::updateAccessibility(&event);
    }
    m_appendedFrom = -1;
    if (m_caret != m_notifiedCaret || m_anchor != m_notifiedAnchor) {
        if (m_anchor != m_notifiedAnchor || selLength() > 0) {
            QAccessibleTextSelectionEvent event(this, int(selStart()),
                                                int(selStart() + selLength()));
            event.setCursorPosition(int(m_caret));
            QAccessible::updateAccessibility(&event);
        }
        QAccessibleTextCursorEvent event(this, int(m_caret));
        QAccessible::updateAccessibility(&event);
        m_notifiedCaret = m_caret;
        m_notifiedAnchor = m_anchor;
    }
}

bool LogView::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key == QKeySequence::Copy || key == QKeySequence::SelectAll) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void LogView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateLayoutWidth();
    scheduleRefresh();
}

void LogView::updateLayoutWidth()
{
    m_layout->setWidth(viewport()->width() - 2 * Margin);
    m_top.row = std::min(m_top.row, rowCount(m_top.line) - 1);
}

void LogView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_layout->setFont(font());
        m_top.row = 0;
        scheduleRefresh();
    }
}

void LogView::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_refreshTimer.timerId())
        refresh();
    else
        QAbstractScrollArea::timerEvent(event);
}

void LogView::scrollContentsBy(int, int)
{
    if (m_syncingScroll)
        return;
    m_top = RowRef{verticalScrollBar()->value(), 0};
    viewport()->update();
}

void LogView::setTop(RowRef top)
{
    m_top = top;
    m_syncingScroll = true;
    verticalScrollBar()->setValue(int(std::min<qsizetype>(top.line, INT_MAX)));
    m_syncingScroll = false;
    viewport()->update();
}

void LogView::updateScrollRange()
{
    const qsizetype last = m_document->lineCount() - 1;
    // The highest first line that still lets the last line end at the bottom of the view.
    qsizetype maxTop = last;
    qsizetype rows = 0;
    for (qsizetype line = last; line >= 0; --line) {
        rows += rowCount(line);
        if (rows > visibleRows())
            break;
        maxTop = line;
    }
    if (m_top.line > maxTop)
        m_top = RowRef{maxTop, 0};
    m_top.row = std::min(m_top.row, rowCount(m_top.line) - 1);
    QScrollBar *bar = verticalScrollBar();
    m_syncingScroll = true;
    bar->setRange(0, int(std::min<qsizetype>(maxTop, INT_MAX)));
    bar->setPageStep(visibleRows());
    bar->setValue(int(std::min<qsizetype>(m_top.line, INT_MAX)));
    m_syncingScroll = false;
}

void LogView::ensureCaretVisible()
{
    const RowRef caret = rowOf(m_caret);
    if (caret < m_top) {
        setTop(caret);
        return;
    }
    if (rowOnScreen(caret) >= 0)
        return;
    RowRef top = caret;
    for (int i = 1; i < visibleRows() && previousRow(top); ++i) {
    }
    setTop(top);
}
