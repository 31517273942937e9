#include "logviewaccessible.h"

#include "logview.h"
#include "logviewdocument.h"

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
    const qsizetype length = view()->length();
    view()->m_anchor = std::clamp<qsizetype>(startOffset, 0, length);
    view()->setCaret(std::clamp<qsizetype>(endOffset, 0, length), true);
}

int LogViewAccessible::cursorPosition() const
{
    return int(std::min<qsizetype>(view()->m_caret, INT_MAX));
}

void LogViewAccessible::setCursorPosition(int position)
{
    view()->setSelStart(position);
}

QString LogViewAccessible::text(int startOffset, int endOffset) const
{
    return QString::fromLatin1(view()->m_document->mid(startOffset, endOffset - startOffset));
}

int LogViewAccessible::characterCount() const
{
    return int(std::min<qsizetype>(view()->length(), INT_MAX));
}

void LogViewAccessible::unitAt(int offset, QAccessible::TextBoundaryType type, int *start,
                               int *end) const
{
    const LogViewDocument &document = *view()->m_document;
    const qsizetype length = document.length();
    const qsizetype at = std::clamp<qsizetype>(offset, 0, length);
    qsizetype from = at;
    qsizetype to = at;
    switch (type) {
    case QAccessible::CharBoundary:
        to = std::min(length, at + 1);
        break;
    case QAccessible::WordBoundary:
        while (from > 0 && !isBlank(document.at(from - 1)))
            --from;
        while (to < length && !isBlank(document.at(to)))
            ++to;
        while (to < length && (document.at(to) == ' ' || document.at(to) == '\t'))
            ++to;
        break;
    case QAccessible::LineBoundary: {
        // A line for a reader is a row as shown, with what ends it.
        LogView::RowRef row = view()->rowOf(at);
        qsizetype rowEnd = 0;
        view()->rowRange(row, &from, &rowEnd);
        to = length;
        if (view()->nextRow(row))
            view()->rowRange(row, &to, &rowEnd);
        break;
    }
    case QAccessible::SentenceBoundary:
    case QAccessible::ParagraphBoundary: {
        const qsizetype line = document.lineOf(at);
        from = document.lineStart(line);
        to = document.lineStart(line + 1);
        break;
    }
    case QAccessible::NoBoundary:
        from = 0;
        to = length;
        break;
    }
    *start = int(std::min<qsizetype>(from, INT_MAX));
    *end = int(std::min<qsizetype>(to, INT_MAX));
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
    return int(std::min<qsizetype>(view()->positionAt(local), INT_MAX));
}

void LogViewAccessible::scrollToSubstring(int startIndex, int)
{
    const qsizetype position = std::clamp<qsizetype>(startIndex, 0, view()->length());
    if (view()->rowOnScreen(view()->rowOf(position)) < 0)
        view()->setTop(view()->rowOf(position));
}

QString LogViewAccessible::attributes(int offset, int *startOffset, int *endOffset) const
{
    Q_UNUSED(offset);
    *startOffset = 0;
    *endOffset = characterCount();
    return QString();
}
