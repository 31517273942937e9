#include "support/files.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kLog("41 42 \r\nD ");

// Runs the real program in the folder with no display, or with the display and platform given.
QProcess &runWithoutDisplay(QProcess &tavrel, const QTemporaryDir &dir,
                            const QStringList &arguments, const QString &display = {},
                            const QString &platform = {})
{
    tavrel.setWorkingDirectory(dir.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    if (!display.isEmpty())
        environment.insert("DISPLAY", display);
    if (!platform.isEmpty())
        environment.insert("QT_QPA_PLATFORM", platform);
    tavrel.setProcessEnvironment(environment);
    tavrel.start(TAVREL_EXECUTABLE, arguments);
    tavrel.waitForFinished(10000);
    return tavrel;
}

} // namespace

// The real program from outside: its command line and exports, run without a display (what it
// prints, what it writes, its exit status, and that it leaves log.txt alone), and a headless run
// that the session ends.
class TestCommandLine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void options_data();
    void options();
    void withoutADisplay_data();
    void withoutADisplay();
    void sessionEndSavesTheLoadedLog();
};

void TestCommandLine::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");        // a line stdout must hold
    QTest::addColumn<QString>("err");        // how stderr begins
    QTest::addColumn<QByteArray>("written"); // the file "out"; null: none
    const auto row = [](const char *name, const QStringList &arguments, int status,
                        const QString &out, const QString &err, const QByteArray &written = {}) {
        QTest::newRow(name) << arguments << status << out << err << written;
    };
    row("help", {"--help"}, 0,
        "  --list-ports   list the serial devices present, and which of them ports 1 and 2 open",
        "");
    row("version", {"--version"}, 0, "tavrel " TAVREL_VERSION, "");
    row("list with port 1 given", {"--port1", "/dev/tavrel-test-none", "--list-ports"}, 0,
        "Port 1 opens /dev/tavrel-test-none (not present)", "");
    row("port 2 given with =", {"--list-ports", "--port2=/dev/tavrel-test-two"}, 0,
        "Port 2 opens /dev/tavrel-test-two (not present)", "");
    row("unknown option", {"--bogus"}, 2, "", "tavrel: unknown option: --bogus\n");
    row("missing argument", {"--port1"}, 2, "", "tavrel: missing argument for --port1\n");
    row("empty path", {"--port2", ""}, 2, "", "tavrel: empty path for --port2\n");
    row("value for a flag", {"--help=yes"}, 2, "", "tavrel: no argument is taken by help\n");
    row("stray argument", {"log.txt"}, 2, "", "tavrel: unexpected argument: log.txt\n");
    // Every argument is checked before any is answered: bad input is never a success.
    row("unknown before help", {"-x", "--help"}, 2, "", "tavrel: unknown option: -x\n");
    row("unknown after help", {"--help", "--bogus"}, 2, "", "tavrel: unknown option: --bogus\n");
    row("stray after version", {"--version", "extra"}, 2, "",
        "tavrel: unexpected argument: extra\n");
    row("export bytes", {"--export-bin", "log.txt", "out"}, 0, "", "", "\x41\x42\x0d");
    row("export csv", {"--export-csv", "log.txt", "out"}, 0, "", "",
        "time,offset,bytes,items\n,0,2,41 42\n,8,1,D\n");
    row("export of a missing log", {"--export-bin", "none.txt", "out"}, 1, "",
        "tavrel: Could not read none.txt: ");
    row("export onto the log", {"--export-csv", "log.txt", "log.txt"}, 1, "",
        "tavrel: Will not write over log.txt: ");
    row("export with no target", {"--export-csv", "log.txt"}, 2, "",
        "tavrel: --export-csv takes a log and a file to write, and no other option\n");
    row("export with another option", {"--start", "--export-bin", "log.txt", "out"}, 2, "",
        "tavrel: --export-bin takes a log and a file to write, and no other option\n");
}

void TestCommandLine::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QByteArray, written);
    QTemporaryDir dir;
    QVERIFY(writeFileBytes(dir.filePath("log.txt"), kLog));
    QProcess tavrel;
    runWithoutDisplay(tavrel, dir, arguments);
    const QString stdOut = QString::fromLocal8Bit(tavrel.readAllStandardOutput());
    const QString stdErr = QString::fromLocal8Bit(tavrel.readAllStandardError());
    QCOMPARE(tavrel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tavrel.exitCode(), status);
    if (!out.isEmpty())
        QVERIFY2(stdOut.split('\n').contains(out), qPrintable(stdOut));
    QVERIFY2(err.isEmpty() ? stdErr.isEmpty() : stdErr.startsWith(err), qPrintable(stdErr));
    if (status == 2) {
        QCOMPARE(stdOut, QString());
        QVERIFY2(stdErr.section('\n', 1, 1).startsWith("Usage: tavrel"), qPrintable(stdErr));
    }
    QCOMPARE(fileBytes(dir.filePath("out")), written);
    // log.txt as it was, and nothing else left behind: no times file, journal or temporary file.
    QCOMPARE(fileBytes(dir.filePath("log.txt")), kLog);
    const QStringList left =
        written.isNull() ? QStringList{"log.txt"} : QStringList{"log.txt", "out"};
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), left);
}

void TestCommandLine::withoutADisplay_data()
{
    QTest::addColumn<QString>("display"); // empty: not set
    QTest::addColumn<QString>("platform");
    QTest::newRow("no display set") << ""
                                    << "";
    QTest::newRow("a display nobody serves") << ":4711"
                                             << "";
    QTest::newRow("the platform named, no display") << ""
                                                    << "xcb";
}

// One line and status 1 instead of Qt's abort, and the log as it was.
void TestCommandLine::withoutADisplay()
{
    QFETCH(QString, display);
    QFETCH(QString, platform);
    QTemporaryDir dir;
    QVERIFY(writeFileBytes(dir.filePath("log.txt"), kLog));
    QProcess tavrel;
    runWithoutDisplay(tavrel, dir, {"--start"}, display, platform);
    const QString stdErr = QString::fromLocal8Bit(tavrel.readAllStandardError());
    QCOMPARE(tavrel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tavrel.exitCode(), 1);
    QVERIFY2(stdErr.startsWith("tavrel: cannot open the window: ") && stdErr.count('\n') == 1,
             qPrintable(stdErr));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"log.txt"});
    QCOMPARE(fileBytes(dir.filePath("log.txt")), kLog);
}

void TestCommandLine::sessionEndSavesTheLoadedLog()
{
    QTemporaryDir dir;
    QVERIFY(writeFileBytes(dir.filePath("log.txt"), "41 42 \r\n43 "));
    QProcess tavrel;
    tavrel.setWorkingDirectory(dir.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    tavrel.setProcessEnvironment(environment);
    tavrel.start(TAVREL_EXECUTABLE, {});
    QVERIFY(tavrel.waitForStarted());
    QVERIFY(!tavrel.waitForFinished(1500));
    tavrel.terminate();
    QVERIFY(tavrel.waitForFinished(5000));
    QCOMPARE(tavrel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tavrel.exitCode(), 0);
    QCOMPARE(fileBytes(dir.filePath("log.txt")), QByteArray("41 42 \r\n43 "));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
