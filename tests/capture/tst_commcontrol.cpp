#include "capture/linetermios.h"
#include "capture/portreader.h"
#include "posix/fdguard.h"
#include "support/files.h"
#include "support/openport.h"
#include "support/pseudoterminal.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

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
    void settingsReachTheTerminal_data();
    void settingsReachTheTerminal();
    void onlyWhatArrivesAfterOpenComesThroughWhole();
    void setUpFailures_data();
    void setUpFailures();
    void hangUpSignalledOnce_data();
    void hangUpSignalledOnce();
    void steadyArrivalsAreHandedOverInBatches();
    void readerHeldAtItsLimitGoesOnToTheLastByte();
};

// A port named in the environment is the port box test's (tst_portfaults).
void TestCommControl::portNumbersMapToDevices()
{
    qunsetenv("TAVREL_PORT1");
    QCOMPARE(CommControl::devicePath(1), QString("/dev/ttyS0"));
    QCOMPARE(CommControl::devicePath(2), QString("/dev/ttyS1"));
}

void TestCommControl::settingsReachTheTerminal_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<uint>("flags");
    QTest::addColumn<uint>("speed"); // as tcgetattr and stty read it
    QTest::newRow("8 none 1") << "9600,N,8,1" << uint(CS8) << uint(B9600);
    QTest::newRow("7 even 2") << "115200,E,7,2" << uint(CS7 | PARENB | CSTOPB) << uint(B115200);
    QTest::newRow("5 odd 1.5") << "1200,O,5,1.5" << uint(CS5 | PARENB | PARODD | CSTOPB)
                               << uint(B1200);
    // Rates outside the termios table go through the custom-rate path (BOTHER).
    QTest::newRow("6 mark 1") << "14400,M,6,1" << uint(CS6 | PARENB | PARODD | CMSPAR)
                              << uint(CBAUDEX);
    QTest::newRow("8 space 2") << "28800,S,8,2" << uint(CS8 | PARENB | CMSPAR | CSTOPB)
                               << uint(CBAUDEX);
}

void TestCommControl::settingsReachTheTerminal()
{
    QFETCH(QString, settings);
    QFETCH(uint, flags);
    QFETCH(uint, speed);
    constexpr uint framing = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
    const std::optional<LineSettings> line = parseSettingsString(settings);
    QVERIFY(line);
    QCOMPARE(LineTermios::controlFlags(*line) & framing, flags);
    PseudoTerminal terminal;
    CommControl control;
    QVERIFY2(openPort(control, terminal.devicePath(), settings), qPrintable(control.errorString()));
    QCOMPARE(terminal.deviceBaudRate(), qint64(line->baudRate));
    QCOMPARE(uint(terminal.deviceSpeedConstant()), speed);
    // A pseudo-terminal forces 8 bits without parity but keeps the rest as it was set.
    constexpr uint kept = PARODD | CMSPAR | CSTOPB;
    QCOMPARE(terminal.deviceControlFlags() & kept, flags & kept);
    QVERIFY(terminal.deviceControlFlags() & CLOCAL);
    QVERIFY(control.setPortOpen(false));
    QVERIFY(!control.portOpen());
}

// What waited before the open is dropped; after it, every byte value comes as one character.
void TestCommControl::onlyWhatArrivesAfterOpenComesThroughWhole()
{
    PseudoTerminal terminal;
    QVERIFY(terminal.write("before"));
    CommControl control;
    QVERIFY2(openPort(control, terminal.devicePath()), qPrintable(control.errorString()));
    QByteArray sent;
    for (int round = 0; round < 4; ++round)
        for (int b = 0; b < 256; ++b)
            sent.append(char(b));
    QVERIFY(terminal.write(sent));
    QCOMPARE(receive(control, sent.size()), sent);
    QCOMPARE(control.input(), QByteArray());
}

void TestCommControl::setUpFailures_data()
{
    QTest::addColumn<bool>("regularFile"); // or a terminal
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("cause");
    QTest::newRow("regular file") << true << 9 << "Not a serial device";
    QTest::newRow("port number zero") << false << 0 << "No port 0";
}

void TestCommControl::setUpFailures()
{
    QFETCH(bool, regularFile);
    QFETCH(int, port);
    QFETCH(QString, cause);
    QTemporaryDir dir;
    PseudoTerminal terminal;
    const QString path = regularFile ? dir.filePath("not-a-terminal") : terminal.devicePath();
    QVERIFY(!regularFile || writeFileBytes(path, {}));
    qputenv("TAVREL_PORT9", path.toLocal8Bit());
    CommControl control;
    const bool opened = control.setCommPort(qint16(port)) && control.setPortOpen(true);
    QVERIFY(!opened);
    QVERIFY(!control.portOpen());
    QVERIFY2(control.errorString().startsWith(cause), qPrintable(control.errorString()));
}

void TestCommControl::hangUpSignalledOnce_data()
{
    QTest::addColumn<QByteArray>("pending");
    QTest::addColumn<bool>("announcedFirst");
    QTest::newRow("idle line") << QByteArray() << false;
    QTest::newRow("bytes announced, not yet taken") << QByteArray("\x00\x7F\x80\xFF", 4) << true;
    QTest::newRow("bytes still on their way") << QByteArray(3000, '\x55') << false;
}

// Like pulling out the adapter: onComm for what came, then one deviceLost, then silence; what
// nobody took is still there.
void TestCommControl::hangUpSignalledOnce()
{
    QFETCH(QByteArray, pending);
    QFETCH(bool, announcedFirst);
    PseudoTerminal terminal;
    CommControl control;
    QVERIFY2(openPort(control, terminal.devicePath()), qPrintable(control.errorString()));
    QByteArray order; // 'c' for onComm, 'l' for deviceLost, in the order they came
    connect(&control, &CommControl::onComm, this, [&] { order += 'c'; });
    connect(&control, &CommControl::deviceLost, this, [&] { order += 'l'; });
    QSignalSpy lost(&control, &CommControl::deviceLost);
    QVERIFY(terminal.write(pending));
    if (announcedFirst)
        QTRY_VERIFY(order.contains('c'));
    QElapsedTimer clock;
    clock.start();
    terminal.hangUp();
    QVERIFY(lost.wait(5000));
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(!lost.first().first().toString().isEmpty(), "the loss gives no reason");
    QVERIFY(!control.portOpen());
    QVERIFY(!control.isWaiting());
    const QByteArray kept = control.input();
    QVERIFY(pending.startsWith(kept));
    if (announcedFirst)
        QCOMPARE(kept, pending);
    // A hung-up descriptor keeps reporting: none of that may reach the window.
    QTest::qWait(300);
    QCOMPARE(order.count('l'), 1);
    QVERIFY2(order.endsWith('l'), order.constData());
    QCOMPARE(order.contains('c'), !kept.isEmpty());
}

// A byte every 2 ms would wake the window thread 500 times a second.
void TestCommControl::steadyArrivalsAreHandedOverInBatches()
{
    PseudoTerminal terminal;
    CommControl control;
    QVERIFY2(openPort(control, terminal.devicePath()), qPrintable(control.errorString()));
    int announcements = 0;
    QByteArray got;
    connect(&control, &CommControl::onComm, this, [&] {
        ++announcements;
        got += control.input();
    });
    QByteArray sent;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 200; ++i) {
        sent += char(i);
        QVERIFY(terminal.write(QByteArray(1, char(i))));
        QTest::qWait(2);
    }
    QTRY_COMPARE(got, sent);
    const qint64 limit = clock.elapsed() / PortReader::kAnnounceEveryMs + 2;
    QVERIFY2(announcements <= limit,
             qPrintable(QString("%1 announcements, at most %2").arg(announcements).arg(limit)));
}

// A window that stops taking input holds the reader at its limit, and the device behind it; once
// the window takes again, everything comes through, in order.
void TestCommControl::readerHeldAtItsLimitGoesOnToTheLastByte()
{
    PseudoTerminal terminal;
    FdGuard device(::open(QFile::encodeName(terminal.devicePath()).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    termios raw{};
    QVERIFY(device.fd() >= 0 && ::tcgetattr(device.fd(), &raw) == 0);
    ::cfmakeraw(&raw);
    QVERIFY(::tcsetattr(device.fd(), TCSANOW, &raw) == 0);
    PortReader reader([] {});
    QVERIFY(reader.start(device.fd()));
    QByteArray sent(3 * PortReader::kMaxWaiting, Qt::Uninitialized);
    for (qsizetype i = 0; i < sent.size(); ++i)
        sent[i] = char(i * 7 + i / 251);
    std::atomic<qsizetype> written{0};
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        while (written < sent.size() && !stop) {
            pollfd out{terminal.controllerFd(), POLLOUT, 0};
            if (::poll(&out, 1, 100) <= 0)
                continue;
            const ssize_t n = ::write(terminal.controllerFd(), sent.constData() + written,
                                      size_t(sent.size() - written));
            if (n > 0)
                written += n;
        }
    });
    const auto joinWriter = qScopeGuard([&] {
        stop = true;
        writer.join();
    });
    QTRY_VERIFY(reader.waiting() >= PortReader::kMaxWaiting);
    QVERIFY2(written < sent.size(), "the reader took more than its limit");
    QByteArray got;
    QTRY_VERIFY_WITH_TIMEOUT((got += reader.take(), got.size() >= sent.size()), 10000);
    QVERIFY(got == sent);
}

QTEST_GUILESS_MAIN(TestCommControl)
#include "tst_commcontrol.moc"
