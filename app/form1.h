#pragma once

#include "app/toolkit/twips.h"
#include "app/viewsettings.h"
#include "capture/capturemeter.h"
#include "capture/commcontrol.h"
#include "logfile/logexport.h"
#include "logfile/logkeeper.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <memory>
#include <optional>

class DialogButtons;
class KeeperTimes;
class FindBar;
class FocusValidation;
class LineControl;
class LogView;
class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;

// The program's one window: its controls, its state and the handlers of every user action.
class Form1 : public QMainWindow
{
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // Controls
    QComboBox *Combo1 = nullptr; // serial port number
    QComboBox *Combo2 = nullptr; // data bits
    QComboBox *Combo3 = nullptr; // parity
    QComboBox *Combo4 = nullptr; // stop bits
    QComboBox *Combo5 = nullptr; // baud rate
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    LogView *Text1 = nullptr;
    QPushButton *Command1 = nullptr; // Start
    QPushButton *Command2 = nullptr; // Stop
    QPushButton *Command3 = nullptr; // Clear
    QPushButton *Command4 = nullptr; // Exit
    LineControl *Line1 = nullptr;
    CommControl MSComm1;
    QMenu *mnuFile = nullptr;
    QAction *mnuFileCopyWithTimes = nullptr;
    QAction *mnuFileExport = nullptr;
    QAction *mnuFileExit = nullptr;
    QMenu *mnuView = nullptr;
    QAction *mnuViewArrivalTimes = nullptr;
    QAction *mnuViewTimeOfDay = nullptr;
    QAction *mnuViewSinceStart = nullptr;
    QAction *mnuViewSincePrevious = nullptr;
    QAction *mnuViewQuietGaps = nullptr;
    QAction *mnuViewGapThreshold = nullptr;
    QAction *mnuViewCharacters = nullptr;
    QAction *mnuViewCopyCharacters = nullptr;
    QMenu *mnuHelp = nullptr;
    QAction *mnuHelpAbout = nullptr;

    // Handlers of what the user does and of what the port reports
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void mnuFileExit_Click();
    void mnuHelpAbout_Click();
    void mnuFileCopyWithTimes_Click();
    void mnuFileExport_Click();
    // Writes the selection, or the whole log when nothing is selected; false when it did not.
    bool exportTo(LogExport::Format format, const QString &target);
    void mnuViewArrivalTimes_Click();
    void mnuViewTimeFormat_Click();
    void mnuViewQuietGaps_Click();
    void mnuViewGapThreshold_Click();
    void mnuViewCharacters_Click();
    void mnuViewCopyCharacters_Click();
    void MSComm1_OnComm();
    void MSComm1_DeviceLost();
    void MSComm1_WaitChanged();
    void MSComm1_DeviceBack();
    void Text1_Click();

    // The window's measures in twips: the client area below the menu bar, and the controls
    // that the layout moves.
    float clientWidth() const;
    float clientHeight() const;
    void setClientSize(float width, float height);
    float text1Width() const;
    float text1Height() const;
    float line1X2() const;
    float buttonTop(const QPushButton *button) const;
    int windowStateCode() const;
    bool isEnding() const { return m_ending; }
    // Another Tavrel holds this folder's log: this one ends without touching it.
    bool startRefused() const { return m_startRefused; }
    // The session or the display is going away: save without asking anyone, and end.
    void endSession();
    // The display is gone (the process is exiting): stops and saves without touching a widget.
    void saveWithoutDisplay();
    const LogKeeper &keeper() const { return *m_keeper; }

    static QString appTitle();

    // The smallest client area: the design's minimum outer size less the design's borders.
    static constexpr float kMinClientWidth = 7230;
    static constexpr float kMinClientHeight = 4310;

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Handlers the window runs itself: at its start, on a resize, when a box loses the focus
    void Form_Load();
    void Form_Resize();
    void Combo1_Validate();
    void Combo2_Validate();
    void Combo3_Validate();
    void Combo4_Validate();
    void Combo5_Validate();

    // The window's shape (form1_window.cpp)
    void chooseTwipsPerPixel();
    void createControls();
    void createMenus();
    void setUpToolkit();
    void LayoutControls();
    void setDefaultButton(QPushButton *button, bool isDefault);
    void setText1Size(float width, float height);
    void setLine1X2(float x2);
    void setButtonTop(float top);
    // Copy with Times and Export (form1_export.cpp)
    void createExportMenuItems();
    // The View menu (form1_view.cpp)
    void createViewMenu();
    void showArrivalTimes();
    void applyViewSettings();
    // Its life and end (form1.cpp)
    void connectHandlers();
    void createFind();
    void addFindItems(QMenu *menu);
    QMenu *viewMenu();
    void createCaptureFigures();
    void startCaptureFigures();
    void countReceived(qint64 bytes);
    void showCaptureFigures();
    void stopCaptureFigures();
    bool runExitSteps();
    void saveAtExit();
    void forgetAtExit();
    // The settings row (form1_settings.cpp)
    void setSettingsRowEnabled(bool enabled);
    // Capture (form1_capture.cpp)
    bool isCapturing() const;
    bool setUpPort();
    void keepCaretAtEnd();
    void reportFullDisk();
    void reportPortCause(const QString &cause);
    void updatePortTip();
    void showWaitState();
    // The log on disk (form1_logfile.cpp)
    bool OpenFile(const QString &fileName);
    bool SaveFile(const QString &fileName);
    LogKeeper::Saved saveLog();
    QString failedSaveText(const LogKeeper::Saved &saved) const;
    QString changedLogText(const LogKeeper::Saved &saved) const;
    bool journalHoldsUnsavedText() const;
    bool claimLogFolder();
    QString logNameForUser() const;
    void reportRecovery(const LogKeeper::Opened &opened);
    void warnJournalSetAside(const LogKeeper::Opened &opened);
    void warn(const QString &text);
    void warnJournalUnavailable();

    // Form state: the last accepted settings, where the next item goes, the log's name.
    qint32 LastBaudRate = 0;
    QString LastParity;
    qint16 LastPortNumber = 0;
    qint16 LastDataBits = 0;
    float LastStopBits = 0;
    qint16 ColumnCount = 0;
    QString PortSettings;
    QString LogFileName;

    QWidget *m_client = nullptr;
    DialogButtons *m_dialogButtons = nullptr;
    FocusValidation *m_focusValidation = nullptr;
    TwipsMeasure m_clientWidth;
    TwipsMeasure m_clientHeight;
    TwipsMeasure m_text1Width;
    TwipsMeasure m_text1Height;
    TwipsMeasure m_line1X2;
    TwipsMeasure m_buttonTop;
    bool m_ending = false;
    // The log: what the view shows, and everything kept on disk about it.
    std::unique_ptr<LogKeeper> m_keeper;
    std::unique_ptr<KeeperTimes> m_keeperTimes;
    ViewSettings m_view;
    bool m_quiet = false;
    bool m_journalWarned = false;
    QString m_journalNote; // why there is no journal, until a start-up warning carries it
    bool m_diskFullWarned = false;
    bool m_startRefused = false;
    QString m_portCause;
    QString m_waitNote;
    FindBar *m_findBar = nullptr;
    // The bytes and the rate of the running capture, shown in the menu bar's corner.
    CaptureMeter m_captureMeter;
    QLabel *m_captureFigures = nullptr;
    QTimer m_figuresTimer;
    QElapsedTimer m_figuresClock;
};
