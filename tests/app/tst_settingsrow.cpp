#include "formfixture.h"
#include "logview.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

// The settings row as a user edits it: type, then leave the box.
class TestSettingsRow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void typeAndTabAway_data();
    void typeAndTabAway();
    void startReadsValidatedTexts_data();
    void startReadsValidatedTexts();
};

void TestSettingsRow::typeAndTabAway_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("stopBitsShown");
    QTest::newRow("baud with a zero in front") << 5 << "09600"
                                               << "9600"
                                               << "1";
    QTest::newRow("baud not in the list") << 5 << "300"
                                          << "9600"
                                          << "1";
    QTest::newRow("port 2") << 1 << "2"
                            << "2"
                            << "1";
    QTest::newRow("port 3") << 1 << "3"
                            << "1"
                            << "1";
    QTest::newRow("parity in lower case") << 3 << "odd"
                                          << "None"
                                          << "1";
    QTest::newRow("two stop bits") << 4 << "2"
                                   << "2"
                                   << "2";
    QTest::newRow("1.5 stop bits with 8 data bits") << 4 << "1.5"
                                                    << "1"
                                                    << "1";
}

void TestSettingsRow::typeAndTabAway()
{
    QFETCH(int, box);
    QFETCH(QString, typed);
    FormFixture f;
    Form1 &form = f.start();
    QComboBox *combo = QList<QComboBox *>{form.Combo1, form.Combo2, form.Combo3, form.Combo4,
                                          form.Combo5}[box - 1];
    combo->setFocus();
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), typed);
    QCOMPARE(combo->currentText(), typed);
    QTest::keyClick(combo->lineEdit(), Qt::Key_Tab);
    QTEST(combo->currentText(), "shown");
    QTEST(form.Combo4->currentText(), "stopBitsShown");
    QVERIFY(QApplication::focusWidget() != combo->lineEdit());
    QCOMPARE(combo->count(), box == 5 ? 10 : box == 2 ? 4 : box == 1 ? 2 : 3);
}

void TestSettingsRow::startReadsValidatedTexts_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("click") << "click";
    QTest::newRow("access key") << "alt+s";
    QTest::newRow("Enter in the box") << "enter";
}

void TestSettingsRow::startReadsValidatedTexts()
{
    QFETCH(QString, how);
    FormFixture f;
    qputenv("TAVREL_PORT1", f.path("no-such-port").toLocal8Bit());
    Form1 &form = f.start();
    form.Combo4->setEditText("2");
    form.Combo2->setFocus();
    form.Combo2->lineEdit()->selectAll();
    QTest::keyClicks(form.Combo2->lineEdit(), "5");
    if (how == "click")
        QTest::mouseClick(form.Command1, Qt::LeftButton);
    else if (how == "enter")
        QTest::keyClick(form.Combo2->lineEdit(), Qt::Key_Return);
    else // as a keyboard sends it, without text
        QTest::sendKeyEvent(QTest::Click, form.Combo2, Qt::Key_S, QString(), Qt::AltModifier);
    QTRY_COMPARE(form.PortSettings, QString("9600,N,5,1.5"));
    QCOMPARE(form.LastStopBits, 1.5f);
    QVERIFY(form.Text1->text().contains("CommPort1 not available"));
    qunsetenv("TAVREL_PORT1");
}

QTEST_MAIN(TestSettingsRow)
#include "tst_settingsrow.moc"
