#include "app/logview/logview.h"

#include "app/logview/charactercolumn.h"
#include "app/logview/logviewaccessible.h"
#include "app/logview/logviewlayout.h"
#include "app/toolkit/messagebox.h"
#include "logfile/logtext.h"

#include <QAccessible>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimerEvent>
#include <climits>

namespace {
// Larger texts are not handed whole to screen readers.
constexpr qint64 AnnouncedTextLimit = 65536;
} // namespace

LogView::LogView(QWidget *parent)
    : QAbstractScrollArea(parent), m_ownText(std::make_unique<MemoryLogText>()),
      m_text(m_ownText.get()), m_layout(std::make_unique<LogViewLayout>(font())),
      m_rows(std::make_unique<LogViewRows>(*m_text, *m_layout))
{
    LogViewAccessible::install();
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    // The view paints its own background, so that a scroll moves what was drawn rather than
    // repainting it all.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    verticalScrollBar()->setRange(0, 0);
    updateCharacterFont();
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &LogView::scrollBarAction);
    updateLayoutWidth();
}

LogView::~LogView() = default;

QByteArray LogView::text() const
{
    return m_text->mid(0, m_text->size());
}

qint64 LogView::length() const
{
    return m_text->size();
}

void LogView::setText(QByteArray text)
{
    const bool announce = QAccessible::isActive();
    const QString before =
        announce && length() <= AnnouncedTextLimit ? QString::fromLatin1(this->text()) : QString();
    m_text->replace(std::move(text));
    textReplaced();
    if (announce) {
        const QString after =
            length() <= AnnouncedTextLimit ? QString::fromLatin1(this->text()) : QString();
        QAccessibleTextUpdateEvent event(this, 0, before, after);
        QAccessible::updateAccessibility(&event);
    }
}

void LogView::setStorage(std::unique_ptr<LogText> storage)
{
    if (!storage)
        storage = std::make_unique<MemoryLogText>();
    m_ownText = std::move(storage);
    observe(*m_ownText);
}

void LogView::observe(LogText &text)
{
    m_text = &text;
    if (m_ownText.get() != m_text)
        m_ownText.reset();
    textReplaced();
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent event(this, 0, QString(), QString());
        QAccessible::updateAccessibility(&event);
    }
}

void LogView::textReplaced()
{
    m_rows->reset(*m_text);
    m_caret = m_anchor = 0;
    m_goalX = -1;
    m_appendedFrom = -1;
    setTop(0);
    m_followCaret = true;
    scheduleRefresh();
}

qint64 LogView::selStart() const
{
    return std::min(m_caret, m_anchor);
}

qint64 LogView::selLength() const
{
    return std::abs(m_caret - m_anchor);
}

QByteArray LogView::selText() const
{
    return m_text->mid(selStart(), selLength());
}

void LogView::setSelStart(qint64 position)
{
    setCaret(std::clamp<qint64>(position, 0, length()), false);
}

void LogView::setSelection(qint64 start, qint64 length)
{
    start = std::clamp<qint64>(start, 0, this->length());
    m_anchor = start;
    setCaret(std::clamp<qint64>(start + length, start, this->length()), true);
}

void LogView::setSelText(QByteArrayView text)
{
    const qint64 oldLength = length();
    // A selection that the append empties must be painted away.
    m_onlyAppended = (m_held || selLength() == 0) && (m_onlyAppended || !m_refreshPending);
    m_text->append(text);
    m_rows->appended(oldLength);
    if (m_appendedFrom < 0)
        m_appendedFrom = oldLength;
    if (m_held) {
        countArrived(text);
        scheduleRefresh(AppendFrameMs);
        return;
    }
    m_caret = m_anchor = length();
    m_goalX = -1;
    m_followCaret = true;
    scheduleRefresh(AppendFrameMs);
}

void LogView::selectAll()
{
    m_anchor = 0;
    m_caret = length();
    m_goalX = -1;
    scheduleRefresh();
}

void LogView::copy()
{
    if (selLength() == 0)
        return;
    const qint64 count = std::min(selLength(), CopyLimit);
    const QByteArray bytes = m_text->mid(selStart(), count);
    if (bytes.size() < count) {
        tellUser(tr("Nothing was copied: the log's file was changed by another program, and the "
                    "selection could not be read from byte %1 on.")
                     .arg(selStart() + bytes.size()),
                 MessageBox::Warning);
        return;
    }
    QGuiApplication::clipboard()->setText(QString::fromLatin1(bytes));
    if (selLength() > count) {
        tellUser(tr("Only the first %1 bytes of the selection were copied; it holds %2 bytes. "
                    "Select less to copy it whole.")
                     .arg(count)
                     .arg(selLength()),
                 MessageBox::Information);
    }
}

void LogView::tellUser(const QString &text, int style)
{
    MessageBox::show(window(), text, style, QCoreApplication::applicationName());
}

void LogView::setCaret(qint64 position, bool keepAnchor)
{
    m_caret = position;
    if (!keepAnchor)
        m_anchor = position;
    m_followCaret = true;
    scheduleRefresh();
}

// Work that follows a change waits for the next frame, so a burst of appends costs one layout.
void LogView::scheduleRefresh(int frameMs)
{
    if (frameMs != AppendFrameMs)
        m_onlyAppended = false;
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
    const bool appended = std::exchange(m_onlyAppended, false) && m_appendedFrom >= 0;
    const bool onlyAppended = appended && m_followCaret && m_caret == length();
    const qint64 oldTop = m_top;
    updateScrollRange();
    if (appended && m_held && !m_followCaret) {
        showHeldAppended(m_appendedFrom);
    } else if (!onlyAppended || !showAppended(m_appendedFrom, oldTop)) {
        if (m_followCaret)
            ensureCaretVisible();
        viewport()->update();
    }
    m_followCaret = false;
    notifyAccessibility();
}

void LogView::notifyAccessibility()
{
    if (!QAccessible::isActive()) {
        m_appendedFrom = -1;
        return;
    }
    // Readers count in int; a burst beyond the limit is announced by its latest part.
    if (m_appendedFrom >= 0 && m_appendedFrom < length() && length() <= INT_MAX) {
        const qint64 from = std::max(m_appendedFrom, length() - AnnouncedTextLimit);
        const QByteArray added = m_text->mid(from, length() - from);
        QAccessibleTextInsertEvent event(this, int(from), QString::fromLatin1(added));
        QAccessible::updateAccessibility(&event);
    }
    m_appendedFrom = -1;
    if (m_caret != m_notifiedCaret || m_anchor != m_notifiedAnchor) {
        const auto clamp = [](qint64 position) { return int(std::min<qint64>(position, INT_MAX)); };
        if (m_anchor != m_notifiedAnchor || selLength() > 0) {
            QAccessibleTextSelectionEvent event(this, clamp(selStart()),
                                                clamp(selStart() + selLength()));
            event.setCursorPosition(clamp(m_caret));
            QAccessible::updateAccessibility(&event);
        }
        QAccessibleTextCursorEvent event(this, clamp(m_caret));
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
    placeHeldIndicator();
    scheduleRefresh();
}

void LogView::updateLayoutWidth()
{
    const qreal room = viewport()->width() - 2 * Margin - m_gutter;
    // With the characters column a row holds as many items as both sides have room for.
    m_rowItems =
        m_characters ? CharacterColumn::itemsPerRow(room - CharactersGap, itemWidth(), m_cell) : 0;
    const qreal characters = m_characters ? CharactersGap + m_rowItems * m_cell : 0;
    const bool widthChanged = m_layout->setWidth(room - characters);
    if (m_layout->setMaxWords(m_rowItems) || widthChanged) {
        m_rows->reset(*m_text);
        m_top = m_rows->rowAt(m_top).start;
    }
}

void LogView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_layout->setFont(font());
        updateCharacterFont();
        updateGutter();
        m_rows->reset(*m_text);
        m_top = m_rows->rowAt(m_top).start;
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
