#include "app/toolkit/dialogbuttons.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPushButton>

DialogButtons::DialogButtons(QWidget *window) : QObject(window), m_window(window)
{
    qApp->installEventFilter(this);
}

void DialogButtons::setDefault(QPushButton *button, bool isDefault)
{
    if (isDefault) {
        if (m_default && m_default != button)
            m_default->setDefault(false);
        m_default = button;
    } else if (m_default == button) {
        m_default = nullptr;
    }
    button->setDefault(isDefault);
}

bool DialogButtons::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    // The menu bar holds the focus only while a menu is worked with the keys: Enter and Escape
    // belong to it then.
    if (widget->window() != m_window || qobject_cast<QMenuBar *>(widget) ||
        QApplication::activePopupWidget() || QApplication::activeModalWidget() ||
        (m_ownKeys && m_ownKeys->isAncestorOf(widget)))
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (modifiers != Qt::NoModifier)
        return false;
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        // As in any dialog, a focused button takes Enter from the default one.
        if (auto *focused = qobject_cast<QPushButton *>(widget); focused && focused->hasFocus()) {
            focused->click();
            return true;
        }
        if (m_beforeDefault)
            m_beforeDefault();
        if (m_default && m_default->isEnabled())
            m_default->click();
        return true;
    }
    if (key->key() == Qt::Key_Escape && m_cancel) {
        if (m_cancel->isEnabled())
            m_cancel->click();
        return true;
    }
    return false;
}
