#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Starts the real program headless, as a user would, and ends it the way a session does.
class TestSmoke : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startsLoadsAndSavesOnTermination();
};

void TestSmoke::startsLoadsAndSavesOnTermination()
{
    QTemporaryDir dir;
    {
        QFile log(dir.filePath("log.txt"));
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write("41 42 \r\n43 ");
    }
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
    QFile log(dir.filePath("log.txt"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), QByteArray("41 42 \r\n43 "));
}

QTEST_GUILESS_MAIN(TestSmoke)
#include "tst_smoke.moc"
