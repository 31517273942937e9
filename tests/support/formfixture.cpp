#include "support/formfixture.h"
#include "support/files.h"

#include <QSettings>

FormFixture::FormFixture()
{
    QDir::setCurrent(dir.path());
    // The View menu's choices are kept in the fixture's folder, never in the user's.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("config"));
    MessageBox::setResponder([this](const MessageBox::Shown &shown) {
        boxes.append(shown);
        return shown.style == MessageBox::YesNoQuestion ? answer : int(MessageBox::Ok);
    });
}

FormFixture::~FormFixture()
{
    form.reset();
    MessageBox::setResponder({});
    QDir::setCurrent(previousDir);
}

QByteArray FormFixture::logFile() const
{
    return fileBytes(path("log.txt"), "<missing>");
}

void FormFixture::writeLogFile(const QByteArray &bytes) const
{
    if (!writeFileBytes(path("log.txt"), bytes))
        qWarning("could not write log.txt");
}

Form1 &FormFixture::start()
{
    // The window before lets go of the log first: a second one would find it in use.
    form.reset();
    form = std::make_unique<Form1>();
    form->show();
    form->activateWindow();
    // Focus and validation need the window active; a test that needed it fails on its own.
    if (!QTest::qWaitForWindowActive(form.get()))
        qWarning("window did not become active");
    return *form;
}
