#include "app/toolkit/menushortcuts.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <algorithm>

MenuShortcuts::MenuShortcuts(QWidget *window) : QObject(window), m_window(window)
{
    qApp->installEventFilter(this);
}

void MenuShortcuts::givePriority(QAction *action)
{
    m_actions.append(action);
}

bool MenuShortcuts::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ShortcutOverride || !watched->isWidgetType() ||
        static_cast<QWidget *>(watched)->window() != m_window)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    // Kept from the control and left unaccepted, so that the shortcut runs.
    return isPriorityShortcut(QKeyCombination(modifiers, Qt::Key(key->key())));
}

bool MenuShortcuts::isPriorityShortcut(QKeyCombination keys) const
{
    const QKeySequence pressed(keys);
    return std::any_of(m_actions.cbegin(), m_actions.cend(), [&pressed](const QAction *action) {
        return action->isEnabled() && action->shortcuts().contains(pressed);
    });
}
