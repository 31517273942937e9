// The window's shape: its controls and menus as designed, their measures in twips, and the
// layout that follows the window's size.
#include "app/form1.h"
#include "app/form1_design.h"
#include "app/logview/logview.h"
#include "app/toolkit/dialogbuttons.h"
#include "app/toolkit/focusvalidation.h"
#include "app/toolkit/linecontrol.h"
#include "app/toolkit/menushortcuts.h"
#include "app/toolkit/twips.h"
#include "settings/choices.h"
#include "settings/numbers.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace {

// A full line of the widest hex items, "DD " or whichever digit the font draws widest.
QString widestLineOfItems()
{
    const QFontMetricsF metrics(QApplication::font());
    QChar widest = u'0';
    for (const QChar digit : QStringLiteral("0123456789ABCDEF"))
        if (metrics.horizontalAdvance(digit) > metrics.horizontalAdvance(widest))
            widest = digit;
    return QString(QString(2, widest) + u' ').repeated(28);
}

// The platform's twips per pixel, unless the font would not fit the design's widths.
double twipsPerPixelFor(const QWidget &window)
{
    const int scrollBar = window.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    using namespace Design;
    return Twips::chooseTwipsPerPixel(window.logicalDpiX(), QApplication::font(),
                                      {{widestLineOfItems(), kText1.width, scrollBar + 12},
                                       {kLabel1.caption, kLabel1.width, 4},
                                       {kLabel6.caption, kLabel6.width, 4},
                                       {kCommand2.caption, kCommand2.width, 16}});
}

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

// Margins from the client area's edges; the design's outer-size margins less its borders.
constexpr float kLogHeightMargin = 1935;
constexpr float kLogWidthMargin = 15;
constexpr float kLineEndMargin = 30;
constexpr float kButtonRowOffset = 510;

} // namespace

void Form1::chooseTwipsPerPixel()
{
    Twips::setTwipsPerPixel(twipsPerPixelFor(*this));
}

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
    createExportMenuItems();
    createViewMenu();
    mnuHelp = menuBar()->addMenu("&Help");
    mnuHelpAbout = mnuHelp->addAction("About");
}

void Form1::setUpToolkit()
{
    m_clientWidth.set(Design::kClientWidth);
    m_clientHeight.set(Design::kClientHeight);
    m_client->setMinimumSize(Twips::toPixels(kMinClientWidth), Twips::toPixels(kMinClientHeight));
    m_client->installEventFilter(this);
    m_text1Width.set(Design::kText1.width);
    m_text1Height.set(Design::kText1.height);
    m_line1X2.set(Design::kLine1X2);
    m_buttonTop.set(Design::kCommand1.top);
    resize(Twips::toPixels(Design::kClientWidth),
           Twips::toPixels(Design::kClientHeight) + menuBar()->sizeHint().height());
    // On a small screen or at a large scale factor the first size must still fit, title bar
    // included; the layout follows whatever size that gives.
    if (const QScreen *display = screen()) {
        constexpr int kTitleBarAllowance = 48;
        resize(
            size().boundedTo(display->availableGeometry().size() - QSize(0, kTitleBarAllowance)));
    }

    m_dialogButtons = new DialogButtons(this);
    setDefaultButton(Command1, true);
    m_dialogButtons->setCancel(Command4);
    m_focusValidation = new FocusValidation(this);
    auto *menuShortcuts = new MenuShortcuts(this);
    menuShortcuts->givePriority(mnuFileExit);
    // Enter in a box validates it first, as a click on the button would.
    m_dialogButtons->setBeforeDefault([this] {
        if (QComboBox *box = m_focusValidation->focusedBox())
            m_focusValidation->validate(box);
    });
}

void Form1::setDefaultButton(QPushButton *button, bool isDefault)
{
    m_dialogButtons->setDefault(button, isDefault);
}

float Form1::clientWidth() const
{
    return m_clientWidth.read(m_client->width());
}

float Form1::clientHeight() const
{
    return m_clientHeight.read(m_client->height());
}

void Form1::setClientSize(float width, float height)
{
    m_clientWidth.set(width);
    m_clientHeight.set(height);
    resize(size() + QSize(Twips::toPixels(width), Twips::toPixels(height)) - m_client->size());
}

float Form1::text1Width() const
{
    return m_text1Width.read(Text1->width());
}

float Form1::text1Height() const
{
    return m_text1Height.read(Text1->height());
}

float Form1::line1X2() const
{
    return m_line1X2.read(Line1->width() - 1);
}

float Form1::buttonTop(const QPushButton *button) const
{
    return m_buttonTop.read(button->y());
}

void Form1::setText1Size(float width, float height)
{
    m_text1Width.set(width);
    m_text1Height.set(height);
    Text1->resize(Twips::toPixels(width), Twips::toPixels(height));
}

void Form1::setLine1X2(float x2)
{
    m_line1X2.set(x2);
    Line1->setX2Pixels(Twips::toPixels(x2));
}

void Form1::setButtonTop(float top)
{
    m_buttonTop.set(top);
    for (QPushButton *button : {Command1, Command2, Command3, Command4})
        button->move(button->x(), Twips::toPixels(top));
}

int Form1::windowStateCode() const
{
    if (isMinimized())
        return 1;
    return isMaximized() ? 2 : 0;
}

void Form1::Form_Resize()
{
    if (windowStateCode() == 1)
        return;
    LayoutControls();
}

void Form1::LayoutControls()
{
    if (clientWidth() < kMinClientWidth)
        setClientSize(kMinClientWidth, clientHeight());
    if (clientHeight() < kMinClientHeight)
        setClientSize(clientWidth(), kMinClientHeight);
    setText1Size(clientWidth() - kLogWidthMargin, clientHeight() - kLogHeightMargin);
    setLine1X2(clientWidth() - kLineEndMargin);
    setButtonTop(clientHeight() - kButtonRowOffset);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_client && event->type() == QEvent::Resize)
        Form_Resize();
    return QMainWindow::eventFilter(watched, event);
}

void Form1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}
