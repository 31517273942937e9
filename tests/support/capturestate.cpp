#include "support/capturestate.h"
#include "app/logview/logview.h"
#include "support/formfixture.h"
#include "support/hexreference.h"
#include "support/pseudoterminal.h"

#include <QComboBox>
#include <QPushButton>
#include <climits>
#include <sys/resource.h>

namespace {

const char *const kSettingsRow[] = {"Combo1", "Combo2", "Combo3", "Combo4", "Combo5"};

bool settingsRowEnabled(const Form1 &form, bool enabled)
{
    for (const char *name : kSettingsRow)
        if (control<QComboBox>(form, name)->isEnabled() != enabled)
            return false;
    return true;
}

// Which of Start and Stop the user can press, and which one Enter presses.
bool buttonsShow(const Form1 &form, bool capturing)
{
    const QPushButton *start = control<QPushButton>(form, "Command1");
    const QPushButton *stop = control<QPushButton>(form, "Command2");
    return start->isEnabled() != capturing && stop->isEnabled() == capturing &&
           start->isDefault() != capturing && stop->isDefault() == capturing;
}

} // namespace

QByteArray notAvailableNotice(int port)
{
    return "\r\nCommPort" + QByteArray::number(port) +
           " not available. Change the 'Serial Port No:' property to another port.\r\n";
}

bool showsCapture(const Form1 &form)
{
    return buttonsShow(form, true) && settingsRowEnabled(form, false);
}

bool capturing(const Form1 &form)
{
    return showsCapture(form) && form.MSComm1.portOpen();
}

bool idle(const Form1 &form)
{
    return buttonsShow(form, false) && settingsRowEnabled(form, true) && !form.MSComm1.portOpen() &&
           !form.MSComm1.isWaiting();
}

QByteArray captureOnce(Form1 &form, PseudoTerminal &terminal, const QByteArray &bytes)
{
    const LogView *view = control<LogView>(form, "Text1");
    const qsizetype before = view->length();
    // Where the line breaks fall is the caller's to check; here only the items are waited for.
    const QByteArray items = hexOf(bytes, INT_MAX);
    const auto arrived = [&] { return view->text().mid(before).replace("\r\n", "") == items; };
    form.Command1_Click();
    if (!capturing(form) || !terminal.write(bytes) || !QTest::qWaitFor(arrived, 10000))
        return "<capture failed>";
    form.Command2_Click();
    return !idle(form) ? "<not idle after Stop>" : view->text();
}

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool settlesQuietly()
{
    const double before = cpuSeconds();
    QTest::qWait(500);
    return cpuSeconds() - before < 0.15;
}
