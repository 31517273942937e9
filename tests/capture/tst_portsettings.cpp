#include "capture/portsettings.h"

#include <QTest>

class TestPortSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void compose_data();
    void compose();
    void parse_data();
    void parse();
    void notice();
};

void TestPortSettings::compose_data()
{
    QTest::addColumn<QStringList>("texts"); // baud, parity, data bits, stop bits
    QTest::addColumn<QString>("expected");
    QTest::newRow("start-up values") << QStringList{"9600", "None", "8", "1"} << "9600,N,8,1";
    QTest::newRow("even") << QStringList{"115200", "Even", "7", "2"} << "115200,E,7,2";
    QTest::newRow("odd, one and a half")
        << QStringList{"1200", "Odd", "5", "1.5"} << "1200,O,5,1.5";
    QTest::newRow("texts unchanged") << QStringList{"9600", "None", " 8", "2.0"} << "9600,N, 8,2.0";
    QTest::newRow("empty parity") << QStringList{"9600", "", "8", "1"} << "9600,,8,1";
}

void TestPortSettings::compose()
{
    QFETCH(QStringList, texts);
    QTEST(composeSettingsString(texts[0], texts[1], texts[2], texts[3]), "expected");
}

void TestPortSettings::parse_data()
{
    using SP = QSerialPort;
    QTest::addColumn<QString>("settings");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");

    QTest::newRow("plain") << "9600,N,8,1" << true << 9600 << int(SP::NoParity) << 8
                           << int(SP::OneStop);
    QTest::newRow("non-standard rate")
        << "14400,E,7,2" << true << 14400 << int(SP::EvenParity) << 7 << int(SP::TwoStop);
    QTest::newRow("1.5 stop bits with 5 data bits")
        << "1200,O,5,1.5" << true << 1200 << int(SP::OddParity) << 5 << int(SP::TwoStop);
    QTest::newRow("mark") << "28800,M,8,1" << true << 28800 << int(SP::MarkParity) << 8
                          << int(SP::OneStop);
    QTest::newRow("space, lower case")
        << "9600,s,6,1" << true << 9600 << int(SP::SpaceParity) << 6 << int(SP::OneStop);
    QTest::newRow("texts as typed")
        << "9600,N, 8,2.0" << true << 9600 << int(SP::NoParity) << 8 << int(SP::TwoStop);
    QTest::newRow("1.5 with 8 data bits") << "9600,N,8,1.5" << false << 0 << 0 << 0 << 0;
    QTest::newRow("fraction of data bits") << "9600,N,6.5,1" << false << 0 << 0 << 0 << 0;
    QTest::newRow("data bits with letters") << "9600,N,8x,1" << false << 0 << 0 << 0 << 0;
    QTest::newRow("four data bits") << "9600,N,4,1" << false << 0 << 0 << 0 << 0;
    QTest::newRow("unknown parity") << "9600,X,8,1" << false << 0 << 0 << 0 << 0;
    QTest::newRow("empty parity") << "9600,,8,1" << false << 0 << 0 << 0 << 0;
    QTest::newRow("zero baud") << "0,N,8,1" << false << 0 << 0 << 0 << 0;
    QTest::newRow("three stop bits") << "9600,N,8,3" << false << 0 << 0 << 0 << 0;
    QTest::newRow("too few fields") << "9600,N,8" << false << 0 << 0 << 0 << 0;
    QTest::newRow("too many fields") << "9600,N,8,1,1" << false << 0 << 0 << 0 << 0;
}

void TestPortSettings::parse()
{
    QFETCH(QString, settings);
    QFETCH(bool, valid);
    const std::optional<LineSettings> parsed = parseSettingsString(settings);
    QCOMPARE(parsed.has_value(), valid);
    if (!valid)
        return;
    QTEST(int(parsed->baudRate), "baud");
    QTEST(int(parsed->parity), "parity");
    QTEST(int(parsed->dataBits), "dataBits");
    QTEST(int(parsed->stopBits), "stopBits");
}

void TestPortSettings::notice()
{
    QCOMPARE(portUnavailableNotice("2"),
             QString("\r\nCommPort2 not available. Change the 'Serial Port No:' property to "
                     "another port.\r\n"));
}

QTEST_APPLESS_MAIN(TestPortSettings)
#include "tst_portsettings.moc"
