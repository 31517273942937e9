#include "app/logview/logview.h"
#include "support/formfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

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
    QTest::addColumn<QString>("stopBitsShown");
    QTest::addColumn<int>("listed"); // no typed text is added to the list
    QTest::newRow("baud with a zero in front") << "Combo5"
                                               << "09600"
                                               << "9600"
                                               << "1" << 10;
    QTest::newRow("baud not in the list") << "Combo5"
                                          << "300"
                                          << "9600"
                                          << "1" << 10;
    QTest::newRow("port 2") << "Combo1"
                            << "2"
                            << "2"
                            << "1" << 2;
    QTest::newRow("port 3") << "Combo1"
                            << "3"
                            << "1"
                            << "1" << 2;
    QTest::newRow("parity in lower case") << "Combo3"
                                          << "odd"
                                          << "None"
                                          << "1" << 3;
    QTest::newRow("two stop bits") << "Combo4"
                                   << "2"
                                   << "2"
                                   << "2" << 3;
    QTest::newRow("1.5 stop bits with 8 data bits") << "Combo4"
                                                    << "1.5"
                                                    << "1"
                                                    << "1" << 3;
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
    QTEST(f.box("Combo4")->currentText(), "stopBitsShown");
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

void TestSettingsRow::startReadsValidatedTexts()
{
    QFETCH(StartWay, way);
    FormFixture f;
    qputenv("TAVREL_PORT1", f.path("no-such-port").toLocal8Bit());
    Form1 &form = f.start();
    QComboBox *dataBits = f.box("Combo2");
    f.box("Combo4")->setEditText("2");
    dataBits->setFocus();
    dataBits->lineEdit()->selectAll();
    QTest::keyClicks(dataBits->lineEdit(), "5");
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
    QTRY_COMPARE(form.PortSettings, QString("9600,N,5,1.5"));
    QCOMPARE(form.LastStopBits, 1.5f);
    QVERIFY(f.view()->text().contains("CommPort1 not available"));
    qunsetenv("TAVREL_PORT1");
}

QTEST_MAIN(TestSettingsRow)
#include "tst_settingsrow.moc"
