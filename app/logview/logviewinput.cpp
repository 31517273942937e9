#include "app/logview/logview.h"

#include "logfile/logtext.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

namespace {
bool isWordChar(char c)
{
    return c != ' ' && c != '\t' && c != '\r' && c != '\n';
}

bool isEditKey(QKeyEvent *event)
{
    return event == QKeySequence::Paste || event == QKeySequence::Cut ||
           event == QKeySequence::Delete || event == QKeySequence::Undo ||
           event == QKeySequence::Redo || event->key() == Qt::Key_Backspace ||
           event->key() == Qt::Key_Delete || event->key() == Qt::Key_Insert ||
           (!event->text().isEmpty() && event->text().at(0).isPrint());
}
} // namespace

void LogView::keyPressEvent(QKeyEvent *event)
{
    struct Binding
    {
        QKeySequence::StandardKey move;
        QKeySequence::StandardKey select;
        Move action;
    };
    static const Binding bindings[] = {
        {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, Move::Left},
        {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, Move::Right},
        {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, Move::Up},
        {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, Move::Down},
        {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, Move::Home},
        {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, Move::End},
        {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, Move::Start},
        {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, Move::Finish},
        {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, Move::PageUp},
        {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, Move::PageDown},
        {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, Move::WordLeft},
        {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, Move::WordRight},
    };
    if (event == QKeySequence::SelectAll) {
        selectAll();
        return;
    }
    if (event == QKeySequence::Copy) {
        copy();
        return;
    }
    if (event->key() == Qt::Key_ScrollLock) {
        m_scrollLock = !m_scrollLock;
        if (m_scrollLock)
            setHeld(true);
        else
            follow();
        return;
    }
    // Once the held view's note says End, both End keys go back to following; before it (and
    // while idle) End goes to the row's end as always.
    const bool noteShown = m_held && m_arrivedWhileHeld > 0;
    if (noteShown &&
        (event == QKeySequence::MoveToEndOfLine || event == QKeySequence::MoveToEndOfDocument)) {
        follow();
        return;
    }
    for (const Binding &binding : bindings) {
        if (event == binding.move || event == binding.select) {
            moveCaret(binding.action, event == binding.select);
            return;
        }
    }
    // Enter and Escape belong to the window's default and cancel buttons.
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    if (isEditKey(event))
        return;
    event->ignore();
}

void LogView::moveCaret(Move move, bool keepAnchor)
{
    const bool collapse = !keepAnchor && selLength() > 0;
    const qint64 page = std::max(1, visibleRows() - 1);
    qint64 target = m_caret;
    switch (move) {
    case Move::Left:
        target = collapse ? selStart() : m_rows->previousPosition(m_caret);
        break;
    case Move::Right:
        target = collapse ? selStart() + selLength() : m_rows->nextPosition(m_caret);
        break;
    case Move::Up:
    case Move::Down:
        target = moveByRows(m_caret, move == Move::Up ? -1 : 1);
        break;
    case Move::PageUp:
    case Move::PageDown:
        target = moveByRows(m_caret, move == Move::PageUp ? -page : page);
        setTop(stepRows(m_rows->rowAt(m_top), move == Move::PageUp ? -page : page).start);
        break;
    case Move::Home:
        target = m_rows->rowAt(m_caret).start;
        break;
    case Move::End:
        target = positionInRow(m_rows->rowAt(m_caret), 1e12);
        break;
    case Move::Start:
        target = 0;
        break;
    case Move::Finish:
        target = length();
        break;
    case Move::WordLeft:
        target = wordLeft(m_caret);
        break;
    case Move::WordRight:
        target = wordRight(m_caret);
        break;
    }
    if (move != Move::Up && move != Move::Down && move != Move::PageUp && move != Move::PageDown)
        m_goalX = -1;
    setCaret(target, keepAnchor);
}

// Word moves look a bounded distance, so a line without blanks costs no more than a long jump.
qint64 LogView::wordLeft(qint64 position) const
{
    const qint64 limit = std::max<qint64>(0, position - WordReach);
    qint64 target = m_rows->previousPosition(position);
    while (target > limit && !isWordChar(m_rows->at(target)))
        target = m_rows->previousPosition(target);
    while (target > limit && isWordChar(m_rows->at(target - 1)))
        --target;
    return target;
}

qint64 LogView::wordRight(qint64 position) const
{
    const qint64 limit = std::min(length(), position + WordReach);
    qint64 target = position;
    while (target < limit && isWordChar(m_rows->at(target)))
        ++target;
    while (target < limit && !isWordChar(m_rows->at(target)))
        ++target;
    return target;
}

void LogView::selectWordAt(qint64 position)
{
    const qint64 low = std::max<qint64>(0, position - WordReach);
    const qint64 high = std::min(length(), position + WordReach);
    qint64 start = position;
    qint64 end = position;
    while (start > low && isWordChar(m_rows->at(start - 1)))
        --start;
    while (end < high && isWordChar(m_rows->at(end)))
        ++end;
    m_anchor = start;
    setCaret(end, true);
}

void LogView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    m_pressed = true;
    m_goalX = -1;
    setCaret(positionAt(event->position().toPoint()),
             event->modifiers().testFlag(Qt::ShiftModifier));
}

void LogView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_pressed && event->buttons().testFlag(Qt::LeftButton))
        setCaret(positionAt(event->position().toPoint()), true);
}

void LogView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressed) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    m_pressed = false;
    Q_EMIT clicked();
}

void LogView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = false;
    m_goalX = -1;
    selectWordAt(positionAt(event->position().toPoint()));
}

void LogView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *copyAction = menu.addAction(tr("&Copy"), this, [this] { copy(); });
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(selLength() > 0);
    QAction *copyCharactersAction =
        menu.addAction(tr("Copy C&haracters"), this, [this] { copyCharacters(); });
    copyCharactersAction->setEnabled(selLength() > 0);
    menu.addSeparator();
    QAction *selectAllAction = menu.addAction(tr("Select &All"), this, [this] { selectAll(); });
    selectAllAction->setShortcut(QKeySequence::SelectAll);
    selectAllAction->setEnabled(length() > 0);
    menu.exec(event->globalPos());
}

void LogView::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void LogView::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}
