#include "app/logview/logview.h"
#include "support/capturestate.h"
#include "support/formfixture.h"
#include "support/pseudoterminal.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <termios.h>

// The settings row as a user edits it: type, then leave the box.
class TestSettingsRow : public QObject
{
    Q_OBJECT
public:
    enum StartWay { ClickStart, AccessKey, EnterInTheBox };
    Q_ENUM(StartWay)

private Q_SLOTS:
    void typeAndTabAway_data();
    void typeAndTabAway();
    void startReadsValidatedTexts_data();
    void startReadsValidatedTexts();
};

void TestSettingsRow::typeAndTabAway_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("listed"); // no typed text is added to the list
    const auto row = [](const char *name, const char *box, const char *typed, const char *shown,
                        int listed) {
        QTest::newRow(name) << QString(box) << QString(typed) << QString(shown) << listed;
    };
    row("baud with a zero in front", "Combo5", "09600", "9600", 10);
    row("port 2", "Combo1", "2", "2", 2);
    row("port 3", "Combo1", "3", "1", 2);
    row("parity in lower case", "Combo3", "odd", "None", 3);
    row("1.5 stop bits with 8 data bits", "Combo4", "1.5", "1", 3);
}

void TestSettingsRow::typeAndTabAway()
{
    QFETCH(QString, box);
    QFETCH(QString, typed);
    FormFixture f;
    f.start();
    QComboBox *combo = f.box(box);
    combo->setFocus();
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), typed);
    QCOMPARE(combo->currentText(), typed);
    QTest::keyClick(combo->lineEdit(), Qt::Key_Tab);
    QTEST(combo->currentText(), "shown");
    QVERIFY(QApplication::focusWidget() != combo->lineEdit());
    QTEST(combo->count(), "listed");
}

void TestSettingsRow::startReadsValidatedTexts_data()
{
    QTest::addColumn<StartWay>("way");
    QTest::newRow("click") << ClickStart;
    QTest::newRow("access key") << AccessKey;
    QTest::newRow("Enter in the box") << EnterInTheBox;
}

// Unvalidated, "9600,N,6,1.5" opens no port; validated, 6 data bits turn 1.5 stop bits into 2.
void TestSettingsRow::startReadsValidatedTexts()
{
    QFETCH(StartWay, way);
    PseudoTerminal terminal;
    qputenv("TAVREL_PORT1", terminal.devicePath().toLocal8Bit());
    FormFixture f;
    Form1 &form = f.start();
    QComboBox *dataBits = f.box("Combo2");
    f.box("Combo4")->setEditText("1.5");
    dataBits->setFocus();
    dataBits->lineEdit()->selectAll();
    QTest::keyClicks(dataBits->lineEdit(), "6");
    switch (way) {
    case ClickStart:
        QTest::mouseClick(f.button("Command1"), Qt::LeftButton);
        break;
    case AccessKey: // as a keyboard sends it, without text
        QTest::sendKeyEvent(QTest::Click, dataBits, Qt::Key_S, QString(), Qt::AltModifier);
        break;
    case EnterInTheBox:
        QTest::keyClick(dataBits->lineEdit(), Qt::Key_Return);
        break;
    }
    QTRY_VERIFY(capturing(form));
    QCOMPARE(dataBits->currentText(), QString("6"));
    QCOMPARE(f.box("Combo4")->currentText(), QString("2"));
    // A pseudo-terminal keeps the stop bits it is given, though not the data bits.
    QVERIFY(terminal.deviceControlFlags() & CSTOPB);
    QCOMPARE(f.view()->text(), QByteArray());
}

QTEST_MAIN(TestSettingsRow)
#include "tst_settingsrow.moc"
