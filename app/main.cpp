#include "closeonsignal.h"
#include "commandline.h"
#include "form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = CommandLine::handle(argc, argv))
        return *status;
    QApplication app(argc, argv);
    QApplication::setApplicationName(Form1::appTitle());
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.tavrel.Tavrel"));
    Form1 form;
    closeOnTerminationSignals(&form);
    form.show();
    return app.exec();
}
