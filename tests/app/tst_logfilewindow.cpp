#include "app/logview/logview.h"
#include "logfile/fileidentity.h"
#include "logfile/logstore.h"
#include "support/formfixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

// The log file as the window loads and saves it.
class TestLogFileWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startUp_data();
    void startUp();
    void directoryInPlaceOfTheLogIsReported();
    void logOverFourGiBOpensAndStopAppendsToIt_data();
    void logOverFourGiBOpensAndStopAppendsToIt();
    void failedSaveIsReportedAndNothingIsLost();
};

void TestLogFileWindow::startUp_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("caption");
    QTest::newRow("first start, no file") << false << QByteArray() << "Tavrel";
    QTest::newRow("empty file") << true << QByteArray() << "Tavrel - LOG.TXT";
    QTest::newRow("two lines of hex")
        << true << QByteArray("41 42 \r\n43 44 ") << "Tavrel - LOG.TXT";
}

void TestLogFileWindow::startUp()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, content);
    FormFixture f;
    if (exists)
        f.writeLogFile(content);
    Form1 &form = f.start();
    QCOMPARE(f.view()->text(), content);
    QTEST(form.windowTitle(), "caption");
    QVERIFY(f.boxes.isEmpty());
    QCOMPARE(f.logFile(), content);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void TestLogFileWindow::directoryInPlaceOfTheLogIsReported()
{
    FormFixture f;
    QVERIFY(QDir(f.dir.path()).mkdir("log.txt"));
    Form1 &form = f.start();
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(f.boxes[0].style, int(MessageBox::Warning));
    QCOMPARE(f.boxes[0].title, QString("Tavrel"));
    QVERIFY2(f.boxes[0].text.contains("log.txt"), qPrintable(f.boxes[0].text));
    QCOMPARE(form.windowTitle(), QString("Tavrel"));
    QCOMPARE(f.view()->length(), 0);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    f.view()->setSelText("1 ");
    form.Command2_Click();
    QVERIFY(QFileInfo(f.path("log.txt")).isDir());
    QCOMPARE(f.boxes.size(), 2);
}

// Sparse where the content does not matter; what is new goes onto the end of the same file.
void TestLogFileWindow::logOverFourGiBOpensAndStopAppendsToIt_data()
{
    QTest::addColumn<bool>("cleared");
    QTest::newRow("appended") << false;
    QTest::newRow("cleared, then written whole") << true;
}

void TestLogFileWindow::logOverFourGiBOpensAndStopAppendsToIt()
{
    QFETCH(bool, cleared);
    FormFixture f;
    const qint64 size = (qint64(4) << 30) + 3;
    f.writeLogFile("41 ");
    QVERIFY(QFile::resize(f.path("log.txt"), size));
    const FileIdentity before = *FileIdentity::ofPath(f.path("log.txt"));
    Form1 &form = f.start();
    QVERIFY(f.boxes.isEmpty());
    QCOMPARE(form.windowTitle(), QString("Tavrel - LOG.TXT"));
    QCOMPARE(f.view()->length(), size);
    if (cleared)
        form.Command3_Click();
    f.view()->setSelText("42 ");
    form.Command2_Click();
    QVERIFY(f.boxes.isEmpty());
    const FileIdentity after = *FileIdentity::ofPath(f.path("log.txt"));
    QCOMPARE(after.inode == before.inode, !cleared);
    QCOMPARE(after.size, cleared ? 3 : size + 3);
    QFile log(f.path("log.txt"));
    QVERIFY(log.open(QIODevice::ReadOnly) && log.seek(after.size - 3));
    QCOMPARE(log.read(10), QByteArray("42 "));
}

void TestLogFileWindow::failedSaveIsReportedAndNothingIsLost()
{
    FormFixture f;
    f.writeLogFile("1 2 ");
    QVERIFY(QFile::setPermissions(f.path("log.txt"), QFile::ReadOwner | QFile::ReadOther));
    Form1 &form = f.start();
    f.view()->setSelStart(f.view()->length());
    f.view()->setSelText("3 ");
    form.Command2_Click();
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(f.boxes[0].style, int(MessageBox::Warning));
    QVERIFY2(f.boxes[0].text.contains("Permission denied"), qPrintable(f.boxes[0].text));
    QCOMPARE(f.logFile(), QByteArray("1 2 "));
    QCOMPARE(f.view()->text(), QByteArray("1 2 3 "));
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    // Once the file is writable again the next save carries everything.
    QVERIFY(QFile::setPermissions(f.path("log.txt"), QFile::ReadOwner | QFile::WriteOwner));
    form.Command2_Click();
    QCOMPARE(f.logFile(), QByteArray("1 2 3 "));
}

QTEST_MAIN(TestLogFileWindow)
#include "tst_logfilewindow.moc"
