#include "formfixture.h"

#include <QFile>

FormFixture::FormFixture()
{
    QDir::setCurrent(dir.path());
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
    QFile file(path("log.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void FormFixture::writeLogFile(const QByteArray &bytes) const
{
    QFile file(path("log.txt"));
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

Form1 &FormFixture::start()
{
    form = std::make_unique<Form1>();
    form->show();
    form->activateWindow();
    // Focus and validation need the window active; a test that needed it fails on its own.
    if (!QTest::qWaitForWindowActive(form.get()))
        qWarning("window did not become active");
    return *form;
}
