#include "closeonsignal.h"
#include "form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(Form1::appTitle());
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.tavrel.Tavrel"));
    Form1 form;
    closeOnTerminationSignals(&form);
    form.show();
    return app.exec();
}
