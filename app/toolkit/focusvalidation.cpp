#include "app/toolkit/focusvalidation.h"

#include <QApplication>
#include <QComboBox>
#include <QMenuBar>

FocusValidation::FocusValidation(QWidget *window) : QObject(window), m_window(window)
{
    connect(qApp, &QApplication::focusChanged, this, &FocusValidation::focusChanged);
}

void FocusValidation::watch(QComboBox *box, const std::function<void()> &validate)
{
    m_validators.insert(box, validate);
}

void FocusValidation::focusOnAccessKey(QWidget *button)
{
    button->installEventFilter(this);
}

bool FocusValidation::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Shortcut && watched->isWidgetType()) {
        auto *button = static_cast<QWidget *>(watched);
        if (button->isEnabled())
            button->setFocus(Qt::ShortcutFocusReason);
    }
    return QObject::eventFilter(watched, event);
}

QComboBox *FocusValidation::watchedBoxOf(QWidget *widget) const
{
    for (QWidget *w = widget; w && w != m_window; w = w->parentWidget())
        if (auto *box = qobject_cast<QComboBox *>(w); box && m_validators.contains(box))
            return box;
    return nullptr;
}

QComboBox *FocusValidation::focusedBox() const
{
    return watchedBoxOf(QApplication::focusWidget());
}

void FocusValidation::validate(QComboBox *box)
{
    if (const auto it = m_validators.constFind(box); it != m_validators.constEnd())
        (*it)();
}

void FocusValidation::focusChanged(QWidget *old, QWidget *now)
{
    if (!now || now->window() != m_window)
        return;
    QComboBox *box = watchedBoxOf(old);
    // A menu opened with its access key holds the focus only while it is open, as a click does.
    if (qobject_cast<QMenuBar *>(now)) {
        if (box)
            m_boxBeforeMenuBar = box;
        return;
    }
    if (!box && qobject_cast<QMenuBar *>(old))
        box = m_boxBeforeMenuBar;
    m_boxBeforeMenuBar = nullptr;
    if (!box || !box->isEnabled() || watchedBoxOf(now) == box)
        return;
    validate(box);
}
