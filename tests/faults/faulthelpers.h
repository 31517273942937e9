#pragma once

#include "form1.h"
#include "logview.h"
#include "support/pseudoterminal.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <sys/resource.h>

// Shared by the fault and soak tests: the window's two states, and the hex it must show rendered
// apart from the program's own code.
namespace Faults {

inline const QByteArray kNotice =
    "\r\nCommPort1 not available. Change the 'Serial Port No:' property to another port.\r\n";

inline void appendHex(QByteArray &out, QByteArrayView bytes, int perLine, int &column)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        if (uchar(c) > 15)
            out += digits[uchar(c) / 16];
        out += digits[uchar(c) % 16];
        out += ' ';
        if (++column > perLine) {
            column = 1;
            out += "\r\n";
        }
    }
}

inline QByteArray hexOf(QByteArrayView bytes, int perLine = 28, int column = 1)
{
    QByteArray out;
    appendHex(out, bytes, perLine, column);
    return out;
}

// After a fault, half a second of events may not eat the processor.
inline bool settlesQuietly()
{
    const auto cpuSeconds = [] {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
               (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    };
    const double before = cpuSeconds();
    QTest::qWait(500);
    return cpuSeconds() - before < 0.15;
}

inline bool capturing(const Form1 &form)
{
    return !form.Command1->isEnabled() && form.Command2->isEnabled() && !form.Combo1->isEnabled() &&
           form.MSComm1.portOpen();
}

inline bool idle(const Form1 &form)
{
    return form.Command1->isEnabled() && !form.Command2->isEnabled() &&
           form.Command1->isDefault() && form.Combo1->isEnabled() && form.Combo5->isEnabled() &&
           !form.MSComm1.portOpen();
}

// Start, receive the bytes, Stop: gives the view's text, or a marker when a step went wrong.
inline QByteArray captureOnce(Form1 &form, PseudoTerminal &terminal, const QByteArray &bytes)
{
    const QByteArray expected = form.Text1->text() + hexOf(bytes, 28, form.ColumnCount);
    form.Command1_Click();
    if (!capturing(form) || !terminal.write(bytes) ||
        !QTest::qWaitFor([&] { return form.Text1->length() == expected.size(); }, 10000))
        return "<capture failed>";
    form.Command2_Click();
    return !idle(form) ? "<not idle after Stop>" : form.Text1->text();
}

} // namespace Faults
