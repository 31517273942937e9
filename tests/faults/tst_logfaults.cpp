#include "app/logview/logview.h"
#include "support/capturestate.h"
#include "support/faultshim.h"
#include "support/files.h"
#include "support/formfixture.h"
#include "support/hexreference.h"
#include "support/pseudoterminal.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <csignal>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// Faults of log.txt that only the whole window shows: a full file system, a link to a directory
// that is not there yet, a log that could not be loaded, and one another program changed.
class TestLogFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void fullFileSystem();
    void danglingSymbolicLinkAtStartUp();
    void failedSaveNamesWhereTheUnloadedLogWent();
    void logChangedByAnotherProgramIsKept_data();
    void logChangedByAnotherProgramIsKept();
    void failingJournalIsToldOnce();
    void noJournalAtStartUp_data();
    void noJournalAtStartUp();

private:
    std::unique_ptr<PseudoTerminal> m_terminal;
    QByteArray m_mounted;
};

void TestLogFaults::init()
{
    m_terminal = std::make_unique<PseudoTerminal>();
    QVERIFY(m_terminal->isValid());
    qputenv("TAVREL_PORT1", m_terminal->devicePath().toLocal8Bit());
}

void TestLogFaults::cleanup()
{
    if (!m_mounted.isEmpty()) {
        QDir::setCurrent(QDir::rootPath());
        ::umount2(m_mounted.constData(), MNT_DETACH);
        QDir().rmdir(QFile::decodeName(m_mounted));
        m_mounted.clear();
    }
}

void TestLogFaults::fullFileSystem()
{
    FormFixture f;
    // A 64 KiB file system over the directory, in a mount namespace of this process's own.
    m_mounted = QFile::encodeName(f.dir.path());
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", m_mounted.constData(), "tmpfs", 0, "size=64k") != 0) {
        m_mounted.clear();
        QSKIP(qPrintable(QStringLiteral("no private tmpfs: ") + std::strerror(errno)));
    }
    QDir::setCurrent(f.dir.path());
    const QByteArray old = QByteArray("41 42 \r\n").repeated(750);
    f.writeLogFile(old);
    Form1 &form = f.start();
    QFile filler(QStringLiteral("filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(1024, 'f')) > 0) {
    }

    // After a fresh start the first item stands in column 1.
    const QByteArray shown = old + hexOf(QByteArray(1000, '\x5A'));
    form.Command1_Click();
    QVERIFY(capturing(form));
    // Two hand-overs while the disk is full: still one warning.
    for (const qsizetype part : {500, 1000}) {
        QVERIFY(m_terminal->write(QByteArray(500, '\x5A')));
        QTRY_COMPARE(f.view()->text().count("5A"), part);
    }
    form.Command2_Click();
    QVERIFY(idle(form));
    QCOMPARE(f.view()->text(), shown);
    QCOMPARE(f.logFile(), old);
    // Told once that the journal's disk is full, then that the save failed.
    QCOMPARE(f.boxes.size(), 2);
    QVERIFY2(f.boxes.first().text.startsWith("Could not write to log.txt.journal: " +
                                             QString::fromLocal8Bit(std::strerror(ENOSPC))),
             qPrintable(f.boxes.first().text));
    QCOMPARE(f.boxes.last().style, int(MessageBox::Warning));
    QCOMPARE(f.boxes.last().text,
             "Could not save log.txt: " + QString::fromLocal8Bit(std::strerror(ENOSPC)));
    QVERIFY(settlesQuietly());
    // With space again, the next save writes everything the view holds.
    QVERIFY(filler.remove());
    QCOMPARE(captureOnce(form, *m_terminal, "\x01"), shown + "1 ");
    QCOMPARE(f.logFile(), shown + "1 ");
    QCOMPARE(f.boxes.size(), 2);
}

void TestLogFaults::danglingSymbolicLinkAtStartUp()
{
    FormFixture f;
    QVERIFY(QFile::link("gone/real.txt", f.path("log.txt")));
    Form1 &form = f.start();
    // Nothing to load, and nothing can be created while the link's directory is missing.
    QCOMPARE(f.view()->text(), QByteArray());
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(captureOnce(form, *m_terminal, "\x03"), QByteArray("3 "));
    QCOMPARE(f.boxes.size(), 2);
    QCOMPARE(f.boxes.last().style, int(MessageBox::Warning));
    QVERIFY(QDir().mkdir("gone"));
    QCOMPARE(captureOnce(form, *m_terminal, "\x04"), QByteArray("3 4 "));
    QVERIFY(QFileInfo("log.txt").isSymLink());
    QCOMPARE(f.logFile(), QByteArray("3 4 "));
}

// The log could not be loaded, so the first save moves it aside; when that save then fails, the
// log is no longer where the user left it and the warning must say where it is.
void TestLogFaults::failedSaveNamesWhereTheUnloadedLogWent()
{
    FormFixture f;
    f.writeLogFile("old");
    QVERIFY(QFile(f.path("log.txt.bak")).open(QIODevice::WriteOnly));
    QVERIFY(::chmod("log.txt", 0) == 0);
    // Root reads anything: the window starts as a user who may not read log.txt.
    const bool root = ::geteuid() == 0;
    if (root) {
        QVERIFY(::chmod(QFile::encodeName(f.dir.path()).constData(), 0777) == 0);
        QVERIFY(::setegid(65534) == 0 && ::seteuid(65534) == 0);
    }
    Form1 &form = f.start();
    if (root)
        QVERIFY(::seteuid(0) == 0 && ::setegid(0) == 0);
    QCOMPARE(f.boxes.size(), 1);
    QVERIFY2(f.boxes.first().text.startsWith("Could not load log.txt: " +
                                             QString::fromLocal8Bit(std::strerror(EACCES))),
             qPrintable(f.boxes.first().text));

    form.Command1_Click();
    QVERIFY(m_terminal->write("\x41"));
    QTRY_COMPARE(form.Text1->text(), QByteArray("41 "));
    // Writes beyond one byte fail, as on a disk that is full.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit unlimited{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &unlimited) == 0);
    const rlimit oneByte{1, unlimited.rlim_max};
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &oneByte) == 0);
    form.Command2_Click();
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &unlimited) == 0);
    QCOMPARE(f.boxes.size(), 2);
    QCOMPARE(f.boxes.last().text,
             "Could not save log.txt: " + QString::fromLocal8Bit(std::strerror(EFBIG)) +
                 "\r\nThe log that could not be loaded is now log.txt.bak.2.");
    QVERIFY(!QFile::exists("log.txt"));
    QFile backup(f.path("log.txt.bak.2"));
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QCOMPARE(backup.readAll(), QByteArray("old"));
    QCOMPARE(QFileInfo(f.path("log.txt.bak")).size(), 0);

    // The next save writes the log in its place and leaves the backup alone.
    QCOMPARE(captureOnce(form, *m_terminal, "\x42"), QByteArray("41 42 "));
    QCOMPARE(f.logFile(), QByteArray("41 42 "));
    QCOMPARE(f.boxes.size(), 2);
    QVERIFY(QFile::exists(f.path("log.txt.bak.2")));
}

void TestLogFaults::logChangedByAnotherProgramIsKept_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QByteArray>("logAfter");
    QTest::addColumn<QByteArray>("kept");
    QTest::addColumn<QString>("warning");
    const QString kept = "log.txt had been changed by another program; that version is kept as "
                         "log.txt.bak.";
    QTest::newRow("appended") << "append" << QByteArray("41 42 43 44 5A ")
                              << QByteArray("41 42 43 44 other") << kept;
    QTest::newRow("replaced") << "replace" << QByteArray("41 42 43 44 5A ") << QByteArray("other")
                              << kept;
    // What was cut off is gone; the log holds what is left, then the capture.
    QTest::newRow("cut short") << "truncate" << QByteArray("41 42 5A ") << QByteArray("41 42 ")
                               << "Another program cut 6 bytes off log.txt after Tavrel had "
                                  "loaded it; they are gone from the log.\r\n" +
                                      kept;
}

void TestLogFaults::logChangedByAnotherProgramIsKept()
{
    QFETCH(QString, change);
    QFETCH(QByteArray, logAfter);
    QFETCH(QByteArray, kept);
    QFETCH(QString, warning);
    FormFixture f;
    f.writeLogFile("41 42 43 44 ");
    Form1 &form = f.start();
    form.Command1_Click();
    QVERIFY(capturing(form) && m_terminal->write("\x5A"));
    QVERIFY(QTest::qWaitFor([&] { return f.view()->length() == 15; }));
    const QByteArray log = QFile::encodeName(f.path("log.txt"));
    if (change == "append") {
        QFile file(f.path("log.txt"));
        QVERIFY(file.open(QIODevice::Append) && file.write("other") == 5);
    } else if (change == "replace") {
        QVERIFY(writeFileBytes(f.path("other"), "other"));
        QVERIFY(::rename(QFile::encodeName(f.path("other")).constData(), log.constData()) == 0);
    } else {
        QVERIFY(::truncate(log.constData(), 6) == 0);
    }
    form.Command2_Click();
    QVERIFY(idle(form));
    QCOMPARE(f.view()->text(), logAfter);
    QCOMPARE(f.logFile(), logAfter);
    QCOMPARE(fileBytes(f.path("log.txt.bak")), kept);
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(f.boxes[0].text, warning);
    // Kept once: the next save finds log.txt as it left it.
    QCOMPARE(captureOnce(form, *m_terminal, "\x01"), logAfter + "1 ");
    QCOMPARE(f.boxes.size(), 1);
}

// A journal whose flushes fail (a dying USB stick) is told of within a second, once.
void TestLogFaults::failingJournalIsToldOnce()
{
    FormFixture f;
    Form1 &form = f.start();
    form.Command1_Click();
    QVERIFY(capturing(form));
    FaultShim::flushFails = true;
    const auto flushesWork = qScopeGuard([] { FaultShim::flushFails = false; });
    QVERIFY(m_terminal->write("\x01"));
    QTRY_COMPARE_WITH_TIMEOUT(f.boxes.size(), 1, 2000);
    QCOMPARE(f.boxes[0].text, "Could not flush the recovery journal log.txt.journal: " +
                                  QString::fromLocal8Bit(std::strerror(EIO)) +
                                  "\r\nThe capture goes on; Stop saves it to log.txt.");
    QVERIFY(m_terminal->write("\x02"));
    QTest::qWait(600);
    FaultShim::flushFails = false;
    form.Command2_Click();
    QVERIFY(idle(form));
    QCOMPARE(f.logFile(), QByteArray("1 2 "));
    QCOMPARE(f.boxes.size(), 1);
}

void TestLogFaults::noJournalAtStartUp_data()
{
    QTest::addColumn<bool>("folderReadOnly"); // else only the journal's name is taken
    QTest::addColumn<QString>("first");       // how the one warning begins
    QTest::newRow("folder that cannot be written") << true << "Could not save log.txt: ";
    QTest::newRow("journal's name taken") << false << "Could not create the recovery journal ";
}

// One warning at start-up, the save's own first when there is one, and the journal's part in it.
void TestLogFaults::noJournalAtStartUp()
{
    QFETCH(bool, folderReadOnly);
    QFETCH(QString, first);
    QTemporaryDir state;
    QVERIFY(::chmod(QFile::encodeName(state.path()).constData(), 0777) == 0);
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    FormFixture f;
    if (!folderReadOnly)
        QVERIFY(QDir().mkdir("log.txt.journal"));
    QVERIFY(::chmod(QFile::encodeName(f.dir.path()).constData(), folderReadOnly ? 0555 : 0777) ==
            0);
    // Root writes anywhere: the window starts as a user who may not write in the folder.
    const bool root = ::geteuid() == 0;
    QVERIFY(!root || (::setegid(65534) == 0 && ::seteuid(65534) == 0));
    f.start();
    QVERIFY(!root || (::seteuid(0) == 0 && ::setegid(0) == 0));
    qunsetenv("XDG_STATE_HOME");
    QCOMPARE(f.boxes.size(), 1);
    const QString text = f.boxes.first().text;
    QVERIFY2(text.startsWith(first), qPrintable(text));
    QVERIFY2(text.contains(QRegularExpression("(^|\\r\\n)Could not create the recovery journal "
                                              "log.txt.journal: [^\\r]+\\r\\nWhat is captured "
                                              "reaches the disk only when it is saved")),
             qPrintable(text));
    QVERIFY(::chmod(QFile::encodeName(f.dir.path()).constData(), 0755) == 0);
}

QTEST_MAIN(TestLogFaults)
#include "tst_logfaults.moc"
