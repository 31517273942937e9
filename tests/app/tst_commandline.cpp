#include "support/files.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The real program from outside: its command line, run without a display (what it prints, its exit
// status, and that it leaves log.txt alone), and a headless run that the session ends.
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
    QTest::addColumn<QString>("out"); // a line stdout must hold
    QTest::addColumn<QString>("err"); // the first line of stderr
    QTest::newRow("help") << QStringList{"--help"} << 0
                          << "  --list-ports   list the serial "
                             "devices present, and which of them "
                             "ports 1 and 2 open"
                          << "";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "tavrel " TAVREL_VERSION << "";
    QTest::newRow("list with port 1 given")
        << QStringList{"--port1", "/dev/tavrel-test-none", "--list-ports"} << 0
        << "Port 1 opens /dev/tavrel-test-none (not present)"
        << "";
    QTest::newRow("port 2 given with =")
        << QStringList{"--list-ports", "--port2=/dev/tavrel-test-two"} << 0
        << "Port 2 opens /dev/tavrel-test-two (not present)"
        << "";
    QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << ""
                                    << "tavrel: unknown option: --bogus";
    QTest::newRow("missing argument") << QStringList{"--port1"} << 2 << ""
                                      << "tavrel: missing argument for --port1";
    QTest::newRow("empty path") << QStringList{"--port2", ""} << 2 << ""
                                << "tavrel: empty path for --port2";
    QTest::newRow("value for a flag") << QStringList{"--help=yes"} << 2 << ""
                                      << "tavrel: no argument is taken by help";
    QTest::newRow("stray argument") << QStringList{"log.txt"} << 2 << ""
                                    << "tavrel: unexpected argument: log.txt";
    // Every argument is checked before any is answered: bad input is never a success.
    QTest::newRow("unknown before help") << QStringList{"-x", "--help"} << 2 << ""
                                         << "tavrel: unknown option: -x";
    QTest::newRow("unknown after help") << QStringList{"--help", "--bogus"} << 2 << ""
                                        << "tavrel: unknown option: --bogus";
    QTest::newRow("stray after version") << QStringList{"--version", "extra"} << 2 << ""
                                         << "tavrel: unexpected argument: extra";
}

void TestCommandLine::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir dir;
    QProcess tavrel;
    tavrel.setWorkingDirectory(dir.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // With no display at all, a window would end the program with status 1.
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    tavrel.setProcessEnvironment(environment);
    tavrel.start(TAVREL_EXECUTABLE, arguments);
    QVERIFY(tavrel.waitForFinished(10000));
    const QString stdOut = QString::fromLocal8Bit(tavrel.readAllStandardOutput());
    const QString stdErr = QString::fromLocal8Bit(tavrel.readAllStandardError());
    QCOMPARE(tavrel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tavrel.exitCode(), status);
    if (!out.isEmpty())
        QVERIFY2(stdOut.split('\n').contains(out), qPrintable(stdOut));
    if (status == 0) {
        QCOMPARE(stdErr, QString());
    } else {
        QCOMPARE(stdOut, QString());
        QCOMPARE(stdErr.section('\n', 0, 0), err);
        QVERIFY2(stdErr.section('\n', 1, 1).startsWith("Usage: tavrel"), qPrintable(stdErr));
    }
    QVERIFY(QDir(dir.path()).isEmpty());
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
    QVERIFY(writeFileBytes(dir.filePath("log.txt"), "41 "));
    QProcess tavrel;
    tavrel.setWorkingDirectory(dir.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    if (!display.isEmpty())
        environment.insert("DISPLAY", display);
    if (!platform.isEmpty())
        environment.insert("QT_QPA_PLATFORM", platform);
    tavrel.setProcessEnvironment(environment);
    tavrel.start(TAVREL_EXECUTABLE, {"--start"});
    QVERIFY(tavrel.waitForFinished(10000));
    const QString stdErr = QString::fromLocal8Bit(tavrel.readAllStandardError());
    QCOMPARE(tavrel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tavrel.exitCode(), 1);
    QVERIFY2(stdErr.startsWith("tavrel: cannot open the window: ") && stdErr.count('\n') == 1,
             qPrintable(stdErr));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"log.txt"});
    QCOMPARE(fileBytes(dir.filePath("log.txt")), QByteArray("41 "));
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
