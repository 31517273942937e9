#include "form1.h"
#include "linecontrol.h"
#include "logview.h"
#include "twips.h"

#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>

namespace {

void place(QWidget *widget, float left, float top, float width, float height)
{
    widget->setGeometry(Twips::toPixels(left), Twips::toPixels(top), Twips::toPixels(width),
                        Twips::toPixels(height));
}

QComboBox *makeCombo(QWidget *parent, const QStringList &items, const QString &text)
{
    auto *box = new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    // Inline completion would change what the user typed.
    box->setCompleter(nullptr);
    box->addItems(items);
    box->setCurrentIndex(items.indexOf(text));
    return box;
}

QLabel *makeLabel(QWidget *parent, const QString &caption, const QString &tip)
{
    auto *label = new QLabel(caption, parent);
    label->setToolTip(tip);
    return label;
}

QPushButton *makeButton(QWidget *parent, const QString &caption, const QString &tip)
{
    auto *button = new QPushButton(caption, parent);
    button->setToolTip(tip);
    button->setAutoDefault(false);
    return button;
}

} // namespace

void Form1::createControls()
{
    Combo1 = makeCombo(m_client, {"1", "2"}, "1");
    place(Combo1, 1440, 205, 735, 315);
    Combo5 = makeCombo(
        m_client,
        {"1200", "2400", "4800", "9600", "14400", "19200", "28800", "38400", "57600", "115200"},
        "9600");
    Combo5->setToolTip("Change baud rate from here");
    place(Combo5, 1440, 695, 975, 315);
    Combo2 = makeCombo(m_client, {"5", "6", "7", "8"}, "8");
    place(Combo2, 3840, 205, 735, 315);
    Combo3 = makeCombo(m_client, {"Even", "Odd", "None"}, "None");
    place(Combo3, 3840, 695, 735, 315);
    Combo4 = makeCombo(m_client, {"1", "1.5", "2"}, "1");
    place(Combo4, 6240, 205, 735, 315);

    Label1 = makeLabel(m_client, "Serial Port No:", "Enter serial port number here");
    place(Label1, 120, 240, 1200, 255);
    Label2 = makeLabel(m_client, "BPS:", "Enter baud rate here");
    place(Label2, 120, 720, 1200, 255);
    Label3 = makeLabel(m_client, "Data Bits:", "Enter number of information bits here");
    place(Label3, 2520, 240, 1200, 255);
    Label4 = makeLabel(m_client, "Parity:", "Enter type of parity control here");
    place(Label4, 2520, 720, 1200, 255);
    Label5 = makeLabel(m_client, "Stop Bits:", "Enter number of stop bits here");
    place(Label5, 4920, 240, 1200, 255);
    Label6 = makeLabel(m_client, "Filename: LOG.TXT", QString());
    place(Label6, 5460, 750, 1515, 255);

    Text1 = new LogView(m_client);
    Text1->setToolTip("Logged data");
    Text1->setAccessibleName("Logged data");
    place(Text1, 0, 1200, 7215, 4815);

    Command1 = makeButton(m_client, "&Start", "Click to start logging");
    place(Command1, 360, 6240, 1095, 375);
    Command2 = makeButton(m_client, "Sto&p", "Click to stop logging");
    place(Command2, 2160, 6240, 1095, 375);
    Command2->setEnabled(false);
    Command3 = makeButton(m_client, "&Clear", "Click to clear log and log file");
    place(Command3, 3960, 6240, 1095, 375);
    Command4 = makeButton(m_client, "&Exit", "Click to close");
    place(Command4, 5880, 6240, 1095, 375);

    Line1 = new LineControl(m_client);
    Line1->setX2Pixels(Twips::toPixels(7200));

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
