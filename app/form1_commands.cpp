#include "app/form1.h"
#include "app/logview/logview.h"
#include "app/toolkit/messagebox.h"
#include "logfile/journal.h"

#include <QPushButton>

void Form1::Command3_Click()
{
    Text1->setText(QByteArray());
    // log.txt still holds the old text: the next save writes it whole.
    m_savedSize = -1;
    m_journal->clear();
    Text1->setFocus();
}

void Form1::Command4_Click()
{
    if (!runExitSteps())
        return;
    m_ending = true;
    close();
}

bool Form1::runExitSteps()
{
    if (Command2->isEnabled())
        Command2_Click();
    if (SaveFile(LogFileName) || m_quiet)
        return true;
    // The user may free space or mend the file first; quitting keeps the journal for next time.
    const int answer = MessageBox::show(
        this,
        m_journal->isOpen()
            ? "The log could not be saved.\r\nQuit anyway? What was captured since the last save "
              "stays in " +
                  m_journal->dataPath() + " and comes back at the next start in this folder."
            : QStringLiteral("The log could not be saved.\r\nQuit anyway and lose what was "
                             "captured since the last save?"),
        MessageBox::YesNoQuestion, appTitle());
    return answer == MessageBox::Yes;
}

void Form1::mnuFileExit_Click()
{
    Command4_Click();
}

void Form1::mnuHelpAbout_Click()
{
    MessageBox::show(this,
                     "Tavrel Serial Port Logger, by the Tavrel developers,\r\n"
                     "Copyright (C) 2026 the Tavrel developers",
                     MessageBox::Information, appTitle());
}
