#include "app/logview/logview.h"
#include "support/capturestate.h"
#include "support/formfixture.h"
#include "support/hexreference.h"
#include "support/pseudoterminal.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>

class TestCapture : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void startOpensAtStartUpSettingsAndEnterToggles();
    void linesBreakByWidthAndCountCarriesOver();
    void portThatCannotOpenIsReported_data();
    void portThatCannotOpenIsReported();
    void receivedItemsGoToTheEndWhereverTheCaretIs();
    void burstArrivesWhole();

private:
    std::unique_ptr<PseudoTerminal> m_terminal;
};

void TestCapture::init()
{
    m_terminal = std::make_unique<PseudoTerminal>();
    QVERIFY(m_terminal->isValid());
    qputenv("TAVREL_PORT1", m_terminal->devicePath().toLocal8Bit());
}

void TestCapture::startOpensAtStartUpSettingsAndEnterToggles()
{
    FormFixture f;
    Form1 &form = f.start();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(capturing(form));
    QCOMPARE(form.PortSettings, QString("9600,N,8,1"));
    QCOMPARE(m_terminal->deviceBaudRate(), 9600);
    QCOMPARE(QApplication::focusWidget(), f.view());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(idle(form));
    QCOMPARE(QApplication::focusWidget(), f.view());
    QCOMPARE(f.logFile(), QByteArray());
}

void TestCapture::linesBreakByWidthAndCountCarriesOver()
{
    FormFixture f;
    Form1 &form = f.start();
    QCOMPARE(form.text1Width(), 7215.0f);
    form.Command1_Click();
    const QByteArray first(40, '\x11');
    QVERIFY(m_terminal->write(first));
    QTRY_COMPARE(f.view()->text(), hexOf(first, 28));
    form.Command2_Click();
    // Clear keeps the count: 12 items stand on the current line.
    form.Command3_Click();
    QCOMPARE(form.ColumnCount, qint16(13));
    form.Command1_Click();
    const QByteArray second(20, '\x22');
    QVERIFY(m_terminal->write(second));
    QTRY_COMPARE(f.view()->text(), hexOf(second, 28, 13));
    QCOMPARE(form.ColumnCount, qint16(5));

    // A wider view, 8750 twips, holds 35 items a line.
    form.setClientSize(8765, form.clientHeight());
    QTRY_COMPARE(form.text1Width(), 8750.0f);
    form.Command3_Click();
    const QByteArray third(80, '\x33');
    QVERIFY(m_terminal->write(third));
    QTRY_COMPARE(f.view()->text(), hexOf(third, 35, 5));
}

void TestCapture::portThatCannotOpenIsReported_data()
{
    QTest::addColumn<QString>("stopBits");
    QTest::addColumn<QString>("cause");
    QTest::newRow("no device") << "1"
                               << "no-such-device: No such device";
    // Typed but never validated: the focus never left the box.
    QTest::newRow("settings no port takes") << "1.5"
                                            << "Settings not accepted: 9600,N,8,1.5";
}

void TestCapture::portThatCannotOpenIsReported()
{
    QFETCH(QString, stopBits);
    QFETCH(QString, cause);
    FormFixture f;
    f.writeLogFile("0 1 ");
    Form1 &form = f.start();
    f.box("Combo1")->setEditText("2");
    f.box("Combo4")->setEditText(stopBits);
    qputenv("TAVREL_PORT2", f.path("no-such-device").toLocal8Bit());
    form.Command1_Click();
    QVERIFY2(f.box("Combo1")->toolTip().contains(cause), qPrintable(f.box("Combo1")->toolTip()));
    const QByteArray notice = notAvailableNotice(2);
    QCOMPARE(f.view()->text(), "0 1 " + notice);
    QCOMPARE(f.logFile(), "0 1 " + notice);
    QVERIFY(idle(form));
    QCOMPARE(QApplication::focusWidget(), f.view());
    QVERIFY(f.boxes.isEmpty());
    qunsetenv("TAVREL_PORT2");
}

void TestCapture::receivedItemsGoToTheEndWhereverTheCaretIs()
{
    FormFixture f;
    f.writeLogFile("AA BB CC ");
    Form1 &form = f.start();
    // Idle: a click leaves the caret where the user put it.
    f.view()->setSelStart(3);
    form.Text1_Click();
    QCOMPARE(f.view()->selStart(), 3);

    // Capturing: a selection made with the keys neither loses captured text nor splits it.
    form.Command1_Click();
    f.view()->setSelStart(0);
    QTest::keyClick(f.view(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(f.view(), Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(f.view()->selLength(), 2);
    QVERIFY(m_terminal->write("\x01"));
    QTRY_COMPARE(f.view()->text(), QByteArray("AA BB CC 1 "));

    // A click puts the caret back at the end.
    f.view()->setSelStart(0);
    form.Text1_Click();
    QCOMPARE(f.view()->selStart(), f.view()->length());
    QVERIFY(m_terminal->write("\x02"));
    QTRY_COMPARE(f.view()->text(), QByteArray("AA BB CC 1 2 "));
}

void TestCapture::burstArrivesWhole()
{
    FormFixture f;
    Form1 &form = f.start();
    form.Command1_Click();
    QByteArray burst(1 << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < burst.size(); ++i)
        burst[i] = char((i * 7 + i / 256) & 0xFF);
    QVERIFY(m_terminal->write(burst));
    const QByteArray expected = hexOf(burst, 28);
    QTRY_COMPARE_WITH_TIMEOUT(f.view()->length(), expected.size(), 30000);
    QVERIFY(f.view()->text() == expected);
    form.Command2_Click();
    QVERIFY(f.logFile() == expected);
}

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"
