#include "formfixture.h"
#include "logview.h"
#include "support/pseudoterminal.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

// Clear, Exit, closing the window, About, and the layout that follows the window's size.
class TestCommands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void layout_data();
    void layout();
    void minimizeRestoreAndMaximize();
    void clearThenExitEmptiesTheFile();
    void exitDuringCaptureStopsAndSaves_data();
    void exitDuringCaptureStopsAndSaves();
    void failedSaveOnExitAsks_data();
    void failedSaveOnExitAsks();
    void aboutWhileCapturing();

private:
    void startCapture(FormFixture &f, PseudoTerminal &terminal);
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
    QTest::newRow("1000 twips higher") << 7230.f << 7750.f << 7215.f << 5815.f << 7200.f << 7240.f;
    QTest::newRow("wider") << 9230.f << 6750.f << 9215.f << 4815.f << 9200.f << 6240.f;
}

void TestCommands::layout()
{
    QFETCH(float, clientWidth);
    QFETCH(float, clientHeight);
    FormFixture f;
    Form1 &form = f.start();
    const QRect labelBefore = form.Label1->geometry();
    const QRect comboBefore = form.Combo4->geometry();
    const QRect textBefore = form.Text1->geometry();
    form.setClientSize(clientWidth, clientHeight);
    QTRY_VERIFY(form.clientWidth() >= Form1::kMinClientWidth);
    QTRY_VERIFY(form.clientHeight() >= Form1::kMinClientHeight);
    QTEST(form.text1Width(), "text1Width");
    QTEST(form.text1Height(), "text1Height");
    QTEST(form.line1X2(), "x2");
    for (const QPushButton *b : {form.Command1, form.Command2, form.Command3, form.Command4})
        QTEST(form.buttonTop(b), "buttonTop");
    QCOMPARE(form.Label1->geometry(), labelBefore);
    QCOMPARE(form.Combo4->geometry(), comboBefore);
    QCOMPARE(form.Text1->pos(), textBefore.topLeft());
    // The gap between the log view and the buttons stays 225 twips.
    QCOMPARE(form.buttonTop(form.Command1) - 1200 - form.text1Height(), 225.f);
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
    QCOMPARE(form.buttonTop(form.Command4), form.clientHeight() - 510);
    // Maximized, the view and the buttons follow the screen's edges.
    form.showMaximized();
    QTRY_COMPARE(form.windowStateCode(), 2);
    QTRY_VERIFY(form.clientWidth() > 8000);
    QCOMPARE(form.text1Width(), form.clientWidth() - 15);
    QCOMPARE(form.line1X2(), form.clientWidth() - 30);
    QCOMPARE(form.buttonTop(form.Command1), form.clientHeight() - 510);
}

void TestCommands::clearThenExitEmptiesTheFile()
{
    FormFixture f;
    f.writeLogFile("1 2 3 ");
    Form1 &form = f.start();
    form.ColumnCount = 4;
    QTest::mouseClick(form.Command3, Qt::LeftButton);
    QCOMPARE(form.Text1->length(), 0);
    QCOMPARE(form.ColumnCount, qint16(4));
    QCOMPARE(QApplication::focusWidget(), form.Text1);
    QCOMPARE(f.logFile(), QByteArray("1 2 3 "));
    QTest::mouseClick(form.Command4, Qt::LeftButton);
    QVERIFY(form.isEnding());
    QVERIFY(!form.isVisible());
    QCOMPARE(f.logFile(), QByteArray());
}

void TestCommands::startCapture(FormFixture &f, PseudoTerminal &terminal)
{
    qputenv("TAVREL_PORT1", terminal.devicePath().toLocal8Bit());
    Form1 &form = f.start();
    form.Command1_Click();
    QVERIFY(form.MSComm1.portOpen());
    QVERIFY(terminal.write("\x10\x20"));
    QTRY_COMPARE(form.Text1->text(), QByteArray("10 20 "));
}

void TestCommands::exitDuringCaptureStopsAndSaves_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Exit button") << "button";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("File > Exit") << "menu";
    QTest::newRow("title bar close") << "close";
}

void TestCommands::exitDuringCaptureStopsAndSaves()
{
    QFETCH(QString, how);
    FormFixture f;
    PseudoTerminal terminal;
    startCapture(f, terminal);
    Form1 &form = *f.form;
    if (how == "button")
        QTest::mouseClick(form.Command4, Qt::LeftButton);
    else if (how == "escape")
        QTest::keyClick(form.Text1, Qt::Key_Escape);
    else if (how == "menu")
        form.mnuFileExit->trigger();
    else
        QVERIFY(form.close());
    QVERIFY(form.isEnding());
    QVERIFY(!form.MSComm1.portOpen());
    QVERIFY(form.Command1->isEnabled());
    QCOMPARE(f.logFile(), QByteArray("10 20 "));
    QVERIFY(f.boxes.isEmpty());
}

void TestCommands::failedSaveOnExitAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("ends");
    QTest::newRow("quit anyway") << int(MessageBox::Yes) << true;
    QTest::newRow("stay") << int(MessageBox::No) << false;
}

void TestCommands::failedSaveOnExitAsks()
{
    QFETCH(int, answer);
    QFETCH(bool, ends);
    FormFixture f;
    f.answer = answer;
    f.writeLogFile("old ");
    QVERIFY(QFile::setPermissions(f.path("log.txt"), QFile::ReadOwner));
    Form1 &form = f.start();
    form.Text1->setSelText("new ");
    const bool closed = form.close();
    QCOMPARE(closed, ends);
    QCOMPARE(form.isEnding(), ends);
    QCOMPARE(f.boxes.size(), 2);
    QCOMPARE(f.boxes[0].style, int(MessageBox::Warning));
    QCOMPARE(f.boxes[1].style, int(MessageBox::YesNoQuestion));
    QCOMPARE(f.boxes[1].title, QString("Tavrel"));
    QCOMPARE(f.logFile(), QByteArray("old "));
    QCOMPARE(form.Text1->text(), QByteArray("old new "));
    if (!ends) {
        QVERIFY(QFile::setPermissions(f.path("log.txt"), QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(form.close());
        QCOMPARE(f.logFile(), QByteArray("old new "));
    }
}

void TestCommands::aboutWhileCapturing()
{
    FormFixture f;
    PseudoTerminal terminal;
    startCapture(f, terminal);
    Form1 &form = *f.form;
    form.mnuHelpAbout->trigger();
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(f.boxes[0].style, int(MessageBox::Information));
    QCOMPARE(f.boxes[0].title, QString("Tavrel"));
    const QStringList lines = f.boxes[0].text.split("\r\n");
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].endsWith(','));
    QVERIFY(lines[1].contains(QRegularExpression("\\b20\\d\\d\\b")));
    QVERIFY(form.MSComm1.portOpen());
    QVERIFY(terminal.write("\x30"));
    QTRY_COMPARE(form.Text1->text(), QByteArray("10 20 30 "));
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
