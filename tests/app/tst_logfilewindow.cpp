#include "formfixture.h"
#include "logstore.h"
#include "logview.h"

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
    void unloadableLogIsReportedAndKept_data();
    void unloadableLogIsReportedAndKept();
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
    QCOMPARE(form.Text1->text(), content);
    QTEST(form.windowTitle(), "caption");
    QVERIFY(f.boxes.isEmpty());
    QCOMPARE(f.logFile(), content);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void TestLogFileWindow::unloadableLogIsReportedAndKept_data()
{
    QTest::addColumn<bool>("directory");
    QTest::addColumn<bool>("movedAwayByUser");
    QTest::newRow("log.txt is a directory") << true << false;
    QTest::newRow("log.txt too large to load") << false << false;
    QTest::newRow("too large, moved away before the first save") << false << true;
}

void TestLogFileWindow::unloadableLogIsReportedAndKept()
{
    QFETCH(bool, directory);
    QFETCH(bool, movedAwayByUser);
    FormFixture f;
    const qint64 tooLarge = LogStore::kMaxLogBytes + 1;
    if (directory) {
        QVERIFY(QDir(f.dir.path()).mkdir("log.txt"));
    } else {
        f.writeLogFile("x");
        QVERIFY(QFile::resize(f.path("log.txt"), tooLarge)); // sparse: costs no disk
    }
    Form1 &form = f.start();
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(f.boxes[0].style, int(MessageBox::Warning));
    QCOMPARE(f.boxes[0].title, QString("Tavrel"));
    QVERIFY2(f.boxes[0].text.contains("log.txt"), qPrintable(f.boxes[0].text));
    QCOMPARE(form.windowTitle(), QString("Tavrel"));
    QCOMPARE(form.Text1->length(), 0);
    QCOMPARE(QFileInfo(f.path("log.txt")).isDir(), directory);
    if (!directory)
        QCOMPARE(QFileInfo(f.path("log.txt")).size(), tooLarge);
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    // The first save keeps the old log under another name; a directory stays in the way.
    form.Text1->setSelText("1 ");
    // Told of the old log, the user may have moved it somewhere safe himself.
    if (movedAwayByUser)
        QVERIFY(QFile::rename(f.path("log.txt"), f.path("kept.txt")));
    form.Command2_Click();
    if (directory) {
        QVERIFY(QFileInfo(f.path("log.txt")).isDir());
        QCOMPARE(f.boxes.size(), 2);
    } else if (movedAwayByUser) {
        QCOMPARE(f.boxes.size(), 1);
        QCOMPARE(f.logFile(), QByteArray("1 "));
    } else {
        QCOMPARE(QFileInfo(f.path("log.txt.bak")).size(), tooLarge);
        QCOMPARE(f.logFile(), QByteArray("1 "));
        form.Command2_Click();
        QCOMPARE(QFileInfo(f.path("log.txt.bak")).size(), tooLarge);
        QVERIFY(!QFileInfo::exists(f.path("log.txt.bak.2")));
    }
}

void TestLogFileWindow::failedSaveIsReportedAndNothingIsLost()
{
    FormFixture f;
    f.writeLogFile("1 2 ");
    QVERIFY(QFile::setPermissions(f.path("log.txt"), QFile::ReadOwner | QFile::ReadOther));
    Form1 &form = f.start();
    form.Text1->setSelStart(form.Text1->length());
    form.Text1->setSelText("3 ");
    form.Command2_Click();
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(f.boxes[0].style, int(MessageBox::Warning));
    QVERIFY2(f.boxes[0].text.contains("Permission denied"), qPrintable(f.boxes[0].text));
    QCOMPARE(f.logFile(), QByteArray("1 2 "));
    QCOMPARE(form.Text1->text(), QByteArray("1 2 3 "));
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);

    // Once the file is writable again the next save carries everything.
    QVERIFY(QFile::setPermissions(f.path("log.txt"), QFile::ReadOwner | QFile::WriteOwner));
    form.Command2_Click();
    QCOMPARE(f.logFile(), QByteArray("1 2 3 "));
}

QTEST_MAIN(TestLogFileWindow)
#include "tst_logfilewindow.moc"
