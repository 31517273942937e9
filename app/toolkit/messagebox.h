#pragma once

#include <QString>
#include <functional>

class QWidget;

// Modal message boxes, with the styles and answers the window's handlers speak in.
namespace MessageBox {

enum Style { Information = 64, Warning = 48, YesNoQuestion = 4 + 32 };
enum Answer { Ok = 1, Yes = 6, No = 7 };

struct Shown
{
    QString text;
    int style = Information;
    QString title;
};

int show(QWidget *parent, const QString &text, int style, const QString &title);

// Lets tests answer the boxes instead of a person; an empty responder restores real boxes.
using Responder = std::function<int(const Shown &)>;
void setResponder(Responder responder);

} // namespace MessageBox
