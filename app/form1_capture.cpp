#include "app/form1.h"
#include "app/logview/logview.h"
#include "capture/hexrender.h"
#include "capture/portsettings.h"
#include "logfile/journal.h"
#include "settings/numbers.h"

#include <QComboBox>
#include <QPushButton>

void Form1::Command1_Click()
{
    setDefaultButton(Command1, false);
    setDefaultButton(Command2, true);
    Command1->setEnabled(false);
    Command2->setEnabled(true);
    setSettingsRowEnabled(false);
    Text1->setSelStart(Text1->length());
    Text1->setFocus();
    PortSettings = composeSettingsString(Combo5->currentText(), Combo3->currentText(),
                                         Combo2->currentText(), Combo4->currentText());
    if (!setUpPort()) {
        const QByteArray notice = portUnavailableNotice(Combo1->currentText()).toLatin1();
        Text1->setSelText(notice);
        m_journal->append(notice);
        Command2_Click();
    }
}

bool Form1::setUpPort()
{
    const std::optional<qint16> port = Numbers::strictToInt16(Combo1->currentText());
    if (!port) {
        reportPortCause("Not a port number: " + Combo1->currentText());
        return false;
    }
    const std::optional<LineSettings> settings = parseSettingsString(PortSettings);
    if (!settings) {
        reportPortCause("Settings not accepted: " + PortSettings);
        return false;
    }
    MSComm1.setSettings(*settings);
    const bool opened = MSComm1.setCommPort(*port) && MSComm1.setPortOpen(true);
    reportPortCause(opened ? QString()
                           : CommControl::devicePath(*port) + ": " + MSComm1.errorString());
    return opened;
}

void Form1::Command2_Click()
{
    setDefaultButton(Command2, false);
    setDefaultButton(Command1, true);
    Command2->setEnabled(false);
    Command1->setEnabled(true);
    setSettingsRowEnabled(true);
    MSComm1.setPortOpen(false);
    showWaitState();
    SaveFile(LogFileName);
    Text1->setFocus();
}

void Form1::MSComm1_OnComm()
{
    // Everything waiting is taken; nothing that arrives meanwhile is thrown away.
    ReceivedData = MSComm1.input();
    QByteArray items;
    appendHexItems(items, ReceivedData, ColumnCount, lineCapacity(text1Width()));
    if (!items.isEmpty()) {
        keepCaretAtEnd();
        Text1->setSelText(items);
        m_journal->append(items);
    }
    ByteIndex = ReceivedData.size() + 1;
}

void Form1::keepCaretAtEnd()
{
    // A caret moved with the keys must neither overwrite captured items nor split them.
    if (Text1->selStart() != Text1->length() || Text1->selLength() != 0)
        Text1->setSelStart(Text1->length());
}

void Form1::MSComm1_DeviceLost()
{
    if (!Command2->isEnabled())
        return;
    // What arrived is in the log view already: on disk with it, then wait for the device.
    SaveFile(LogFileName);
    MSComm1.followDevice();
    showWaitState();
}

void Form1::MSComm1_WaitChanged()
{
    showWaitState();
}

void Form1::MSComm1_DeviceBack()
{
    showWaitState();
}

void Form1::Text1_Click()
{
    if (!Command1->isEnabled())
        Text1->setSelStart(Text1->length());
}
