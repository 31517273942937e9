#include "settingsinvariant.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTest>

using Box = SettingsRow::Box;

class TestPortRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void entries_data();
    void entries();
    void randomEntries();
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
    row("YEven|Y None", "1|8|Even|1|9600");
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

// Whatever is typed into whichever box, the row stays consistent.
void TestPortRules::randomEntries()
{
    bool isSet = false;
    quint32 randomStart = quint32(qEnvironmentVariableIntValue("TAVREL_RANDOM_START", &isSet));
    randomStart = isSet ? randomStart : 20261207u;
    qInfo("random start %u", randomStart);
    QRandomGenerator random(randomStart);
    const QStringList pieces =
        QStringLiteral("0~1~2~3~4~5~6.5~7~8~00~1200~9600~115200~1.5~-~+~.~e~E-~&H~"
                       "&o~ ~\t~\n~\r~x~F~,~é~Odd~Even~None~1e400~1e-400~"
                       "&HFFFFFFFFFFFFFFFFF")
            .split(u'~');
    SettingsRow settings;
    QSet<QString> reached;
    for (int i = 0; i < 50000; ++i) {
        QString entry;
        const int count = random.bounded(10) == 0 ? random.bounded(400) : random.bounded(5);
        for (int piece = 0; piece < count; ++piece)
            entry += pieces[random.bounded(pieces.size())];
        const Box box = Box(random.bounded(5));
        settings.enter(box, entry);
        QVERIFY2(settings.fault().isEmpty(),
                 qPrintable(entry.left(80) + " in box " + QString::number(box) + ": " +
                            settings.fault()));
        const QStringList &shown = settings.box;
        reached << shown[SettingsRow::Port] + u'|' + shown[SettingsRow::DataBits].left(1) + u'|' +
                       shown[SettingsRow::StopBits]
                << shown[SettingsRow::Parity] << QString::number(settings.baud);
    }
    // A run that never reaches these states would prove nothing.
    for (const char *state : {"1|5|1.5", "2|8|2", "1|7|1", "Odd", "Even", "1200", "115200"})
        QVERIFY2(reached.contains(state), state);
}

QTEST_GUILESS_MAIN(TestPortRules)
#include "tst_portrules.moc"
