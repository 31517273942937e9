#include "app/logview/logview.h"
#include "app/toolkit/linecontrol.h"
#include "support/formfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

class TestWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startUpState();
    void controlsAsDesigned_data();
    void controlsAsDesigned();
    void comboBoxItems_data();
    void comboBoxItems();
    void menus();
    void tabOrder();
    void enterAndEscape_data();
    void enterAndEscape();
    void validationNotWhenFocusLeavesTheWindow();
    void ctrlXExitsWhereverTheFocusIs_data();
    void ctrlXExitsWhereverTheFocusIs();
    void menuAccessKeyDoesNotValidate_data();
    void menuAccessKeyDoesNotValidate();
    void fullLineOfItemsFitsTheView();
};

void TestWindow::startUpState()
{
    FormFixture f;
    Form1 &form = f.start();
    QCOMPARE(form.LastBaudRate, 9600);
    QCOMPARE(form.LastPortNumber, qint16(1));
    QCOMPARE(form.LastDataBits, qint16(8));
    QCOMPARE(form.LastParity, QString("None"));
    QCOMPARE(form.LastStopBits, 1.0f);
    QCOMPARE(form.ColumnCount, qint16(1));
    QCOMPARE(form.LogFileName, QString("log.txt"));
    QVERIFY(f.button("Command1")->isEnabled());
    QVERIFY(!f.button("Command2")->isEnabled());
    QVERIFY(f.button("Command1")->isDefault());
    QCOMPARE(QApplication::focusWidget(), f.button("Command1"));
    QCOMPARE(form.windowTitle(), QString("Tavrel"));
    QVERIFY(!form.windowIcon().isNull());
    QCOMPARE(form.windowIcon().availableSizes().size(), 2);
    QVERIFY(!form.MSComm1.portOpen());
}

void TestWindow::controlsAsDesigned_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("tip");
    QTest::newRow("Command1") << "&Start"
                              << "Click to start logging";
    QTest::newRow("Command2") << "Sto&p"
                              << "Click to stop logging";
    QTest::newRow("Command3") << "&Clear"
                              << "Click to clear log and log file";
    QTest::newRow("Command4") << "&Exit"
                              << "Click to close";
    QTest::newRow("Label1") << "Serial Port No:"
                            << "Enter serial port number here";
    QTest::newRow("Label2") << "BPS:"
                            << "Enter baud rate here";
    QTest::newRow("Label3") << "Data Bits:"
                            << "Enter number of information bits here";
    QTest::newRow("Label4") << "Parity:"
                            << "Enter type of parity control here";
    QTest::newRow("Label5") << "Stop Bits:"
                            << "Enter number of stop bits here";
    QTest::newRow("Label6") << "Filename: LOG.TXT"
                            << "";
    QTest::newRow("Combo5") << "9600"
                            << "Change baud rate from here";
    // The port box names the device its number opens.
    QTest::newRow("Combo1") << "1"
                            << "Port 1 opens " + CommControl::devicePath(1);
    QTest::newRow("Text1") << ""
                           << "Logged data";
}

void TestWindow::controlsAsDesigned()
{
    FormFixture f;
    Form1 &form = f.start();
    QWidget *control = form.findChild<QWidget *>(QTest::currentDataTag());
    QVERIFY(control);
    QString caption;
    if (auto *button = qobject_cast<QPushButton *>(control))
        caption = button->text();
    else if (auto *label = qobject_cast<QLabel *>(control))
        caption = label->text();
    else if (auto *box = qobject_cast<QComboBox *>(control))
        caption = box->currentText();
    QTEST(caption, "caption");
    QTEST(control->toolTip(), "tip");
    QVERIFY(control->isVisible());
    // Every caption fits its control.
    if (auto *label = qobject_cast<QLabel *>(control))
        QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
    if (auto *button = qobject_cast<QPushButton *>(control))
        QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) < button->width(),
                 qPrintable(button->text()));
}

void TestWindow::comboBoxItems_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("text");
    QTest::newRow("port") << "Combo1" << QStringList{"1", "2"} << "1";
    QTest::newRow("data bits") << "Combo2" << QStringList{"5", "6", "7", "8"} << "8";
    QTest::newRow("parity") << "Combo3" << QStringList{"Even", "Odd", "None"} << "None";
    QTest::newRow("stop bits") << "Combo4" << QStringList{"1", "1.5", "2"} << "1";
    QTest::newRow("baud") << "Combo5" << QStringList{"1200",  "2400",  "4800",  "9600",  "14400",
                                                     "19200", "28800", "38400", "57600", "115200"}
                          << "9600";
}

void TestWindow::comboBoxItems()
{
    QFETCH(QString, box);
    FormFixture f;
    f.start();
    QComboBox *combo = f.box(box);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    QTEST(items, "items");
    QTEST(combo->currentText(), "text");
    QVERIFY(combo->isEditable());
}

void TestWindow::menus()
{
    FormFixture f;
    Form1 &form = f.start();
    QCOMPARE(form.mnuFile->title().remove('&'), QString("File"));
    QCOMPARE(form.mnuHelp->title().remove('&'), QString("Help"));
    QCOMPARE(form.mnuFileExit->text(), QString("Exit"));
    QCOMPARE(form.mnuFileExit->shortcut(), QKeySequence("Ctrl+X"));
    QCOMPARE(form.mnuHelpAbout->text(), QString("About"));
}

void TestWindow::tabOrder()
{
    FormFixture f;
    f.start();
    // The disabled Stop button is skipped.
    const QList<QWidget *> expected = {
        f.button("Command3"), f.button("Command4"), f.box("Combo1"), f.box("Combo5"),
        f.box("Combo2"),      f.box("Combo3"),      f.box("Combo4"), f.view(),
        f.button("Command1")};
    for (QWidget *next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *focus = QApplication::focusWidget();
        QVERIFY2(next == focus || next->isAncestorOf(focus), qPrintable(next->objectName()));
    }
}

void TestWindow::enterAndEscape_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("started");
    QTest::addColumn<bool>("ends");
    QTest::newRow("Enter in a box presses Start")
        << "Combo3" << int(Qt::Key_Return) << true << false;
    QTest::newRow("Enter on Exit presses Exit")
        << "Command4" << int(Qt::Key_Enter) << false << true;
    QTest::newRow("Escape presses Exit") << "Text1" << int(Qt::Key_Escape) << false << true;
}

void TestWindow::enterAndEscape()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    FormFixture f;
    qputenv("TAVREL_PORT1", f.path("no-such-port").toLocal8Bit());
    Form1 &form = f.start();
    control<QWidget>(form, focus)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    // Start cannot open the missing port and reports it in the view.
    QTEST(f.view()->text().contains("CommPort1 not available"), "started");
    QVERIFY(f.button("Command1")->isEnabled());
    QTEST(form.isEnding(), "ends");
    qunsetenv("TAVREL_PORT1");
}

void TestWindow::validationNotWhenFocusLeavesTheWindow()
{
    FormFixture f;
    f.start();
    f.box("Combo5")->setFocus();
    f.box("Combo5")->setEditText("300");
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QCOMPARE(f.box("Combo5")->currentText(), QString("300"));
}

void TestWindow::ctrlXExitsWhereverTheFocusIs_data()
{
    QTest::addColumn<QString>("focus");
    QTest::newRow("log view") << "Text1";
    QTest::newRow("button") << "Command3";
    QTest::newRow("parity box, its text selected") << "Combo3";
    QTest::newRow("baud box, its text selected") << "Combo5";
}

void TestWindow::ctrlXExitsWhereverTheFocusIs()
{
    QFETCH(QString, focus);
    FormFixture f;
    Form1 &form = f.start();
    QWidget *target = control<QWidget>(form, focus);
    target->setFocus();
    auto *box = qobject_cast<QComboBox *>(target);
    const QString boxText = box ? box->currentText() : QString();
    if (box)
        box->lineEdit()->selectAll();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_X, Qt::ControlModifier);
    QVERIFY(form.isEnding());
    if (box)
        QCOMPARE(box->currentText(), boxText);
}

enum class LeaveBy { TabAfterTheMenuCloses, ClickWhileTheMenuBarHasTheFocus };
Q_DECLARE_METATYPE(LeaveBy)

void TestWindow::menuAccessKeyDoesNotValidate_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Qt::Key>("accessKey");
    QTest::addColumn<LeaveBy>("leaveBy");
    QTest::addColumn<QString>("validated");
    QTest::newRow("Alt+F in the baud box, then Tab")
        << "Combo5"
        << "300" << Qt::Key_F << LeaveBy::TabAfterTheMenuCloses << "9600";
    QTest::newRow("Alt+H in the port box, then Tab")
        << "Combo1"
        << "3" << Qt::Key_H << LeaveBy::TabAfterTheMenuCloses << "1";
    QTest::newRow("Alt+F in the parity box, then a click on Clear")
        << "Combo3"
        << "odd" << Qt::Key_F << LeaveBy::ClickWhileTheMenuBarHasTheFocus << "None";
}

void TestWindow::menuAccessKeyDoesNotValidate()
{
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(Qt::Key, accessKey);
    QFETCH(LeaveBy, leaveBy);
    FormFixture f;
    Form1 &form = f.start();
    auto *combo = f.box(box);
    combo->setFocus();
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), typed);
    // As a keyboard sends it, without text.
    QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), accessKey, QString(),
                        Qt::AltModifier);
    QTRY_VERIFY(QApplication::activePopupWidget());
    QCOMPARE(combo->currentText(), typed);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    QTRY_VERIFY(!QApplication::activePopupWidget());
    QCOMPARE(combo->currentText(), typed);
    // Leaving the box for another control afterwards still validates it.
    if (leaveBy == LeaveBy::TabAfterTheMenuCloses) {
        // Escape in the menu bar leaves the menu bar; it is not the Exit button's key there.
        QTest::keyClick(form.menuBar(), Qt::Key_Escape);
        QVERIFY(!form.isEnding());
        QVERIFY(combo->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    } else {
        QVERIFY(form.menuBar()->hasFocus());
        QTest::mouseClick(f.button("Command3"), Qt::LeftButton);
    }
    QTEST(combo->currentText(), "validated");
}

void TestWindow::fullLineOfItemsFitsTheView()
{
    FormFixture f;
    Form1 &form = f.start();
    QCOMPARE(form.text1Width(), 7215.0f);
    int lineWidth = 0;
    for (const QChar digit : QString("0123456789ABCDEF"))
        lineWidth = std::max(lineWidth, f.view()->fontMetrics().horizontalAdvance(
                                            QString(QString(2, digit) + ' ').repeated(28)));
    QVERIFY2(lineWidth < f.view()->viewport()->width(),
             qPrintable(QString("%1 px of items, %2 px of view")
                            .arg(lineWidth)
                            .arg(f.view()->viewport()->width())));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
