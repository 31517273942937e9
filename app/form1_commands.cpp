#include "form1.h"
#include "logview.h"
#include "messagebox.h"

#include <QPushButton>

void Form1::Command3_Click()
{
    Text1->setText(QByteArray());
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
    if (SaveFile(LogFileName))
        return true;
    // Leaving now would lose the log; the user may free space or mend the file first.
    const int answer = MessageBox::show(
        this,
        "The log could not be saved.\r\nQuit anyway and lose what was captured since the last "
        "save?",
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
