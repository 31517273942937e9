#pragma once

#include <QList>
#include <QObject>

class QAction;
class QWidget;

// A menu item's shortcut wins over a control's own use of the same keys, wherever the focus is
// in the window: Ctrl+X exits even in an edit field, where it would otherwise cut.
class MenuShortcuts : public QObject
{
    Q_OBJECT
public:
    explicit MenuShortcuts(QWidget *window);

    void givePriority(QAction *action);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isPriorityShortcut(QKeyCombination keys) const;

    QWidget *m_window = nullptr;
    QList<QAction *> m_actions;
};
