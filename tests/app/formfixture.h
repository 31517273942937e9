#pragma once

#include "form1.h"
#include "messagebox.h"

#include <QDir>
#include <QList>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// A window started in a fresh current directory, with every message box answered and recorded.
struct FormFixture
{
    QTemporaryDir dir;
    QString previousDir = QDir::currentPath();
    QList<MessageBox::Shown> boxes;
    int answer = MessageBox::Yes;
    std::unique_ptr<Form1> form;

    FormFixture()
    {
        QDir::setCurrent(dir.path());
        MessageBox::setResponder([this](const MessageBox::Shown &shown) {
            boxes.append(shown);
            return shown.style == MessageBox::YesNoQuestion ? answer : int(MessageBox::Ok);
        });
    }
    ~FormFixture()
    {
        form.reset();
        MessageBox::setResponder({});
        QDir::setCurrent(previousDir);
    }

    QString path(const QString &name) const { return dir.filePath(name); }

    QByteArray logFile() const
    {
        QFile file(path("log.txt"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    void writeLogFile(const QByteArray &bytes) const
    {
        QFile file(path("log.txt"));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }

    Form1 &start()
    {
        form = std::make_unique<Form1>();
        form->show();
        form->activateWindow();
        // Focus and validation need the window active; a test that needed it fails on its own.
        if (!QTest::qWaitForWindowActive(form.get()))
            qWarning("window did not become active");
        return *form;
    }
};
