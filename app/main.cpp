#include "app/commandline.h"
#include "app/form1.h"
#include "app/toolkit/closeonsignal.h"
#include "app/toolkit/nodisplay.h"
#include "app/toolkit/windowloss.h"

#include <QApplication>
#include <QTimer>
#include <optional>

int main(int argc, char *argv[])
{
    bool startCapture = false;
    if (const std::optional<int> status = CommandLine::handle(argc, argv, startCapture))
        return *status;
    std::optional<ExitWithoutDisplay> noDisplay(std::in_place);
    QApplication app(argc, argv);
    noDisplay.reset();
    QApplication::setApplicationName(Form1::appTitle());
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.tavrel.Tavrel"));
    Form1 *live = nullptr;
    bool terminated = false;
    // Installed first, so that a start-up warning that nobody answers does not keep the session.
    onTerminationSignals(&app, [&] {
        terminated = true;
        if (live)
            live->endSession();
        else
            QCoreApplication::exit(0);
    });
    Form1 form;
    if (form.startRefused() || terminated)
        return form.startRefused() ? 1 : 0;
    live = &form;
    form.show();
    onWindowDestroyedFromOutside(&form, [&form] { form.endSession(); });
    if (startCapture)
        QTimer::singleShot(0, &form, &Form1::Command1_Click);
    return QApplication::exec();
}
