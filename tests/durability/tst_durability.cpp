#include "logfile/logkeeper.h"
#include "posix/pathname.h"
#include "support/hexreference.h"
#include "tavrelprocess.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <sys/stat.h>

// The real program killed, terminated and cut off from its display: what it had read is in
// log.txt after the next start. TAVREL_KILL_ROUNDS sets the kill loop's length (10 by default),
// TAVREL_RANDOM_START repeats a run.
class TestDurability : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void killedAtRandomMomentsLosesNothingRead();
    void terminationWhileAWarningIsOpen_data();
    void terminationWhileAWarningIsOpen();
    void displayGoingAway_data();
    void displayGoingAway();
    void namesThatAreNotUtf8();
    void arrivalTimesComeBackAfterAKill();

private:
    enum Ending { KillWhileSending, KillDuringTheSave, KillWhenAllWasRead, EndingCount };

    QByteArray sendRandomly(TavrelProcess &tavrel, Ending ending);
    void recoverAndCheck(const QByteArray &sent, Ending ending);
    bool startX(QProcess &server, QString &display);

    PseudoTerminal m_terminal;
    QTemporaryDir m_dir;
    QRandomGenerator m_random;
    QByteArray m_log;
};

void TestDurability::initTestCase()
{
    QVERIFY(m_terminal.isValid());
    const quint32 start = qEnvironmentVariableIsSet("TAVREL_RANDOM_START")
                              ? qEnvironmentVariable("TAVREL_RANDOM_START").toUInt()
                              : QRandomGenerator::global()->generate();
    qInfo("TAVREL_RANDOM_START=%u", start);
    m_random = QRandomGenerator(start);
}

QByteArray TestDurability::sendRandomly(TavrelProcess &tavrel, Ending ending)
{
    QByteArray sent;
    // What an earlier run left goes on in the same journal.
    const qint64 journaledBefore = journaledText(m_dir.path());
    const int chunks = m_random.bounded(1, 60);
    const int killAt = ending == KillWhenAllWasRead ? -1 : m_random.bounded(chunks);
    for (int chunk = 0; chunk < chunks; ++chunk) {
        QByteArray bytes(m_random.bounded(1, 8192), Qt::Uninitialized);
        for (char &byte : bytes)
            byte = char(m_random.bounded(256));
        if (!m_terminal.write(bytes))
            break;
        sent += bytes;
        if (chunk == killAt) {
            if (ending == KillDuringTheSave) {
                // The termination save has begun, or is about to.
                tavrel.signal(SIGTERM);
                QTest::qSleep(m_random.bounded(0, 40));
            }
            tavrel.signal(SIGKILL);
            return sent;
        }
        if (m_random.bounded(4) == 0)
            QTest::qSleep(m_random.bounded(1, 10));
    }
    const qsizetype rendered = hexOf(sent, 28, 1).size();
    // A timeout here shows as missing bytes in the check after recovery.
    (void)QTest::qWaitFor([&] { return journaledText(m_dir.path()) >= journaledBefore + rendered; },
                          10000);
    tavrel.signal(SIGKILL);
    return sent;
}

void TestDurability::recoverAndCheck(const QByteArray &sent, Ending ending)
{
    m_terminal.discardUnread();
    // Killed or terminated at any moment of its start: recovering, showing, saving.
    TavrelProcess recovering;
    recovering.start(m_dir.path(), m_terminal.devicePath(), {});
    QTest::qWait(m_random.bounded(0, 400));
    recovering.signal(m_random.bounded(2) ? SIGKILL : SIGTERM);
    QVERIFY(recovering.ended());
    // What is kept: log.txt, and the journal's text that the next start shows after it.
    const QByteArray kept = keptText(m_dir.path());
    QVERIFY2(kept.startsWith(m_log), "the log lost what an earlier run had kept");
    const QByteArray added = kept.mid(m_log.size());
    const QByteArray reference = hexOf(sent, 28, 1);
    QVERIFY2(reference.startsWith(added), "the new part is not a prefix of what was sent");
    QVERIFY2(added.isEmpty() || added.endsWith(' ') || added.endsWith('\n'), "an item was cut");
    if (ending == KillWhenAllWasRead)
        QCOMPARE(added.size(), reference.size());
    m_log = kept;
}

void TestDurability::killedAtRandomMomentsLosesNothingRead()
{
    bool ok = false;
    const int asked = qEnvironmentVariableIntValue("TAVREL_KILL_ROUNDS", &ok);
    const int rounds = ok && asked > 0 ? asked : 10;
    int endings[EndingCount] = {};
    qint64 total = 0;
    for (int round = 0; round < rounds && !QTest::currentTestFailed(); ++round) {
        TavrelProcess tavrel;
        tavrel.start(m_dir.path(), m_terminal.devicePath(), {"--start"});
        QVERIFY(QTest::qWaitFor([&] { return tavrel.holds(m_terminal.devicePath()); }, 10000));
        // Input that arrives while the port is being opened is discarded with what came before.
        QTest::qWait(100);
        const auto ending = Ending(m_random.bounded(int(EndingCount)));
        ++endings[ending];
        const QByteArray sent = sendRandomly(tavrel, ending);
        total += sent.size();
        // The next round opens the same pseudo-terminal: a kill must not leave it unusable.
        QVERIFY(tavrel.ended());
        recoverAndCheck(sent, ending);
    }
    qInfo("%d rounds, %lld bytes sent; killed while sending %d, during the save %d, after all was "
          "read %d; log %lld bytes",
          rounds, total, endings[KillWhileSending], endings[KillDuringTheSave],
          endings[KillWhenAllWasRead], qint64(m_log.size()));
}

void TestDurability::terminationWhileAWarningIsOpen_data()
{
    QTest::addColumn<bool>("atStartUp");
    QTest::addColumn<int>("signal");
    QTest::newRow("warning at start-up, SIGTERM") << true << SIGTERM;
    // The terminal it was started from is closed.
    QTest::newRow("warning after a failed save, SIGHUP") << false << SIGHUP;
}

void TestDurability::terminationWhileAWarningIsOpen()
{
    QFETCH(bool, atStartUp);
    QFETCH(int, signal);
    QTemporaryDir dir;
    PseudoTerminal terminal;
    const QByteArray log = QFile::encodeName(dir.filePath("log.txt"));
    // A FIFO can be neither loaded nor replaced: every load and save warns.
    if (atStartUp)
        QVERIFY(::mkfifo(log.constData(), 0666) == 0);
    TavrelProcess tavrel;
    tavrel.start(dir.path(), terminal.devicePath(), {"--start"});
    if (!atStartUp) {
        QVERIFY(QTest::qWaitFor([&] { return tavrel.holds(terminal.devicePath()); }, 10000));
        QVERIFY(terminal.write("\x41\x42"));
        QVERIFY(QTest::qWaitFor(
            [&] { return QFileInfo(dir.filePath("log.txt.journal")).size() == 6; }, 10000));
        QVERIFY(QFile::remove(dir.filePath("log.txt")));
        QVERIFY(::mkfifo(log.constData(), 0666) == 0);
        // The device goes away: the capture is saved, which fails and warns.
        terminal.hangUp();
    }
    QTest::qWait(500);
    QVERIFY(tavrel.process.state() == QProcess::Running);
    QElapsedTimer clock;
    clock.start();
    tavrel.signal(signal);
    QVERIFY(tavrel.ended(8000));
    QVERIFY2(clock.elapsed() < 6000, "the program waited behind its warning");
    // Ended by its own exit, after the save, not by the signal's default action.
    QCOMPARE(tavrel.process.exitStatus(), QProcess::NormalExit);
    if (!atStartUp)
        QCOMPARE(fileBytes(dir.filePath("log.txt.journal")), QByteArray("41 42 "));
}

bool TestDurability::startX(QProcess &server, QString &display)
{
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    if (xvfb.isEmpty())
        return false;
    for (int number = 90 + int(::getpid() % 400); number < 990; number += 7) {
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            continue;
        display = QStringLiteral(":%1").arg(number);
        server.start(xvfb, {display, "-nolisten", "tcp"});
        if (server.waitForStarted() &&
            QTest::qWaitFor([&] { return QFile::exists("/tmp/.X11-unix/X" + display.mid(1)); },
                            5000))
            return true;
        server.kill();
        server.waitForFinished();
    }
    return false;
}

void TestDurability::displayGoingAway_data()
{
    QTest::addColumn<bool>("serverDies");
    QTest::newRow("the X server dies") << true;
    QTest::newRow("the window is destroyed from outside") << false;
}

void TestDurability::displayGoingAway()
{
    QFETCH(bool, serverDies);
    QProcess server;
    QString display;
    if (!startX(server, display))
        QSKIP("Xvfb is not installed");
    const QString xdotool = QStandardPaths::findExecutable("xdotool");
    if (!serverDies && xdotool.isEmpty())
        QSKIP("xdotool is not installed");
    QTemporaryDir dir;
    PseudoTerminal terminal;
    qputenv("DISPLAY", display.toLocal8Bit());
    TavrelProcess tavrel;
    tavrel.start(dir.path(), terminal.devicePath(), {"--start"}, "xcb");
    QVERIFY(QTest::qWaitFor([&] { return tavrel.holds(terminal.devicePath()); }, 10000));
    QVERIFY(terminal.write("\x10\x20"));
    QVERIFY(QTest::qWaitFor([&] { return QFileInfo(dir.filePath("log.txt.journal")).size() == 6; },
                            10000));
    if (serverDies) {
        server.kill();
    } else {
        QProcess::execute(xdotool, {"search", "--class", "Tavrel", "windowclose"});
    }
    QVERIFY2(tavrel.ended(8000), "the program went on without its window");
    QCOMPARE(fileBytes(dir.filePath("log.txt")), QByteArray("10 20 "));
    QVERIFY(!QFile::exists(dir.filePath("log.txt.journal")));
    server.kill();
    server.waitForFinished();
}

// Linux names are bytes: a port named so on the command line opens, and a folder named so keeps
// the log through a kill and a termination.
void TestDurability::namesThatAreNotUtf8()
{
    QTemporaryDir dir;
    PseudoTerminal terminal;
    const QString folder = dir.filePath(PathName::decodePath("log\xFF"));
    const QString port = dir.filePath(PathName::decodePath("tty\xFF"));
    QVERIFY(::mkdir(PathName::encodePath(folder).constData(), 0755) == 0);
    QVERIFY(::symlink(QFile::encodeName(terminal.devicePath()).constData(),
                      PathName::encodePath(port).constData()) == 0);
    QVERIFY(QDir(dir.path()).mkdir("lock"));
    const auto start = [&](TavrelProcess &tavrel) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("TAVREL_LOCK_DIR", dir.filePath("lock"));
        tavrel.process.setProcessEnvironment(environment);
        tavrel.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // QProcess hands over names as text; the shell makes the bytes.
        const QString script = R"sh(cd "$1/log$(printf '\377')" && )sh"
                               R"sh(exec "$0" --port1 "$1/tty$(printf '\377')" --start)sh";
        tavrel.process.start("/bin/sh", {"-c", script, TAVREL_EXECUTABLE, dir.path()});
        const bool holds =
            QTest::qWaitFor([&] { return tavrel.holds(terminal.devicePath()); }, 10000);
        // Input that arrives while the port is being opened is discarded with what came before.
        QTest::qWait(100);
        return holds;
    };
    const auto journalEndsWith = [&](const QByteArray &text) {
        return QTest::qWaitFor(
            [&] { return fileBytes(folder + "/log.txt.journal").endsWith(text); }, 10000);
    };
    TavrelProcess killed;
    QVERIFY(start(killed));
    QCOMPARE(fileBytes(dir.filePath("lock/LCK..") + PathName::decodePath("tty\xFF")),
             QByteArray::number(killed.process.processId()).rightJustified(10, ' ') + '\n');
    QVERIFY(terminal.write("\x41\x42"));
    QVERIFY(journalEndsWith("41 42 "));
    killed.signal(SIGKILL);
    QVERIFY(killed.ended());

    TavrelProcess terminated;
    QVERIFY(start(terminated));
    QVERIFY(terminal.write("\x43"));
    QVERIFY(journalEndsWith("43 "));
    terminated.signal(SIGTERM);
    QVERIFY(terminated.ended());
    QCOMPARE(fileBytes(folder + "/log.txt"), QByteArray("41 42 43 "));
    QCOMPARE(QDir(dir.filePath("lock")).entryList(QDir::Files), QStringList());
}

void TestDurability::arrivalTimesComeBackAfterAKill()
{
    QTemporaryDir dir;
    PseudoTerminal terminal;
    TavrelProcess tavrel;
    tavrel.start(dir.path(), terminal.devicePath(), {"--start"});
    QVERIFY(QTest::qWaitFor([&] { return tavrel.holds(terminal.devicePath()); }, 10000));
    QTest::qWait(100);
    const auto journaled = [&](qint64 size) {
        return QTest::qWaitFor(
            [&] { return QFileInfo(dir.filePath("log.txt.journal")).size() == size; }, 10000);
    };
    const qint64 sending = QDateTime::currentMSecsSinceEpoch();
    QVERIFY(terminal.write("\x41\x42"));
    QVERIFY(journaled(6));
    QTest::qWait(300);
    QVERIFY(terminal.write("\x43"));
    QVERIFY(journaled(9));
    const qint64 sent = QDateTime::currentMSecsSinceEpoch();
    // The journal's index is flushed within a quarter of a second.
    QTest::qWait(1000);
    tavrel.signal(SIGKILL);
    QVERIFY(tavrel.ended());

    LogKeeper keeper(dir.filePath("log.txt"));
    QVERIFY(keeper.claim().status == Journal::Claim::Status::Claimed);
    QCOMPARE(keeper.open().recoveredBytes, qint64(9));
    QVERIFY(keeper.arrivalMs(0) >= sending && keeper.arrivalMs(8) <= sent);
    QCOMPARE(keeper.arrivalMs(5), keeper.arrivalMs(0));
    QVERIFY(keeper.arrivalMs(6) - keeper.arrivalMs(5) >= 300);
}

QTEST_GUILESS_MAIN(TestDurability)
#include "tst_durability.moc"
