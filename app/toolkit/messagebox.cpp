#include "app/toolkit/messagebox.h"

#include <QMessageBox>

namespace {
MessageBox::Responder s_responder;
} // namespace

namespace MessageBox {

void setResponder(Responder responder)
{
    s_responder = std::move(responder);
}

int show(QWidget *parent, const QString &text, int style, const QString &title)
{
    if (s_responder)
        return s_responder(Shown{text, style, title});
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    box.setWindowModality(Qt::ApplicationModal);
    if (style == YesNoQuestion) {
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? Yes : No;
    }
    box.setIcon(style == Warning ? QMessageBox::Warning : QMessageBox::Information);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return Ok;
}

} // namespace MessageBox
