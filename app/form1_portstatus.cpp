#include "app/form1.h"
#include "settings/numbers.h"

#include <QComboBox>
#include <QPushButton>
#include <cstdio>

namespace {

void printLine(const QString &line)
{
    std::fprintf(stderr, "tavrel: %s\n", qPrintable(line));
    std::fflush(stderr);
}

} // namespace

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
