// The window's life: building it, loading the log, the commands that are not capture, and how
// it ends.
#include "app/form1.h"
#include "app/findbar.h"
#include "app/keepertimes.h"
#include "app/logview/logview.h"
#include "app/toolkit/focusvalidation.h"
#include "app/toolkit/messagebox.h"
#include "app/toolkit/windowicon.h"
#include "capture/hexrender.h"
#include "settings/choices.h"
#include "settings/numbers.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <cstdlib>

Form1::Form1(QWidget *parent) : QMainWindow(parent)
{
    chooseTwipsPerPixel();
    setWindowTitle(appTitle());
    setWindowIcon(tavrelIcon());
    m_client = new QWidget(this);
    setCentralWidget(m_client);
    createControls();
    createMenus();
    setUpToolkit();
    createFind();
    createCaptureFigures();
    connectHandlers();
    saveAtExit();
    Form_Load();
    showArrivalTimes();
    Command1->setFocus();
}

Form1::~Form1()
{
    forgetAtExit();
    // The view must not outlive the text it reads.
    Text1->setArrivalTimes(nullptr);
    Text1->setStorage(nullptr);
}

QString Form1::appTitle()
{
    return QStringLiteral("Tavrel");
}

void Form1::connectHandlers()
{
    m_focusValidation->watch(Combo1, [this] { Combo1_Validate(); });
    m_focusValidation->watch(Combo2, [this] { Combo2_Validate(); });
    m_focusValidation->watch(Combo3, [this] { Combo3_Validate(); });
    m_focusValidation->watch(Combo4, [this] { Combo4_Validate(); });
    m_focusValidation->watch(Combo5, [this] { Combo5_Validate(); });
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

void Form1::Form_Load()
{
    LastBaudRate = Numbers::strictToInt32(Combo5->currentText()).value_or(Choices::kStartBaudRate);
    LastPortNumber = Choices::kStartPortNumber;
    LastDataBits = Choices::kStartDataBits;
    LastParity = Choices::kStartParity;
    LastStopBits = Choices::kStartStopBits;
    ColumnCount = 1;
    LogFileName = "log.txt";
    if (!claimLogFolder())
        return;
    OpenFile(LogFileName);
    warnJournalUnavailable();
}

void Form1::Command3_Click()
{
    Text1->setText(QByteArray());
    m_findBar->restart();
    Text1->setFocus();
}

void Form1::Command4_Click()
{
    if (!runExitSteps())
        return;
    m_ending = true;
    close();
}

void Form1::mnuFileExit_Click()
{
    Command4_Click();
}

void Form1::mnuHelpAbout_Click()
{
    MessageBox::show(this,
                     "Tavrel Serial Port Logger, by the Tavrel developers,\r\n"
                     "Copyright (C) 2026 the Tavrel developers",
                     MessageBox::Information, appTitle());
}

bool Form1::runExitSteps()
{
    if (isCapturing())
        Command2_Click();
    const LogKeeper::Saved saved = saveLog();
    if (saved.ok)
        return true;
    const bool keptOnDisk =
        !saved.rescueFile.isEmpty() || journalHoldsUnsavedText() || m_keeper->size() == 0;
    warn(failedSaveText(saved) + (journalHoldsUnsavedText()
                                      ? "\r\nWhat was captured since the last save stays in " +
                                            m_keeper->journal().dataPath() +
                                            " and comes back at the next start in this folder."
                                      : QString()));
    if (keptOnDisk || m_quiet)
        return true;
    // Only here would the capture exist nowhere once the program ends.
    return MessageBox::show(this, "Quit anyway and lose what was captured since the last save?",
                            MessageBox::YesNoQuestion, appTitle()) == MessageBox::Yes;
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

void Form1::endSession()
{
    m_quiet = true;
    m_keeper->journal().syncNow();
    if (!m_ending) {
        m_ending = true;
        runExitSteps();
    }
    // Leaves every event loop, a modal box's included.
    QCoreApplication::exit(0);
}

namespace {

Form1 *s_liveForm = nullptr;
void (*s_saveLiveForm)(Form1 *) = nullptr;

void saveLiveFormAtExit()
{
    if (s_liveForm && s_saveLiveForm)
        s_saveLiveForm(s_liveForm);
}

} // namespace

void Form1::saveAtExit()
{
    // A lost display ends the program through exit(), past every close event.
    static const bool registered = std::atexit(saveLiveFormAtExit) == 0;
    Q_UNUSED(registered);
    s_liveForm = this;
    s_saveLiveForm = [](Form1 *form) { form->saveWithoutDisplay(); };
}

void Form1::forgetAtExit()
{
    if (s_liveForm == this)
        s_liveForm = nullptr;
}

void Form1::saveWithoutDisplay()
{
    forgetAtExit();
    if (m_ending || m_startRefused)
        return;
    // No widget may be touched now: the window system is gone.
    m_quiet = true;
    m_ending = true;
    MSComm1.setPortOpen(false);
    // What the reader still held is kept as well, straight into the log: no view is left.
    QByteArray items;
    appendHexItems(items, MSComm1.input(), ColumnCount, lineCapacity(text1Width()));
    m_keeper->append(items);
    SaveFile(LogFileName);
    m_keeper->close();
}
