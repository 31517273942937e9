#pragma once

#include "app/form1.h"
#include "app/logview/logview.h"
#include "app/toolkit/messagebox.h"

#include <QComboBox>
#include <QDir>
#include <QList>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// A control of the window, found by its object name; a missing one ends the test run.
template <typename T> T *control(const QWidget &window, const QString &name)
{
    T *found = window.findChild<T *>(name);
    if (!found)
        qFatal("the window has no control named %s of the type asked for", qPrintable(name));
    return found;
}

// A window started in a fresh current directory, with every message box answered and recorded.
struct FormFixture
{
    QTemporaryDir dir;
    QString previousDir = QDir::currentPath();
    QList<MessageBox::Shown> boxes;
    int answer = MessageBox::Yes;
    std::unique_ptr<Form1> form;

    FormFixture();
    ~FormFixture();
    FormFixture(const FormFixture &) = delete;
    FormFixture &operator=(const FormFixture &) = delete;

    QString path(const QString &name) const { return dir.filePath(name); }
    QByteArray logFile() const;
    void writeLogFile(const QByteArray &bytes) const;
    // Shows a new window and waits until it is active.
    Form1 &start();

    QPushButton *button(const QString &name) const { return control<QPushButton>(*form, name); }
    QComboBox *box(const QString &name) const { return control<QComboBox>(*form, name); }
    LogView *view() const { return control<LogView>(*form, "Text1"); }
};
