// Holding the view still while text arrives, and the note of how much arrived meanwhile.
#include "app/logview/logview.h"

#include "app/logview/logviewlayout.h"
#include "logfile/hexitems.h"

#include <QLabel>
#include <QLocale>
#include <QScrollBar>

void LogView::follow()
{
    m_scrollLock = false;
    setHeld(false);
    setCaret(length(), false);
}

// Called wherever the user or the caret moved the view: away from the end, it holds.
void LogView::updateHold()
{
    setHeld(m_scrollLock || m_top < highestTop().start);
}

void LogView::setHeld(bool held)
{
    if (held == m_held)
        return;
    m_held = held;
    m_arrivedWhileHeld = 0;
    showHeldIndicator();
}

void LogView::countArrived(QByteArrayView text)
{
    // A blank after a digit ends an item: one received byte.
    for (qsizetype i = 1; i < text.size(); ++i)
        m_arrivedWhileHeld += text[i] == ' ' && HexItems::isDigit(text[i - 1]) ? 1 : 0;
}

void LogView::showHeldIndicator()
{
    if (!m_held || m_arrivedWhileHeld == 0) {
        if (m_heldIndicator)
            m_heldIndicator->hide();
        return;
    }
    if (!m_heldIndicator) {
        m_heldIndicator = new QLabel(this);
        m_heldIndicator->setObjectName(QStringLiteral("heldIndicator"));
        m_heldIndicator->setAutoFillBackground(true);
        m_heldIndicator->setBackgroundRole(QPalette::ToolTipBase);
        m_heldIndicator->setForegroundRole(QPalette::ToolTipText);
        m_heldIndicator->setMargin(2);
    }
    const QString bytes = QLocale(QLocale::English).toString(m_arrivedWhileHeld);
    m_heldIndicator->setText(m_arrivedWhileHeld == 1 ? tr("+1 byte, End to follow")
                                                     : tr("+%1 bytes, End to follow").arg(bytes));
    placeHeldIndicator();
    m_heldIndicator->show();
}

// On the view's bottom edge, beside the scroll bar.
void LogView::placeHeldIndicator()
{
    if (!m_heldIndicator)
        return;
    m_heldIndicator->adjustSize();
    const QRect area = viewport()->geometry();
    m_heldIndicator->move(area.right() + 1 - m_heldIndicator->width(),
                          area.bottom() + 1 - m_heldIndicator->height());
}

// Text arrived below a held view: the screen changes only where the end is shown.
void LogView::showHeldAppended(qint64 from)
{
    const qint64 index = rowOnScreen(m_rows->rowAt(from));
    if (index >= 0) {
        const int y = Margin + int(index * m_layout->lineSpacing());
        viewport()->update(QRect(0, y, viewport()->width(), viewport()->height() - y));
    }
    showHeldIndicator();
}
