#pragma once

#include "form1.h"

#include <QByteArray>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <sys/resource.h>

namespace Faults {

inline double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// After a fault the program must settle: half a second of events may not eat the processor.
inline bool settlesQuietly()
{
    const double before = cpuSeconds();
    QTest::qWait(500);
    return cpuSeconds() - before < 0.15;
}

inline QByteArray hexOf(const QByteArray &bytes, int perLine = 28, int column = 1)
{
    QByteArray out;
    for (const char c : bytes) {
        out += QByteArray::number(uchar(c), 16).toUpper() + ' ';
        if (++column > perLine) {
            column = 1;
            out += "\r\n";
        }
    }
    return out;
}

inline QByteArray noticeFor(const QByteArray &portText)
{
    return "\r\nCommPort" + portText +
           " not available. Change the 'Serial Port No:' property to another port.\r\n";
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

} // namespace Faults
