#include "settingsinvariant.h"

#include <QTest>

using Box = SettingsRow::Box;

class TestPortRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void entries_data();
    void entries();
};

// Steps: box letter (Port, Data bits, parItY, Stop bits, Baud) and entry, '|' between steps.
void TestPortRules::entries_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("boxes");
    const auto row = [](const char *steps, const char *boxes) {
        QTest::newRow(steps) << QString(steps) << QString(boxes);
    };
    row("B1 9200abc", "1|8|None|1|19200");
    row("B&H3840", "1|8|None|1|14400");
    row("B19200|B9,600", "1|8|None|1|19200");
    row("B19200|B1e400", "1|8|None|1|19200");
    row("P2|P1.0", "1.0|8|None|1|9600");
    row("P2|P1.5", "2|8|None|1|9600");
    row("P2|P1x", "2|8|None|1|9600");
    row("D6.5", "1|6.5|None|1|9600");
    row("D7|D4.9", "1|7|None|1|9600");
    row("D7|D8.1", "1|7|None|1|9600");
    row("D7|D7\n", "1|7|None|1|9600");
    row("S2|S3", "1|8|None|2|9600");
    row("S2|S2x", "1|8|None|2|9600");
    row("YOdd|Ynone", "1|8|Odd|1|9600");
    row("S2|S1.5", "1|8|None|2|9600");
    row("D5|S2", "1|5|None|1|9600");
    row("S2|D5", "1|5|None|1.5|9600");
    row("D5|S1.5|D7", "1|7|None|2|9600");
    row("D5|S1.5|D5.0", "1|5.0|None|1.5|9600");
    row("D5|D7", "1|7|None|1|9600");
    row("D5|S1.5|D9", "1|5|None|1.5|9600");
}

void TestPortRules::entries()
{
    QFETCH(QString, steps);
    QFETCH(QString, boxes);
    SettingsRow settings;
    for (const QString &step : steps.split(u'|')) {
        settings.enter(Box(QStringLiteral("PDYSB").indexOf(step[0])), step.sliced(1));
        QVERIFY2(settings.fault().isEmpty(), qPrintable(step + ": " + settings.fault()));
    }
    QCOMPARE(settings.box.join(u'|'), boxes);
}

QTEST_GUILESS_MAIN(TestPortRules)
#include "tst_portrules.moc"
