#include "app/form1.h"
#include "app/form1_design.h"
#include "app/logview/logview.h"
#include "app/toolkit/linecontrol.h"
#include "app/toolkit/twips.h"
#include "settings/choices.h"
#include "settings/numbers.h"

#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>

namespace {

void place(QWidget *widget, const Design::Control &design)
{
    widget->setGeometry(Twips::toPixels(design.left), Twips::toPixels(design.top),
                        Twips::toPixels(design.width), Twips::toPixels(design.height));
}

QComboBox *makeCombo(QWidget *parent, const Design::Control &design, const QStringList &items,
                     const QString &text)
{
    auto *box = new QComboBox(parent);
    box->setToolTip(design.tip);
    place(box, design);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    // Inline completion would change what the user typed.
    box->setCompleter(nullptr);
    box->addItems(items);
    box->setCurrentIndex(items.indexOf(text));
    return box;
}

QLabel *makeLabel(QWidget *parent, const Design::Control &design)
{
    auto *label = new QLabel(design.caption, parent);
    label->setToolTip(design.tip);
    place(label, design);
    return label;
}

QPushButton *makeButton(QWidget *parent, const Design::Control &design)
{
    auto *button = new QPushButton(design.caption, parent);
    button->setToolTip(design.tip);
    button->setAutoDefault(false);
    place(button, design);
    return button;
}

} // namespace

void Form1::createControls()
{
    using Numbers::numberText;
    Combo1 = makeCombo(m_client, Design::kCombo1, Choices::portNumberTexts(),
                       numberText(Choices::kStartPortNumber));
    Combo5 = makeCombo(m_client, Design::kCombo5, Choices::baudRateTexts(),
                       numberText(Choices::kStartBaudRate));
    Combo2 = makeCombo(m_client, Design::kCombo2, Choices::dataBitsTexts(),
                       numberText(Choices::kStartDataBits));
    Combo3 = makeCombo(m_client, Design::kCombo3, Choices::parityTexts(), Choices::kStartParity);
    Combo4 = makeCombo(m_client, Design::kCombo4, Choices::stopBitsTexts(),
                       numberText(Choices::kStartStopBits));

    Label1 = makeLabel(m_client, Design::kLabel1);
    Label2 = makeLabel(m_client, Design::kLabel2);
    Label3 = makeLabel(m_client, Design::kLabel3);
    Label4 = makeLabel(m_client, Design::kLabel4);
    Label5 = makeLabel(m_client, Design::kLabel5);
    Label6 = makeLabel(m_client, Design::kLabel6);

    Text1 = new LogView(m_client);
    Text1->setToolTip(Design::kText1.tip);
    Text1->setAccessibleName("Logged data");
    place(Text1, Design::kText1);

    Command1 = makeButton(m_client, Design::kCommand1);
    Command2 = makeButton(m_client, Design::kCommand2);
    Command2->setEnabled(false);
    Command3 = makeButton(m_client, Design::kCommand3);
    Command4 = makeButton(m_client, Design::kCommand4);

    Line1 = new LineControl(m_client);
    Line1->setX2Pixels(Twips::toPixels(Design::kLine1X2));

    const QList<std::pair<QWidget *, const char *>> names = {
        {Combo1, "Combo1"},     {Combo2, "Combo2"},     {Combo3, "Combo3"},
        {Combo4, "Combo4"},     {Combo5, "Combo5"},     {Label1, "Label1"},
        {Label2, "Label2"},     {Label3, "Label3"},     {Label4, "Label4"},
        {Label5, "Label5"},     {Label6, "Label6"},     {Text1, "Text1"},
        {Line1, "Line1"},       {Command1, "Command1"}, {Command2, "Command2"},
        {Command3, "Command3"}, {Command4, "Command4"}};
    for (const auto &[widget, name] : names)
        widget->setObjectName(name);
    // A screen reader names each box after the label beside it: by name, and by the label
    // relation that desktop screen readers on Linux read.
    const QList<std::tuple<QLabel *, QComboBox *, const char *>> labelled = {
        {Label1, Combo1, "Serial Port No"},
        {Label2, Combo5, "BPS"},
        {Label3, Combo2, "Data Bits"},
        {Label4, Combo3, "Parity"},
        {Label5, Combo4, "Stop Bits"}};
    for (const auto &[label, box, name] : labelled) {
        label->setBuddy(box);
        box->setAccessibleName(name);
    }
    Line1->setAccessibleName("Separator");

    const QList<QWidget *> tabOrder = {Command1, Command2, Command3, Command4, Combo1,
                                       Combo5,   Combo2,   Combo3,   Combo4,   Text1};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void Form1::createMenus()
{
    mnuFile = menuBar()->addMenu("&File");
    mnuFileExit = mnuFile->addAction("Exit");
    mnuFileExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    mnuHelp = menuBar()->addMenu("&Help");
    mnuHelpAbout = mnuHelp->addAction("About");
}
