// Capture: Start and Stop, what the port hands over, and what the window tells of the port.
#include "app/form1.h"
#include "app/logview/logview.h"
#include "capture/hexrender.h"
#include "capture/portsettings.h"
#include "posix/errortext.h"
#include "posix/pathname.h"
#include "settings/numbers.h"

#include <QComboBox>
#include <QPushButton>
#include <cstdio>

namespace {

void printLine(const QString &line)
{
    // A device's name goes out as the bytes it is, not as text.
    std::fprintf(stderr, "tavrel: %s\n", PathName::encodePath(line).constData());
    std::fflush(stderr);
}

} // namespace

bool Form1::isCapturing() const
{
    // Start and Stop swap places at every step of a capture, so Stop alone tells.
    return Command2->isEnabled();
}

void Form1::Command1_Click()
{
    setDefaultButton(Command1, false);
    setDefaultButton(Command2, true);
    Command1->setEnabled(false);
    Command2->setEnabled(true);
    setSettingsRowEnabled(false);
    Text1->setSelStart(Text1->length());
    Text1->setFocus();
    startCaptureFigures();
    PortSettings = composeSettingsString(Combo5->currentText(), Combo3->currentText(),
                                         Combo2->currentText(), Combo4->currentText());
    if (!setUpPort()) {
        const QByteArray notice = portUnavailableNotice(Combo1->currentText()).toLatin1();
        Text1->setSelText(notice);
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
    // What the reader took from the device before it stopped belongs to this capture.
    MSComm1_OnComm();
    showWaitState();
    stopCaptureFigures();
    SaveFile(LogFileName);
    Text1->setFocus();
}

void Form1::MSComm1_OnComm()
{
    // Everything waiting is taken; nothing that arrives meanwhile is thrown away.
    const QByteArray ReceivedData = MSComm1.input();
    countReceived(ReceivedData.size());
    QByteArray items;
    appendHexItems(items, ReceivedData, ColumnCount, lineCapacity(text1Width()));
    if (!items.isEmpty()) {
        keepCaretAtEnd();
        Text1->setSelText(items);
        reportFullDisk();
    }
}

void Form1::reportFullDisk()
{
    const qint64 waiting = m_keeper->unwrittenBytes();
    // Once for each spell: the disk that takes the text again ends it.
    if (waiting == 0 || m_diskFullWarned) {
        m_diskFullWarned = waiting > 0;
        return;
    }
    m_diskFullWarned = true;
    warn("Could not write to " + m_keeper->unsavedTextPath() + ": " +
         errorText(m_keeper->unwrittenCause()) +
         "\r\nThe capture goes on. What arrives is kept in memory until the disk takes it "
         "again, and is lost if Tavrel is killed meanwhile; Stop saves it to " +
         LogFileName + ".");
}

void Form1::keepCaretAtEnd()
{
    // A caret moved with the keys must neither overwrite captured items nor split them; a held
    // view keeps it where the user put it, as the items go to the end all the same.
    if (Text1->isHeld())
        return;
    if (Text1->selStart() != Text1->length() || Text1->selLength() != 0)
        Text1->setSelStart(Text1->length());
}

void Form1::MSComm1_DeviceLost()
{
    if (!isCapturing())
        return;
    // What arrived goes into the view and onto the disk with it, then the device is waited for.
    MSComm1_OnComm();
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
    // A view the user holds keeps the click, so a selection can be made while data arrives.
    if (isCapturing() && !Text1->isHeld())
        Text1->setSelStart(Text1->length());
}

void Form1::reportPortCause(const QString &cause)
{
    if (!cause.isEmpty() && cause != m_portCause)
        printLine(cause);
    m_portCause = cause;
    updatePortTip();
}

void Form1::updatePortTip()
{
    const std::optional<qint16> port = Numbers::strictToInt16(Combo1->currentText());
    QString tip = port && *port >= 1
                      ? QString("Port %1 opens %2").arg(*port).arg(CommControl::devicePath(*port))
                      : QString("Enter serial port number here");
    if (!m_portCause.isEmpty())
        tip += "\n" + m_portCause;
    Combo1->setToolTip(tip);
}

void Form1::showWaitState()
{
    QString note;
    if (MSComm1.isWaiting())
        note = "waiting for " + MSComm1.path() +
               (MSComm1.waitCause().isEmpty() ? QString() : ": " + MSComm1.waitCause());
    if (note == m_waitNote)
        return;
    if (!note.isEmpty())
        printLine(note);
    QString title = windowTitle();
    if (!m_waitNote.isEmpty() && title.endsWith(" - " + m_waitNote))
        title.chop(m_waitNote.size() + 3);
    m_waitNote = note;
    setWindowTitle(note.isEmpty() ? title : title + " - " + note);
    Command2->setToolTip(note.isEmpty() ? QString("Click to stop logging")
                                        : "Capture " + note + ".\nClick to stop logging");
}
