#include "app/findbar.h"
#include "app/form1.h"
#include "app/logview/logview.h"
#include "app/toolkit/dialogbuttons.h"

#include <QMenuBar>

void Form1::createFind()
{
    m_findBar = new FindBar(Text1);
    m_dialogButtons->leaveKeysTo(m_findBar);
    addFindItems(viewMenu());
}

void Form1::addFindItems(QMenu *menu)
{
    if (!menu->isEmpty())
        menu->addSeparator();
    QAction *find = menu->addAction(QStringLiteral("Find..."));
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, m_findBar, &FindBar::open);
    QAction *next = menu->addAction(QStringLiteral("Find Next"));
    next->setShortcut(QKeySequence(Qt::Key_F3));
    connect(next, &QAction::triggered, m_findBar, &FindBar::findNext);
    QAction *previous = menu->addAction(QStringLiteral("Find Previous"));
    previous->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    connect(previous, &QAction::triggered, m_findBar, &FindBar::findPrevious);
}

// The View menu, whichever feature made it first; a new one stands before Help.
QMenu *Form1::viewMenu()
{
    const QString title = QStringLiteral("&View");
    for (QAction *action : menuBar()->actions()) {
        if (action->menu() && action->menu()->title() == title)
            return action->menu();
    }
    auto *menu = new QMenu(title, this);
    menuBar()->insertMenu(mnuHelp->menuAction(), menu);
    return menu;
}
