#include "capture/portsettings.h"

#include <QTest>

class TestPortSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data();
    void parse();
};

// Start's settings string read as the plain string beside it, or refused; how plain strings reach
// the port is the serial control's test.
void TestPortSettings::parse_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("plain"); // empty: refused
    const auto row = [](const char *name, const char *settings, const char *plain) {
        QTest::newRow(name) << QString(settings) << QString(plain);
    };
    row("lower-case parity", "9600,s,6,1", "9600,S,6,1");
    row("texts as typed", "9600,N, 8,2.0", "9600,N,8,2");
    row("1.5 with 8 data bits", "9600,N,8,1.5", "");
    row("fraction of data bits", "9600,N,6.5,1", "");
    row("data bits with letters", "9600,N,8x,1", "");
    row("four data bits", "9600,N,4,1", "");
    row("unknown parity", "9600,X,8,1", "");
    row("empty parity", "9600,,8,1", "");
    row("zero baud", "0,N,8,1", "");
    row("three stop bits", "9600,N,8,3", "");
    row("too few fields", "9600,N,8", "");
    row("too many fields", "9600,N,8,1,1", "");
}

void TestPortSettings::parse()
{
    QFETCH(QString, settings);
    QFETCH(QString, plain);
    const std::optional<LineSettings> parsed = parseSettingsString(settings);
    QCOMPARE(parsed.has_value(), !plain.isEmpty());
    if (parsed)
        QVERIFY(parsed == parseSettingsString(plain));
}

QTEST_APPLESS_MAIN(TestPortSettings)
#include "tst_portsettings.moc"
