#include "support/formfixture.h"

#include <QAccessible>
#include <QComboBox>

// Every control the keyboard can reach must be announced by a screen reader. On Linux an
// editable combo box speaks its current text as its name, so only its label relation names it.
class TestAccessibleNames : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyFocusableControlIsNamed();
};

namespace {

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

void TestAccessibleNames::everyFocusableControlIsNamed()
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

QTEST_MAIN(TestAccessibleNames)
#include "tst_accessiblenames.moc"
