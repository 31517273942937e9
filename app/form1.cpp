#include "app/form1.h"
#include "app/form1_design.h"
#include "app/logview/logview.h"
#include "app/toolkit/dialogbuttons.h"
#include "app/toolkit/focusvalidation.h"
#include "app/toolkit/linecontrol.h"
#include "app/toolkit/menushortcuts.h"
#include "app/toolkit/windowicon.h"
#include "logfile/journal.h"

#include <QApplication>
#include <QCloseEvent>
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

} // namespace

Form1::Form1(QWidget *parent) : QMainWindow(parent)
{
    Twips::setTwipsPerPixel(twipsPerPixelFor(*this));
    setWindowTitle(appTitle());
    setWindowIcon(tavrelIcon());
    m_client = new QWidget(this);
    setCentralWidget(m_client);
    createControls();
    createMenus();
    setUpToolkit();
    connectHandlers();
    saveAtExit();
    Form_Load();
    Command1->setFocus();
}

Form1::~Form1()
{
    forgetAtExit();
    // After a clean save nothing is left to recover; otherwise the next start recovers it.
    if (m_journal && m_journal->isEmpty())
        m_journal->discard();
    else if (m_journal)
        m_journal->syncNow();
}

QString Form1::appTitle()
{
    return QStringLiteral("Tavrel");
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

void Form1::connectHandlers()
{
    bool Cancel = false;
    m_focusValidation->watch(Combo1, [this, Cancel]() mutable { Combo1_Validate(Cancel); });
    m_focusValidation->watch(Combo2, [this, Cancel]() mutable { Combo2_Validate(Cancel); });
    m_focusValidation->watch(Combo3, [this, Cancel]() mutable { Combo3_Validate(Cancel); });
    m_focusValidation->watch(Combo4, [this, Cancel]() mutable { Combo4_Validate(Cancel); });
    m_focusValidation->watch(Combo5, [this, Cancel]() mutable { Combo5_Validate(Cancel); });
    for (QPushButton *button : {Command1, Command2, Command3, Command4})
        m_focusValidation->focusOnAccessKey(button);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(mnuFileExit, &QAction::triggered, this, &Form1::mnuFileExit_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &Form1::mnuHelpAbout_Click);
    connect(&MSComm1, &CommControl::onComm, this, &Form1::MSComm1_OnComm);
    connect(&MSComm1, &CommControl::deviceLost, this, &Form1::MSComm1_DeviceLost);
    connect(&MSComm1, &CommControl::waitChanged, this, &Form1::MSComm1_WaitChanged);
    connect(&MSComm1, &CommControl::deviceBack, this, &Form1::MSComm1_DeviceBack);
    connect(Combo1, &QComboBox::editTextChanged, this, [this] { reportPortCause({}); });
    updatePortTip();
    connect(Text1, &LogView::clicked, this, &Form1::Text1_Click);
}

void Form1::setDefaultButton(QPushButton *button, bool isDefault)
{
    m_dialogButtons->setDefault(button, isDefault);
}

void Form1::setSettingsRowEnabled(bool enabled)
{
    for (QComboBox *box : {Combo1, Combo2, Combo3, Combo4, Combo5})
        box->setEnabled(enabled);
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

void Form1::closeEvent(QCloseEvent *event)
{
    // Closing the window from its title bar must not lose the capture: it exits like Exit.
    if (!m_ending && !runExitSteps()) {
        event->ignore();
        return;
    }
    m_ending = true;
    event->accept();
}
