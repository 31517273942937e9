#include "numbers.h"
#include "portrules.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTest>

namespace {

enum Box { Port, DataBits, Parity, StopBits, Baud };

// The five box texts and remembered settings as the window holds them right after start-up.
struct Row
{
    QString port = QStringLiteral("1");
    QString dataBits = QStringLiteral("8");
    QString parity = QStringLiteral("None");
    QString stopBits = QStringLiteral("1");
    QString baud = QStringLiteral("9600");
    qint16 lastPortNumber = 1;
    qint16 lastDataBits = 8;
    QString lastParity = QStringLiteral("None");
    float lastStopBits = 1;
    qint32 lastBaudRate = 9600;

    void enter(Box box, const QString &text)
    {
        switch (box) {
        case Port:
            port = text;
            return PortRules::validatePortNumber(port, lastPortNumber);
        case DataBits:
            dataBits = text;
            return PortRules::validateDataBits(dataBits, stopBits, lastDataBits, lastStopBits);
        case Parity:
            parity = text;
            return PortRules::validateParity(parity, lastParity);
        case StopBits:
            stopBits = text;
            return PortRules::validateStopBits(dataBits, stopBits, lastStopBits);
        case Baud:
            baud = text;
            return PortRules::validateBaudRate(baud, lastBaudRate);
        }
    }

    // Empty when every box holds an accepted entry that converts strictly to its setting.
    QString fault() const
    {
        using namespace Numbers;
        const auto port16 = strictToInt16(port);
        if (!port16 || *port16 != lastPortNumber || (lastPortNumber != 1 && lastPortNumber != 2))
            return "port " + port;
        const auto data = strictToDouble(dataBits);
        if (!data || *data < 5 || *data > 8 || strictToInt16(dataBits) != lastDataBits)
            return "data bits " + dataBits;
        if (parity != lastParity || (parity != u"Odd" && parity != u"Even" && parity != u"None"))
            return "parity " + parity;
        const auto stop = strictToFloat(stopBits);
        if (!stop || *stop != lastStopBits || (*stop != 1 && *stop != 1.5f && *stop != 2))
            return "stop bits " + stopBits;
        if ((*data == 5 && *stop == 2) || (*data != 5 && *stop == 1.5f))
            return "stop bits " + stopBits + " with data bits " + dataBits;
        const QList<qint32> rates{1200,  2400,  4800,  9600,  14400,
                                  19200, 28800, 38400, 57600, 115200};
        if (strictToInt32(baud) != lastBaudRate || !rates.contains(lastBaudRate))
            return "baud " + baud;
        return {};
    }
};

} // namespace

class TestPortRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void singleBox_data();
    void singleBox();
    void stopBitRule_data();
    void stopBitRule();
    void randomEntries();
};

void TestPortRules::singleBox_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("remembered");
    const auto row = [](const char *name, Box box, const QString &entry, const QString &text,
                        double remembered) {
        QTest::newRow(name) << int(box) << entry << text << remembered;
    };
    row("baud blank in front", Baud, " 9600", "9600", 9600);
    row("baud blank between digits", Baud, "96 00", "9600", 9600);
    row("baud leading zero", Baud, "09600", "9600", 9600);
    row("baud point zero", Baud, "9600.0", "9600", 9600);
    row("baud trailing letters", Baud, "9600abc", "9600", 9600);
    row("baud hex", Baud, "&H3840", "14400", 14400);
    row("baud 110", Baud, "110", "9600", 9600);
    row("baud fraction", Baud, "9600.5", "9600", 9600);
    row("baud word", Baud, "abc", "9600", 9600);
    row("baud empty", Baud, "", "9600", 9600);
    row("baud comma", Baud, "9,600", "9600", 9600);
    row("baud overflow", Baud, "1e400", "9600", 9600);
    row("baud wide hex", Baud, "&HFFFFFFFFFFFF", "9600", 9600);
    row("port two", Port, "2", "2", 2);
    row("port one point zero stays", Port, "1.0", "1.0", 1);
    row("port three", Port, "3", "1", 1);
    row("port one and a half", Port, "1.5", "1", 1);
    row("port name", Port, "COM1", "1", 1);
    row("port empty", Port, "", "1", 1);
    row("port trailing letter", Port, "1x", "1", 1);
    row("port hex", Port, "&H2", "1", 1);
    row("data bits seven", DataBits, "7", "7", 7);
    row("data bits half to even down", DataBits, "6.5", "6.5", 6);
    row("data bits half to even up", DataBits, "7.5", "7.5", 8);
    row("data bits 4.9", DataBits, "4.9", "8", 8);
    row("data bits 8.1", DataBits, "8.1", "8", 8);
    row("data bits trailing letter", DataBits, "8x", "8", 8);
    row("data bits line feed inside", DataBits, "7\n", "8", 8);
    row("stop bits two", StopBits, "2", "2", 2);
    row("stop bits 1.0 stays", StopBits, "1.0", "1.0", 1);
    row("stop bits three", StopBits, "3", "1", 1);
    row("stop bits trailing letter", StopBits, "2x", "1", 1);
    row("parity odd", Parity, "Odd", "Odd", 0);
    row("parity lower case", Parity, "none", "None", 0);
    row("parity capitals", Parity, "NONE", "None", 0);
    row("parity blank in front", Parity, " None", "None", 0);
    row("parity mark", Parity, "Mark", "None", 0);
}

void TestPortRules::singleBox()
{
    QFETCH(int, box);
    QFETCH(QString, entry);
    QFETCH(QString, text);
    QFETCH(double, remembered);
    Row settings;
    settings.enter(Box(box), entry);
    const QString texts[] = {settings.port, settings.dataBits, settings.parity, settings.stopBits,
                             settings.baud};
    const double values[] = {double(settings.lastPortNumber), double(settings.lastDataBits), 0,
                             double(settings.lastStopBits), double(settings.lastBaudRate)};
    QCOMPARE(texts[box], text);
    QCOMPARE(values[box], remembered);
    QCOMPARE(settings.fault(), QString());
}

void TestPortRules::stopBitRule_data()
{
    QTest::addColumn<QString>("steps"); // D or S for the box, then the entry; blank between steps
    QTest::addColumn<QString>("stopBits");
    QTest::addColumn<float>("lastStopBits");
    const auto row = [](const char *name, const char *steps, const char *text, float last) {
        QTest::newRow(name) << QString(steps) << QString(text) << last;
    };
    row("1.5 refused with 8 data bits", "S2 S1.5", "2", 2);
    row("2 refused with 5 data bits", "D5 S2", "1", 1);
    row("1.5 with 5 data bits", "D5 S1.5", "1.5", 1.5);
    row("8 to 5 moves 2 to 1.5", "S2 D5", "1.5", 1.5);
    row("5 to 7 moves 1.5 to 2", "D5 S1.5 D7", "2", 2);
    row("5 to 5.0 keeps 1.5", "D5 S1.5 D5.0", "1.5", 1.5);
    row("data bits change leaves 1 alone", "D5 D7", "1", 1);
    row("refused data bits restored first", "D5 S1.5 D9", "1.5", 1.5);
    row("refused 8x restored first", "D5 S1.5 D8x", "1.5", 1.5);
}

void TestPortRules::stopBitRule()
{
    QFETCH(QString, steps);
    QFETCH(QString, stopBits);
    QFETCH(float, lastStopBits);
    Row settings;
    for (const QString &step : steps.split(u' '))
        settings.enter(step.startsWith(u'D') ? DataBits : StopBits, step.sliced(1));
    QCOMPARE(settings.stopBits, stopBits);
    QCOMPARE(settings.lastStopBits, lastStopBits);
    QCOMPARE(settings.fault(), QString());
}

// Whatever is typed into whichever box, the row is left consistent and nothing crashes.
void TestPortRules::randomEntries()
{
    const quint32 seed = qEnvironmentVariableIsSet("TAVREL_SEED")
                             ? quint32(qEnvironmentVariableIntValue("TAVREL_SEED"))
                             : 20261207u;
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);
    const QStringList pieces{
        "0",    "1",      "2",   "5",    "6.5",    "7",     "8",
        "9600", "115200", "1.5", "-",    "+",      ".",     "e",
        "E-",   "&H",     "&o",  " ",    "\t",     "\n",    "x",
        "F",    ",",      "Odd", "Even", "None",   "1e400", "&HFFFFFFFFFFFFFFFFF",
        "3",    "00",     "\r",  "é",    "1e-400", "4"};
    Row settings;
    QSet<QString> reached;
    for (int i = 0; i < 50000; ++i) {
        QString entry;
        const int count = random.bounded(10) == 0 ? random.bounded(400) : random.bounded(5);
        for (int piece = 0; piece < count; ++piece)
            entry += pieces[random.bounded(pieces.size())];
        const Box box = Box(random.bounded(5));
        settings.enter(box, entry);
        const QString fault = settings.fault();
        QVERIFY2(fault.isEmpty(), qPrintable(QString("entry %1 in box %2 left %3")
                                                 .arg(entry.left(80))
                                                 .arg(int(box))
                                                 .arg(fault)));
        reached << settings.port + u'/' + settings.dataBits.left(1) + u'/' + settings.stopBits
                << settings.parity << QString::number(settings.lastBaudRate);
    }
    // Entries that never reach the interesting states would make the run above worthless.
    for (const char *state : {"1/5/1.5", "2/8/2", "1/7/1", "Odd", "Even", "1200", "115200"})
        QVERIFY2(reached.contains(state), state);
}

QTEST_GUILESS_MAIN(TestPortRules)
#include "tst_portrules.moc"
