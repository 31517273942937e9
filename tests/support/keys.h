#pragma once

#include <QKeySequence>
#include <QTest>
#include <QWidget>

// Presses each key of a list such as "Home, Shift+End" in turn.
inline void press(QWidget *widget, const char *keys)
{
    const QKeySequence sequence(QString::fromLatin1(keys));
    for (int i = 0; i < sequence.count(); ++i)
        QTest::keySequence(widget, QKeySequence(sequence[i]));
}
