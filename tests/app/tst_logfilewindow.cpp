#include "app/logview/logview.h"
#include "posix/fileidentity.h"
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
    void logOverFourGiBOpensAndStopAppendsToIt_data();
    void logOverFourGiBOpensAndStopAppendsToIt();
};

enum class LogBefore { None, File, Directory };
Q_DECLARE_METATYPE(LogBefore)

void TestLogFileWindow::startUp_data()
{
    QTest::addColumn<LogBefore>("before");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("warnings");
    QTest::newRow("first start, no file") << LogBefore::None << QByteArray() << "Tavrel" << 0;
    QTest::newRow("empty file") << LogBefore::File << QByteArray() << "Tavrel - LOG.TXT" << 0;
    QTest::newRow("two lines of hex")
        << LogBefore::File << QByteArray("41 42 \r\n43 44 ") << "Tavrel - LOG.TXT" << 0;
    // A save cannot replace the directory either: tst_logstore shows it left alone.
    QTest::newRow("a directory in its place")
        << LogBefore::Directory << QByteArray() << "Tavrel" << 1;
}

void TestLogFileWindow::startUp()
{
    QFETCH(LogBefore, before);
    QFETCH(QByteArray, content);
    QFETCH(int, warnings);
    FormFixture f;
    if (before == LogBefore::File)
        f.writeLogFile(content);
    if (before == LogBefore::Directory)
        QVERIFY(QDir(f.dir.path()).mkdir("log.txt"));
    Form1 &form = f.start();
    QCOMPARE(f.view()->text(), content);
    QTEST(form.windowTitle(), "caption");
    QCOMPARE(f.boxes.size(), warnings);
    for (const MessageBox::Shown &box : std::as_const(f.boxes)) {
        QCOMPARE(box.style, int(MessageBox::Warning));
        QCOMPARE(box.title, QString("Tavrel"));
        QVERIFY2(box.text.contains("log.txt"), qPrintable(box.text));
    }
    if (before != LogBefore::Directory)
        QCOMPARE(f.logFile(), content);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
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

QTEST_MAIN(TestLogFileWindow)
#include "tst_logfilewindow.moc"
