#include "app/logview/logview.h"
#include "logfile/journal.h"
#include "support/capturestate.h"
#include "support/files.h"
#include "support/formfixture.h"
#include "support/hexreference.h"
#include "support/pseudoterminal.h"

#include <QDir>
#include <QFileInfo>
#include <unistd.h>

// The window and its journal: what a run that never saved leaves is back at the next start, one
// window per folder, and a save into a folder that was deleted.
class TestJournalWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void unsavedRunComesBack_data();
    void unsavedRunComesBack();
    void secondWindowInTheFolderLeavesTheLogAlone_data();
    void secondWindowInTheFolderLeavesTheLogAlone();
    void deletedFolderGetsARescueFile_data();
    void deletedFolderGetsARescueFile();

private:
    PseudoTerminal m_terminal;
    QTemporaryDir m_state;
};

void TestJournalWindow::initTestCase()
{
    QVERIFY(m_terminal.isValid());
    qputenv("TAVREL_PORT1", m_terminal.devicePath().toLocal8Bit());
    qputenv("XDG_STATE_HOME", m_state.path().toLocal8Bit());
}

void TestJournalWindow::unsavedRunComesBack_data()
{
    QTest::addColumn<QByteArray>("logBefore");
    QTest::addColumn<bool>("clearFirst");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("told"); // part of the recovery's message
    const QString added = "The %1 bytes it had added to the log since its last save were recovered";
    QTest::newRow("onto a loaded log")
        << QByteArray("41 42 \r\n") << false << QByteArray("\x00\xff", 2) << added.arg(5);
    QTest::newRow("onto no log") << QByteArray() << false << QByteArray("AB")
                                 << added.arg(6) + " from ";
    // The old log goes at the next save, and the user is told so.
    QTest::newRow("after a Clear") << QByteArray("41 42 \r\n") << true << QByteArray("C")
                                   << "after the log had been cleared. The 3 bytes received since "
                                      "were recovered from ";
    QTest::newRow("a Clear and nothing after")
        << QByteArray("41 ") << true << QByteArray()
        << "after the log had been cleared; the next save empties log.txt.";
}

void TestJournalWindow::unsavedRunComesBack()
{
    QFETCH(QByteArray, logBefore);
    QFETCH(bool, clearFirst);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, told);
    FormFixture f;
    if (!logBefore.isEmpty())
        f.writeLogFile(logBefore);
    QByteArray view;
    {
        Form1 &form = f.start();
        if (clearFirst)
            form.Command3_Click();
        form.Command1_Click();
        QVERIFY(capturing(form));
        QVERIFY(m_terminal.write(bytes));
        view = (clearFirst ? QByteArray() : logBefore) + hexOf(bytes);
        QTRY_COMPARE(f.view()->text(), view);
        // The window goes without Stop or a save, as a killed program would.
        f.form.reset();
    }
    QCOMPARE(f.logFile(), logBefore);
    f.boxes.clear();
    Form1 &form = f.start();
    QCOMPARE(f.view()->text(), view);
    QTRY_COMPARE(f.boxes.size(), 1);
    QVERIFY2(f.boxes[0].text.contains(told), qPrintable(f.boxes[0].text));
    // Shown from the journal where it lies; log.txt takes it at the next save.
    QCOMPARE(f.logFile(), logBefore);
    QVERIFY(!form.keeper().journal().isEmpty());
    form.Command4_Click();
    QCOMPARE(f.logFile(), view);
}

void TestJournalWindow::secondWindowInTheFolderLeavesTheLogAlone_data()
{
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("same folder") << false;
    // The log is one file wherever it is reached from.
    QTest::newRow("a link to it in another folder") << true;
}

void TestJournalWindow::secondWindowInTheFolderLeavesTheLogAlone()
{
    QFETCH(bool, throughLink);
    FormFixture f;
    f.writeLogFile("41 ");
    Form1 &first = f.start();
    first.Command3_Click();
    QTemporaryDir other;
    if (throughLink) {
        QVERIFY(QFile::link(f.path("log.txt"), other.filePath("log.txt")));
        QVERIFY(QDir::setCurrent(other.path()));
    }
    Form1 second;
    QVERIFY(QDir::setCurrent(f.dir.path()));
    QVERIFY(second.startRefused());
    QCOMPARE(f.boxes.size(), 1);
    // The holder is named as the system knows it: the first 15 characters of its file name.
    const QString holder = QFileInfo("/proc/self/exe").symLinkTarget().section('/', -1).left(15);
    QVERIFY2(f.boxes[0].text.contains("(" + holder + ", process " + QString::number(::getpid())),
             qPrintable(f.boxes[0].text));
    QVERIFY2(f.boxes[0].text.startsWith(throughLink
                                            ? "log.txt (" + f.path("log.txt") + ") is in use"
                                            : QString("log.txt in this folder is in use")),
             qPrintable(f.boxes[0].text));
    QCOMPARE(f.logFile(), QByteArray("41 "));
    // The first window's journal still holds its Clear.
    QVERIFY(!first.keeper().journal().isEmpty());
}

void TestJournalWindow::deletedFolderGetsARescueFile_data()
{
    QTest::addColumn<bool>("stateFolderUsable");
    QTest::newRow("in the state folder") << true;
    // Where the state folder cannot be made, the temporary folder takes the copy.
    QTest::newRow("state folder unusable") << false;
}

void TestJournalWindow::deletedFolderGetsARescueFile()
{
    QFETCH(bool, stateFolderUsable);
    QTemporaryDir temporary;
    const QString blocked = temporary.filePath("a-file");
    QVERIFY(writeFileBytes(blocked, "not a folder"));
    qputenv("XDG_STATE_HOME", (stateFolderUsable ? m_state.path() : blocked).toLocal8Bit());
    qputenv("TMPDIR", temporary.path().toLocal8Bit());
    const QString expectedFolder = stateFolderUsable ? QString(m_state.path() + "/tavrel")
                                                     : QString(temporary.path() + "/tavrel-rescue");
    FormFixture f;
    Form1 &form = f.start();
    form.Command1_Click();
    QVERIFY(m_terminal.write("\x43\x44"));
    QTRY_COMPARE(f.view()->text(), QByteArray("43 44 "));
    const QString folder = f.dir.path();
    QVERIFY(QDir(folder).removeRecursively());
    form.Command2_Click();
    qputenv("XDG_STATE_HOME", m_state.path().toLocal8Bit());
    qunsetenv("TMPDIR");
    QCOMPARE(f.boxes.size(), 1);
    const QString text = f.boxes[0].text;
    QVERIFY2(text.contains(folder + " was deleted"), qPrintable(text));
    const qsizetype at = text.indexOf(expectedFolder);
    QVERIFY2(at >= 0, qPrintable(text));
    QString rescue = text.mid(at).section("\r\n", 0, 0);
    rescue.chop(1);
    QCOMPARE(fileBytes(rescue, "<missing>"), QByteArray("43 44 "));
}

QTEST_MAIN(TestJournalWindow)
#include "tst_journalwindow.moc"
