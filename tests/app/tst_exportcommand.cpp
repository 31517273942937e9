#include "support/files.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// tavrel --export-csv and --export-bin from outside, with no display.
class TestExportCommand : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void exportOptions_data();
    void exportOptions();
};

void TestExportCommand::exportOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<QString>("err"); // the first line of stderr
    QTest::newRow("bytes") << QStringList{"--export-bin", "log.txt", "out"} << 0
                           << QByteArray("\x41\x42\x0d", 3) << "";
    QTest::newRow("csv") << QStringList{"--export-csv", "log.txt", "out"} << 0
                         << QByteArray("time,offset,bytes,items\n,0,2,41 42\n,8,1,D\n") << "";
    QTest::newRow("log missing") << QStringList{"--export-bin", "none.txt", "out"} << 1
                                 << QByteArray() << "tavrel: Could not read none.txt: ";
    QTest::newRow("onto the log") << QStringList{"--export-csv", "log.txt", "log.txt"} << 1
                                  << QByteArray() << "tavrel: Will not write over log.txt: ";
    QTest::newRow("no target") << QStringList{"--export-csv", "log.txt"} << 2 << QByteArray()
                               << "tavrel: --export-csv takes a log and a file to write, and no "
                                  "other option";
    QTest::newRow("with another option")
        << QStringList{"--start", "--export-bin", "log.txt", "out"} << 2 << QByteArray()
        << "tavrel: --export-bin takes a log and a file to write, and no other option";
}

void TestExportCommand::exportOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, written);
    QFETCH(QString, err);
    QTemporaryDir dir;
    QVERIFY(writeFileBytes(dir.filePath("log.txt"), "41 42 \r\nD "));
    QProcess tavrel;
    tavrel.setWorkingDirectory(dir.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    tavrel.setProcessEnvironment(environment);
    tavrel.start(TAVREL_EXECUTABLE, arguments);
    QVERIFY(tavrel.waitForFinished(10000));
    const QString stdErr = QString::fromLocal8Bit(tavrel.readAllStandardError());
    QCOMPARE(tavrel.exitCode(), status);
    if (err.isEmpty())
        QCOMPARE(stdErr, QString());
    else
        QVERIFY2(stdErr.startsWith(err), qPrintable(stdErr));
    if (status == 2)
        QVERIFY2(stdErr.section('\n', 1, 1).startsWith("Usage: tavrel"), qPrintable(stdErr));
    QCOMPARE(fileBytes(dir.filePath("out")), written);
    QCOMPARE(fileBytes(dir.filePath("log.txt")), QByteArray("41 42 \r\nD "));
    // Nothing else is left behind: no times file, no journal, no temporary file.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), written.isNull() ? 1 : 2);
}

QTEST_GUILESS_MAIN(TestExportCommand)
#include "tst_exportcommand.moc"
