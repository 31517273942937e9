#include "commcontrol.h"
#include "support/pseudoterminal.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Points port 9 at the device so that the control opens it through the environment.
void usePortNine(const QString &path)
{
    qputenv("TAVREL_PORT9", path.toLocal8Bit());
}

bool openPortNine(CommControl &control, const QString &settings = "9600,N,8,1")
{
    return control.setCommPort(9) && control.setSettings(settings) && control.setPortOpen(true);
}

// Waits for data while the event loop runs, collecting what input() gives.
QByteArray receive(CommControl &control, qsizetype expected)
{
    QByteArray got;
    QObject context;
    QObject::connect(&control, &CommControl::onComm, &context, [&] { got += control.input(); });
    // The caller compares what arrived; a short wait shows up there.
    [[maybe_unused]] const bool arrived =
        QTest::qWaitFor([&] { return got.size() >= expected; }, 10000);
    return got;
}

} // namespace

class TestCommControl : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void portNumbersMapToDevices();
    void appliesBaudRate_data();
    void appliesBaudRate();
    void everyByteValueArrivesAsOneCharacter();
    void setUpFailures_data();
    void setUpFailures();
};

void TestCommControl::portNumbersMapToDevices()
{
    qunsetenv("TAVREL_PORT1");
    QCOMPARE(CommControl::devicePath(1), QString("/dev/ttyS0"));
    QCOMPARE(CommControl::devicePath(2), QString("/dev/ttyS1"));
    qputenv("TAVREL_PORT2", "/dev/ttyUSB0");
    QCOMPARE(CommControl::devicePath(2), QString("/dev/ttyUSB0"));
    qunsetenv("TAVREL_PORT2");
}

void TestCommControl::appliesBaudRate_data()
{
    QTest::addColumn<int>("baud");
    for (int rate : {1200, 9600, 14400, 28800, 115200})
        QTest::addRow("%d", rate) << rate;
}

void TestCommControl::appliesBaudRate()
{
    QFETCH(int, baud);
    PseudoTerminal terminal;
    QVERIFY(terminal.isValid());
    usePortNine(terminal.devicePath());
    CommControl control;
    // A pseudo-terminal keeps only 8 data bits without parity.
    QVERIFY2(openPortNine(control, QString("%1,N,8,2").arg(baud)),
             qPrintable(control.errorString()));
    QCOMPARE(terminal.deviceBaudRate(), qint64(baud));
    QVERIFY(control.setPortOpen(false));
    QVERIFY(!control.portOpen());
}

void TestCommControl::everyByteValueArrivesAsOneCharacter()
{
    PseudoTerminal terminal;
    usePortNine(terminal.devicePath());
    CommControl control;
    QVERIFY2(openPortNine(control), qPrintable(control.errorString()));
    QByteArray sent;
    for (int round = 0; round < 4; ++round)
        for (int b = 0; b < 256; ++b)
            sent.append(char(b));
    QVERIFY(terminal.write(sent));
    QCOMPARE(receive(control, sent.size()), sent);
    QCOMPARE(control.inBufferCount(), 0);
}

void TestCommControl::setUpFailures_data()
{
    QTest::addColumn<QString>("device"); // "file" makes a regular file
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("settings");
    QTest::newRow("missing device") << "/dev/tavrel-no-such-device" << 9 << "9600,N,8,1";
    QTest::newRow("regular file") << "file" << 9 << "9600,N,8,1";
    QTest::newRow("port number zero") << "" << 0 << "9600,N,8,1";
    QTest::newRow("settings it cannot take") << "pty" << 9 << "9600,N,8,1.5";
}

void TestCommControl::setUpFailures()
{
    QFETCH(QString, device);
    QFETCH(int, port);
    QFETCH(QString, settings);
    QTemporaryDir dir;
    PseudoTerminal terminal;
    if (device == "file") {
        device = dir.filePath("not-a-terminal");
        QFile file(device);
        QVERIFY(file.open(QIODevice::WriteOnly));
    } else if (device == "pty") {
        device = terminal.devicePath();
    }
    usePortNine(device);
    CommControl control;
    const bool opened = control.setCommPort(qint16(port)) && control.setSettings(settings) &&
                        control.setPortOpen(true);
    QVERIFY(!opened);
    QVERIFY(!control.portOpen());
    QVERIFY(!control.errorString().isEmpty());
}

QTEST_GUILESS_MAIN(TestCommControl)
#include "tst_commcontrol.moc"
