#include "app/logview/logview.h"
#include "support/capturestate.h"
#include "support/formfixture.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

namespace {

// On Linux an editable combo box speaks its current text as its name: only its label names it.
QString spokenName(QWidget *widget)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
    if (!iface)
        return QString();
    if (qobject_cast<QComboBox *>(widget)) {
        const auto labels = iface->relations(QAccessible::Label);
        if (labels.isEmpty() || widget->accessibleName().isEmpty())
            return QString();
        return labels.first().first->text(QAccessible::Name);
    }
    return iface->text(QAccessible::Name);
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void controlsAsDesigned_data();
    void controlsAsDesigned();
    void menusAndIcon();
    void everyFocusableControlIsNamed();
    void tabOrder();
    void validationNotWhenFocusLeavesTheWindow();
    void ctrlXExitsWhereverTheFocusIs_data();
    void ctrlXExitsWhereverTheFocusIs();
    void menuAccessKeyDoesNotValidate_data();
    void menuAccessKeyDoesNotValidate();
    void fullLineOfItemsFitsTheView();
};

void TestWindow::controlsAsDesigned_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<QStringList>("items");
    const auto row = [](const char *control, const char *caption, const QString &tip,
                        const QStringList &items = {}) {
        QTest::newRow(control) << QString(caption) << tip << items;
    };
    row("Command1", "&Start", "Click to start logging");
    row("Command2", "Sto&p", "Click to stop logging");
    row("Command3", "&Clear", "Click to clear log and log file");
    row("Command4", "&Exit", "Click to close");
    row("Label1", "Serial Port No:", "Enter serial port number here");
    row("Label2", "BPS:", "Enter baud rate here");
    row("Label3", "Data Bits:", "Enter number of information bits here");
    row("Label4", "Parity:", "Enter type of parity control here");
    row("Label5", "Stop Bits:", "Enter number of stop bits here");
    row("Label6", "Filename: LOG.TXT", "");
    row("Text1", "", "Logged data");
    row("Combo1", "1", "Port 1 opens " + CommControl::devicePath(1), {"1", "2"});
    row("Combo2", "8", "", {"5", "6", "7", "8"});
    row("Combo3", "None", "", {"Even", "Odd", "None"});
    row("Combo4", "1", "", {"1", "1.5", "2"});
    row("Combo5", "9600", "Change baud rate from here",
        {"1200", "2400", "4800", "9600", "14400", "19200", "28800", "38400", "57600", "115200"});
}

void TestWindow::controlsAsDesigned()
{
    QFETCH(QStringList, items);
    FormFixture f;
    Form1 &form = f.start();
    QWidget *control = form.findChild<QWidget *>(QTest::currentDataTag());
    QVERIFY(control);
    QString caption;
    QStringList listed;
    if (auto *button = qobject_cast<QPushButton *>(control))
        caption = button->text();
    else if (auto *label = qobject_cast<QLabel *>(control))
        caption = label->text();
    if (auto *box = qobject_cast<QComboBox *>(control)) {
        caption = box->currentText();
        QVERIFY(box->isEditable());
        for (int i = 0; i < box->count(); ++i)
            listed << box->itemText(i);
    }
    QTEST(caption, "caption");
    QTEST(control->toolTip(), "tip");
    QCOMPARE(listed, items);
    QVERIFY(control->isVisible());
    // Every caption fits its control.
    if (auto *label = qobject_cast<QLabel *>(control))
        QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
    if (auto *button = qobject_cast<QPushButton *>(control))
        QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) < button->width(),
                 qPrintable(button->text()));
}

void TestWindow::menusAndIcon()
{
    FormFixture f;
    Form1 &form = f.start();
    QCOMPARE(form.mnuFile->title().remove('&'), QString("File"));
    QCOMPARE(form.mnuHelp->title().remove('&'), QString("Help"));
    QCOMPARE(form.mnuFileExit->text(), QString("Exit"));
    QCOMPARE(form.mnuFileExit->shortcut(), QKeySequence("Ctrl+X"));
    QCOMPARE(form.mnuHelpAbout->text(), QString("About"));
    QCOMPARE(form.windowIcon().availableSizes().size(), 2);
}

// Every control the keyboard can reach must be announced by a screen reader.
void TestWindow::everyFocusableControlIsNamed()
{
    FormFixture f;
    Form1 &form = f.start();
    int checked = 0;
    for (QWidget *widget : form.findChildren<QWidget *>()) {
        if (widget->focusPolicy() == Qt::NoFocus || widget->focusProxy() || !widget->isVisible())
            continue;
        const QString name = widget->objectName() + ' ' + widget->metaObject()->className();
        QVERIFY2(!spokenName(widget).trimmed().isEmpty(), qPrintable(name + " is not named"));
        ++checked;
    }
    // Four buttons, five boxes and the log view at least.
    QVERIFY2(checked >= 10, qPrintable(QString::number(checked)));
}

// From Start, which has the focus at start-up; the disabled Stop button is skipped.
void TestWindow::tabOrder()
{
    FormFixture f;
    f.start();
    QVERIFY(idle(*f.form));
    QCOMPARE(QApplication::focusWidget(), f.button("Command1"));
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
