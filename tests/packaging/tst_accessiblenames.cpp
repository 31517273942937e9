#include "../app/formfixture.h"
#include "logview.h"

#include <QAccessible>
#include <QComboBox>
#include <QPushButton>

// A screen reader announces a control by its name, and a combo box by the label that labels it:
// on Linux, Qt gives a combo box's current text as its name and its label only as a relation.
class TestAccessibleNames : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void controlIsNamed_data();
    void controlIsNamed();
    void comboBoxIsLabelled_data();
    void comboBoxIsLabelled();
    void noFocusableControlIsUnnamed();
};

namespace {

QWidget *control(Form1 &form, const QString &name)
{
    const QHash<QString, QWidget *> controls = {
        {"Combo1", form.Combo1},     {"Combo2", form.Combo2},     {"Combo3", form.Combo3},
        {"Combo4", form.Combo4},     {"Combo5", form.Combo5},     {"Command1", form.Command1},
        {"Command2", form.Command2}, {"Command3", form.Command3}, {"Command4", form.Command4},
        {"Text1", form.Text1}};
    return controls.value(name);
}

QString accessibleName(QObject *object)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : QString();
}

QStringList labelsOf(QObject *object)
{
    QStringList labels;
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    if (!iface)
        return labels;
    for (const auto &relation : iface->relations(QAccessible::Label))
        labels.append(relation.first->text(QAccessible::Name));
    return labels;
}

} // namespace

void TestAccessibleNames::controlIsNamed_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::newRow("start") << "Command1"
                           << "Start";
    QTest::newRow("stop") << "Command2"
                          << "Stop";
    QTest::newRow("clear") << "Command3"
                           << "Clear";
    QTest::newRow("exit") << "Command4"
                          << "Exit";
    QTest::newRow("log view") << "Text1"
                              << "Logged data";
}

void TestAccessibleNames::controlIsNamed()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    FormFixture f;
    Form1 &form = f.start();
    QCOMPARE(accessibleName(::control(form, control)), name);
}

void TestAccessibleNames::comboBoxIsLabelled_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("label");
    QTest::newRow("port") << "Combo1"
                          << "Serial Port No:";
    QTest::newRow("baud rate") << "Combo5"
                               << "BPS:";
    QTest::newRow("data bits") << "Combo2"
                               << "Data Bits:";
    QTest::newRow("parity") << "Combo3"
                            << "Parity:";
    QTest::newRow("stop bits") << "Combo4"
                               << "Stop Bits:";
}

void TestAccessibleNames::comboBoxIsLabelled()
{
    QFETCH(QString, control);
    QFETCH(QString, label);
    FormFixture f;
    Form1 &form = f.start();
    QWidget *box = ::control(form, control);
    QCOMPARE(labelsOf(box), QStringList{label});
    // Other platforms announce the name itself.
    QCOMPARE(box->accessibleName(), label);
}

void TestAccessibleNames::noFocusableControlIsUnnamed()
{
    FormFixture f;
    Form1 &form = f.start();
    for (QWidget *widget : form.findChildren<QWidget *>()) {
        if (widget->focusPolicy() == Qt::NoFocus || widget->focusProxy() || !widget->isVisible())
            continue;
        const bool named = !accessibleName(widget).isEmpty() || !labelsOf(widget).isEmpty();
        QVERIFY2(named, widget->metaObject()->className());
    }
}

QTEST_MAIN(TestAccessibleNames)
#include "tst_accessiblenames.moc"
