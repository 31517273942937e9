#include "app/logview/logview.h"
#include "support/capturestate.h"
#include "support/formfixture.h"
#include "support/pseudoterminal.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

// Clear, Exit, closing the window, and the layout that follows the window's size.
class TestCommands : public QObject
{
    Q_OBJECT
public:
    enum ExitWay { ExitButton, EnterOnExit, EscapeKey, FileExit, TitleBarClose };
    Q_ENUM(ExitWay)

private Q_SLOTS:
    void layout_data();
    void layout();
    void minimizeRestoreAndMaximize();
    void clearThenExitEmptiesTheFileAndEndsTheJournal();
    void exitDuringCaptureStopsAndSaves_data();
    void exitDuringCaptureStopsAndSaves();
    void failedSaveOnExitAsks_data();
    void failedSaveOnExitAsks();
};

void TestCommands::layout_data()
{
    QTest::addColumn<float>("clientWidth");
    QTest::addColumn<float>("clientHeight");
    QTest::addColumn<float>("text1Width");
    QTest::addColumn<float>("text1Height");
    QTest::addColumn<float>("x2");
    QTest::addColumn<float>("buttonTop");
    QTest::newRow("design size") << 7230.f << 6750.f << 7215.f << 4815.f << 7200.f << 6240.f;
    QTest::newRow("minimum size") << 7230.f << 4310.f << 7215.f << 2375.f << 7200.f << 3800.f;
    QTest::newRow("smaller than the minimum")
        << 5000.f << 3000.f << 7215.f << 2375.f << 7200.f << 3800.f;
}

void TestCommands::layout()
{
    QFETCH(float, clientWidth);
    QFETCH(float, clientHeight);
    FormFixture f;
    Form1 &form = f.start();
    const QRect labelBefore = control<QLabel>(form, "Label1")->geometry();
    const QRect comboBefore = f.box("Combo4")->geometry();
    const QRect textBefore = f.view()->geometry();
    form.setClientSize(clientWidth, clientHeight);
    QTRY_VERIFY(form.clientWidth() >= Form1::kMinClientWidth);
    QTRY_VERIFY(form.clientHeight() >= Form1::kMinClientHeight);
    QTEST(form.text1Width(), "text1Width");
    QTEST(form.text1Height(), "text1Height");
    QTEST(form.line1X2(), "x2");
    for (const QPushButton *b :
         {f.button("Command1"), f.button("Command2"), f.button("Command3"), f.button("Command4")})
        QTEST(form.buttonTop(b), "buttonTop");
    QCOMPARE(control<QLabel>(form, "Label1")->geometry(), labelBefore);
    QCOMPARE(f.box("Combo4")->geometry(), comboBefore);
    QCOMPARE(f.view()->pos(), textBefore.topLeft());
    // The gap between the log view and the buttons stays 225 twips.
    QCOMPARE(form.buttonTop(f.button("Command1")) - 1200 - form.text1Height(), 225.f);
}

void TestCommands::minimizeRestoreAndMaximize()
{
    FormFixture f;
    Form1 &form = f.start();
    form.setClientSize(8000, 7000);
    QTRY_COMPARE(form.text1Width(), 7985.f);
    form.showMinimized();
    QTRY_COMPARE(form.windowStateCode(), 1);
    QCOMPARE(form.text1Width(), 7985.f);
    form.showNormal();
    QTRY_COMPARE(form.windowStateCode(), 0);
    QCOMPARE(form.text1Width(), form.clientWidth() - 15);
    QCOMPARE(form.buttonTop(f.button("Command4")), form.clientHeight() - 510);
    // Maximized, the view and the buttons follow the screen's edges.
    form.showMaximized();
    QTRY_COMPARE(form.windowStateCode(), 2);
    QTRY_VERIFY(form.clientWidth() > 8000);
    QCOMPARE(form.text1Width(), form.clientWidth() - 15);
    QCOMPARE(form.line1X2(), form.clientWidth() - 30);
    QCOMPARE(form.buttonTop(f.button("Command1")), form.clientHeight() - 510);
}

void TestCommands::clearThenExitEmptiesTheFileAndEndsTheJournal()
{
    FormFixture f;
    f.writeLogFile("1 2 3 ");
    Form1 &form = f.start();
    QVERIFY(QFileInfo::exists(f.path("log.txt.journal")));
    // That Clear keeps the item count is shown with received items in tst_capture.
    QTest::mouseClick(f.button("Command3"), Qt::LeftButton);
    QCOMPARE(f.view()->length(), 0);
    QCOMPARE(QApplication::focusWidget(), f.view());
    QCOMPARE(f.logFile(), QByteArray("1 2 3 "));
    QTest::mouseClick(f.button("Command4"), Qt::LeftButton);
    QVERIFY(form.isEnding());
    QVERIFY(!form.isVisible());
    f.form.reset();
    QCOMPARE(f.logFile(), QByteArray());
    // The journal is gone; the log's arrival times stay beside it.
    QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files), QStringList({"log.txt", "log.txt.times"}));
}

void TestCommands::exitDuringCaptureStopsAndSaves_data()
{
    QTest::addColumn<ExitWay>("way");
    QTest::newRow("Exit button") << ExitButton;
    QTest::newRow("Enter on Exit, not the default Stop") << EnterOnExit;
    QTest::newRow("Escape") << EscapeKey;
    QTest::newRow("File > Exit") << FileExit;
    QTest::newRow("title bar close") << TitleBarClose;
}

void TestCommands::exitDuringCaptureStopsAndSaves()
{
    QFETCH(ExitWay, way);
    FormFixture f;
    PseudoTerminal terminal;
    qputenv("TAVREL_PORT1", terminal.devicePath().toLocal8Bit());
    Form1 &form = f.start();
    form.Command1_Click();
    QVERIFY(terminal.write("\x10\x20"));
    QTRY_COMPARE(f.view()->text(), QByteArray("10 20 "));
    switch (way) {
    case ExitButton:
        QTest::mouseClick(f.button("Command4"), Qt::LeftButton);
        break;
    case EnterOnExit:
        f.button("Command4")->setFocus();
        QTest::keyClick(f.button("Command4"), Qt::Key_Return);
        break;
    case EscapeKey:
        QTest::keyClick(f.view(), Qt::Key_Escape);
        break;
    case FileExit:
        form.mnuFileExit->trigger();
        break;
    case TitleBarClose:
        QVERIFY(form.close());
        break;
    }
    QVERIFY(form.isEnding());
    QVERIFY(idle(form));
    QCOMPARE(f.logFile(), QByteArray("10 20 "));
    QVERIFY(f.boxes.isEmpty());
}

void TestCommands::failedSaveOnExitAsks_data()
{
    QTest::addColumn<QString>("journal");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("ends");
    // The journal keeps the capture for the next start: nothing to ask.
    QTest::newRow("kept in the journal") << "kept" << int(MessageBox::No) << true;
    QTest::newRow("no journal, quit anyway") << "none" << int(MessageBox::Yes) << true;
    QTest::newRow("no journal, stay") << "none" << int(MessageBox::No) << false;
    // Open, but the next start would not find it.
    QTest::newRow("journal deleted, stay") << "deleted" << int(MessageBox::No) << false;
}

void TestCommands::failedSaveOnExitAsks()
{
    QFETCH(QString, journal);
    QFETCH(int, answer);
    QFETCH(bool, ends);
    FormFixture f;
    f.answer = answer;
    f.writeLogFile("old ");
    QVERIFY(QFile::setPermissions(f.path("log.txt"), QFile::ReadOwner));
    if (journal == "none")
        QVERIFY(QDir(f.dir.path()).mkdir("log.txt.journal"));
    Form1 &form = f.start();
    f.view()->setSelText("new ");
    if (journal == "deleted")
        QVERIFY(QFile::remove(f.path("log.txt.journal")));
    f.boxes.clear();
    const bool closed = form.close();
    QCOMPARE(closed, ends);
    QCOMPARE(form.isEnding(), ends);
    const bool kept = journal == "kept";
    QCOMPARE(f.boxes.size(), kept ? 1 : 2);
    QCOMPARE(f.boxes[0].style, int(MessageBox::Warning));
    QVERIFY2(f.boxes[0].text.contains("Permission denied"), qPrintable(f.boxes[0].text));
    QCOMPARE(f.boxes[0].text.contains("log.txt.journal and comes back at the next start"), kept);
    if (!kept) {
        QCOMPARE(f.boxes[1].style, int(MessageBox::YesNoQuestion));
        QCOMPARE(f.boxes[1].title, QString("Tavrel"));
    }
    QCOMPARE(f.logFile(), QByteArray("old "));
    QCOMPARE(f.view()->text(), QByteArray("old new "));
    if (!ends) {
        QVERIFY(QFile::setPermissions(f.path("log.txt"), QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(form.close());
        QCOMPARE(f.logFile(), QByteArray("old new "));
    }
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
