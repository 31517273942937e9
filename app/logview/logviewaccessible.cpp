#include "app/logview/logviewaccessible.h"

#include "app/logview/logview.h"
#include "logfile/logtext.h"

#include <climits>

namespace {
QAccessibleInterface *createAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("LogView") && object && object->isWidgetType())
        return new LogViewAccessible(static_cast<QWidget *>(object));
    return nullptr;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Readers get what is near the caret or shown, never a whole log of gigabytes.
constexpr qint64 MaxTextAnswer = qint64(64) * 1024;
constexpr qint64 WordReach = 4096;

int clampToInt(qint64 value)
{
    return int(std::clamp<qint64>(value, 0, INT_MAX));
}
} // namespace

LogViewAccessible::LogViewAccessible(QWidget *widget)
    : QAccessibleWidget(widget, QAccessible::EditableText)
{
}

void LogViewAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(createAccessible);
        return true;
    }();
    Q_UNUSED(installed);
}

LogView *LogViewAccessible::view() const
{
    return static_cast<LogView *>(widget());
}

QAccessible::State LogViewAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.multiLine = true;
    state.editable = false;
    state.selectableText = true;
    return state;
}

QString LogViewAccessible::text(QAccessible::Text t) const
{
    // The whole capture is far too long for a name or value; readers use the text interface.
    if (t == QAccessible::Value)
        return QString();
    return QAccessibleWidget::text(t);
}

void *LogViewAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

void LogViewAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || view()->selLength() == 0)
        return;
    *startOffset = int(view()->selStart());
    *endOffset = int(view()->selStart() + view()->selLength());
}

int LogViewAccessible::selectionCount() const
{
    return view()->selLength() > 0 ? 1 : 0;
}

void LogViewAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void LogViewAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        view()->setCaret(view()->m_caret, false);
}

void LogViewAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex != 0)
        return;
    const qint64 length = view()->length();
    view()->m_anchor = std::clamp<qint64>(startOffset, 0, length);
    view()->setCaret(std::clamp<qint64>(endOffset, 0, length), true);
}

int LogViewAccessible::cursorPosition() const
{
    return clampToInt(view()->m_caret);
}

void LogViewAccessible::setCursorPosition(int position)
{
    view()->setSelStart(position);
}

QString LogViewAccessible::text(int startOffset, int endOffset) const
{
    const qint64 count = std::min<qint64>(qint64(endOffset) - startOffset, MaxTextAnswer);
    return QString::fromLatin1(view()->m_text->mid(startOffset, count));
}

int LogViewAccessible::characterCount() const
{
    return clampToInt(view()->length());
}

void LogViewAccessible::unitAt(int offset, QAccessible::TextBoundaryType type, int *start,
                               int *end) const
{
    const LogView &v = *view();
    const LogViewRows &rows = *v.m_rows;
    const qint64 length = v.length();
    const qint64 at = std::clamp<qint64>(offset, 0, length);
    qint64 from = at;
    qint64 to = at;
    switch (type) {
    case QAccessible::CharBoundary:
        to = std::min(length, at + 1);
        break;
    case QAccessible::WordBoundary: {
        const qint64 low = std::max<qint64>(0, at - WordReach);
        const qint64 high = std::min(length, at + WordReach);
        while (from > low && !isBlank(rows.at(from - 1)))
            --from;
        while (to < high && !isBlank(rows.at(to)))
            ++to;
        while (to < high && (rows.at(to) == ' ' || rows.at(to) == '\t'))
            ++to;
        break;
    }
    case QAccessible::LineBoundary: {
        // A line for a reader is a row as shown, with what ends it.
        const LogViewRows::Row row = rows.rowAt(at);
        from = row.start;
        to = rows.isLast(row) ? length : row.next;
        break;
    }
    case QAccessible::SentenceBoundary:
    case QAccessible::ParagraphBoundary:
        rows.segmentBounds(at, &from, &to);
        if (to == from)
            to = length;
        break;
    case QAccessible::NoBoundary: {
        // What is shown stands for the whole.
        LogViewRows::Row row = rows.rowAt(v.m_top);
        from = row.start;
        for (int i = 1; i < v.visibleRows() && rows.nextRow(row); ++i) {
        }
        to = rows.isLast(row) ? length : row.next;
        break;
    }
    }
    *start = clampToInt(from);
    *end = clampToInt(to);
}

QString LogViewAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                        int *startOffset, int *endOffset) const
{
    unitAt(offset, boundaryType, startOffset, endOffset);
    return text(*startOffset, *endOffset);
}

QString LogViewAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                            int *startOffset, int *endOffset) const
{
    int start = 0;
    int end = 0;
    unitAt(offset, boundaryType, &start, &end);
    if (start == 0) {
        *startOffset = *endOffset = 0;
        return QString();
    }
    return textAtOffset(start - 1, boundaryType, startOffset, endOffset);
}

QString LogViewAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                           int *startOffset, int *endOffset) const
{
    int start = 0;
    int end = 0;
    unitAt(offset, boundaryType, &start, &end);
    if (end >= characterCount()) {
        *startOffset = *endOffset = characterCount();
        return QString();
    }
    return textAtOffset(end, boundaryType, startOffset, endOffset);
}

QRect LogViewAccessible::characterRect(int offset) const
{
    const QRect rect = view()->characterRect(offset);
    if (!rect.isValid())
        return QRect();
    return QRect(view()->viewport()->mapToGlobal(rect.topLeft()), rect.size());
}

int LogViewAccessible::offsetAtPoint(const QPoint &point) const
{
    const QPoint local = view()->viewport()->mapFromGlobal(point);
    if (!view()->viewport()->rect().contains(local))
        return -1;
    return clampToInt(view()->positionAt(local));
}

void LogViewAccessible::scrollToSubstring(int startIndex, int)
{
    const qint64 position = std::clamp<qint64>(startIndex, 0, view()->length());
    const LogViewRows::Row row = view()->m_rows->rowAt(position);
    if (view()->rowOnScreen(row) < 0)
        view()->setTop(row.start);
}

QString LogViewAccessible::attributes(int offset, int *startOffset, int *endOffset) const
{
    Q_UNUSED(offset);
    *startOffset = 0;
    *endOffset = characterCount();
    return QString();
}
