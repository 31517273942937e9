// The settings row: each box undoes what it cannot take, and the row is locked while capturing.
#include "app/form1.h"
#include "settings/portrules.h"

#include <QComboBox>

namespace {

void setBoxText(QComboBox *box, const QString &text)
{
    if (box->currentText() != text)
        box->setEditText(text);
}

} // namespace

void Form1::Combo1_Validate()
{
    QString port = Combo1->currentText();
    PortRules::validatePortNumber(port, LastPortNumber);
    setBoxText(Combo1, port);
}

void Form1::Combo2_Validate()
{
    QString dataBits = Combo2->currentText();
    QString stopBits = Combo4->currentText();
    PortRules::validateDataBits(dataBits, stopBits, LastDataBits, LastStopBits);
    setBoxText(Combo2, dataBits);
    setBoxText(Combo4, stopBits);
}

void Form1::Combo3_Validate()
{
    QString parity = Combo3->currentText();
    PortRules::validateParity(parity, LastParity);
    setBoxText(Combo3, parity);
}

void Form1::Combo4_Validate()
{
    QString stopBits = Combo4->currentText();
    PortRules::validateStopBits(Combo2->currentText(), stopBits, LastStopBits);
    setBoxText(Combo4, stopBits);
}

void Form1::Combo5_Validate()
{
    QString baud = Combo5->currentText();
    PortRules::validateBaudRate(baud, LastBaudRate);
    setBoxText(Combo5, baud);
}

void Form1::setSettingsRowEnabled(bool enabled)
{
    for (QComboBox *box : {Combo1, Combo2, Combo3, Combo4, Combo5})
        box->setEnabled(enabled);
}
