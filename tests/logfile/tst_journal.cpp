#include "flushfault.h"
#include "logfile/journal.h"
#include "logfile/logstore.h"
#include "logfile/logtext.h"
#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kLog = QStringLiteral("log.txt");

// A journal written by a run that then ended without saving.
void writeRun(const QList<QByteArray> &steps)
{
    Journal journal(kLog);
    QVERIFY(journal.claim().status == Journal::Claim::Status::Claimed);
    journal.start(FileIdentity::ofPath(kLog));
    for (const QByteArray &step : steps) {
        if (step == "<clear>")
            journal.clear();
        else
            journal.append(step);
    }
}

QByteArray recovered(bool *cleared = nullptr)
{
    Journal journal(kLog);
    if (journal.claim().status != Journal::Claim::Status::Claimed)
        return "<not claimed>";
    const Journal::Recovery recovery = journal.recover(FileIdentity::ofPath(kLog));
    if (cleared)
        *cleared = recovery.cleared;
    return journal.recoveredText(recovery);
}

} // namespace

// The journal on real files: what a run leaves, damage to it, the folder's claim, failing flushes.
class TestJournal : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void recoversWhatTheRunAdded_data();
    void recoversWhatTheRunAdded();
    void damagedJournalGivesItsIntactPart_data();
    void damagedJournalGivesItsIntactPart();
    void finishedSaveLeavesNothingToRecover();
    void resumedJournalStillDescribesTheView();
    void anotherLiveProgramHoldsTheFolder();
    void failingFlushIsReported();
    void failingFlushKeepsTheOldLog();
    void nonRegularLogIsNeverReplaced_data();
    void nonRegularLogIsNeverReplaced();
    void deletedFolderIsNamed();
    void appendInPlace_data();
    void appendInPlace();
    void unfinishedAppendIsCutBack_data();
    void unfinishedAppendIsCutBack();

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

void TestJournal::init()
{
    m_previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    for (const QString &name : QDir().entryList(QDir::Files | QDir::System))
        QFile::remove(name);
    FlushFault::failing = false;
}

void TestJournal::cleanup()
{
    FlushFault::failing = false;
    QDir::setCurrent(m_previous);
}

void TestJournal::recoversWhatTheRunAdded_data()
{
    QTest::addColumn<QList<QByteArray>>("steps");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("cleared");
    QTest::newRow("nothing") << QList<QByteArray>{} << QByteArray() << false;
    QTest::newRow("items and line breaks")
        << QList<QByteArray>{"41 ", "D A \r\n", "FF "} << QByteArray("41 D A \r\nFF ") << false;
    QTest::newRow("every byte value")
        << QList<QByteArray>{QByteArray(256, '\0'), QByteArray(3, '\xff')}
        << QByteArray(256, '\0') + QByteArray(3, '\xff') << false;
    QTest::newRow("clear honoured")
        << QList<QByteArray>{"41 ", "<clear>", "42 "} << QByteArray("42 ") << true;
    QTest::newRow("clear last") << QList<QByteArray>{"41 ", "<clear>"} << QByteArray() << true;
}

void TestJournal::recoversWhatTheRunAdded()
{
    QFETCH(QList<QByteArray>, steps);
    QFETCH(QByteArray, text);
    QFETCH(bool, cleared);
    writeRun(steps);
    bool wasCleared = false;
    QCOMPARE(recovered(&wasCleared), text);
    QCOMPARE(wasCleared, cleared);
}

void TestJournal::damagedJournalGivesItsIntactPart_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("cutFromEnd");
    QTest::addColumn<QByteArray>("garbage");
    QTest::addColumn<QByteArray>("text");
    const QString index = Journal::indexPathFor(kLog);
    const QString data = Journal::dataPathFor(kLog);
    QTest::newRow("index cut mid-record") << index << 30 << QByteArray() << QByteArray("41 42 ");
    QTest::newRow("garbage after the index")
        << index << 0 << QByteArray(100, '\x5a') << QByteArray("41 42 43 ");
    QTest::newRow("data cut short") << data << 1 << QByteArray() << QByteArray("41 42 ");
    QTest::newRow("data overwritten") << data << 3 << QByteArray("XYZ") << QByteArray("41 42 ");
    QTest::newRow("data longer than the index")
        << data << 0 << QByteArray("junk") << QByteArray("41 42 43 ");
}

void TestJournal::damagedJournalGivesItsIntactPart()
{
    QFETCH(QString, file);
    QFETCH(int, cutFromEnd);
    QFETCH(QByteArray, garbage);
    QFETCH(QByteArray, text);
    writeRun({"41 ", "42 ", "43 "});
    QFile damaged(file);
    QVERIFY(damaged.resize(damaged.size() - cutFromEnd));
    QVERIFY(damaged.open(QIODevice::Append));
    damaged.write(garbage);
    damaged.close();
    QCOMPARE(recovered(), text);
}

void TestJournal::finishedSaveLeavesNothingToRecover()
{
    QVERIFY(LogStore::save(kLog, QList<QByteArrayView>{"old"}).ok);
    Journal journal(kLog);
    QVERIFY(journal.claim().status == Journal::Claim::Status::Claimed);
    journal.start(FileIdentity::ofPath(kLog));
    journal.append("41 ");
    // The run died after the new log was in place but before the journal started afresh.
    const LogStore::SaveResult saved =
        LogStore::save(kLog, QList<QByteArrayView>{"old41 "},
                       [&](const FileIdentity &file) { journal.noteSaving(file); });
    QVERIFY(saved.ok);
    QVERIFY(journal.recover(FileIdentity::ofPath(kLog)).alreadySaved);
    // A save that never put its file in place, or text added after it, is still recovered.
    journal.append("42 ");
    const Journal::Recovery later = journal.recover(FileIdentity::ofPath(kLog));
    QVERIFY(!later.alreadySaved);
    QCOMPARE(journal.recoveredText(later), QByteArray("41 42 "));
}

void TestJournal::resumedJournalStillDescribesTheView()
{
    writeRun({"41 ", "42 "});
    {
        QFile index(Journal::indexPathFor(kLog));
        QVERIFY(index.open(QIODevice::Append));
        index.write("torn record");
    }
    Journal journal(kLog);
    QVERIFY(journal.claim().status == Journal::Claim::Status::Claimed);
    journal.resume(journal.recover(std::nullopt));
    journal.append("43 ");
    QCOMPARE(journal.recoveredText(journal.recover(std::nullopt)), QByteArray("41 42 43 "));
}

void TestJournal::anotherLiveProgramHoldsTheFolder()
{
    int ready[2];
    QVERIFY(::pipe(ready) == 0);
    const pid_t child = ::fork();
    if (child == 0) {
        Journal held(kLog);
        const char byte = held.claim().status == Journal::Claim::Status::Claimed ? 1 : 0;
        [[maybe_unused]] const ssize_t put = ::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    QCOMPARE(::read(ready[0], &byte, 1), ssize_t(1));
    QCOMPARE(byte, char(1));
    {
        Journal second(kLog);
        const Journal::Claim claim = second.claim();
        QCOMPARE(claim.status, Journal::Claim::Status::HeldByOther);
        QCOMPARE(claim.otherPid, qint64(child));
        QCOMPARE(claim.otherProgram, QStringLiteral("tst_journal"));
    }
    // A killed holder leaves files behind but no claim.
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    Journal third(kLog);
    QCOMPARE(third.claim().status, Journal::Claim::Status::Claimed);
    ::close(ready[0]);
    ::close(ready[1]);
}

void TestJournal::failingFlushIsReported()
{
    Journal journal(kLog);
    QVERIFY(journal.claim().status == Journal::Claim::Status::Claimed);
    QSemaphore reported;
    QString cause;
    journal.setErrorHandler([&](const QString &text) {
        cause = text;
        reported.release();
    });
    journal.start(std::nullopt);
    FlushFault::failing = true;
    journal.append("41 ");
    QVERIFY(reported.tryAcquire(1, 5000));
    QCOMPARE(cause, QString::fromLocal8Bit(std::strerror(EIO)));
    QVERIFY(!journal.syncNow());
    QVERIFY2(journal.errorText().contains(cause), qPrintable(journal.errorText()));
}

void TestJournal::failingFlushKeepsTheOldLog()
{
    QVERIFY(LogStore::save(kLog, QList<QByteArrayView>{"41 42 \r\n"}).ok);
    FlushFault::failing = true;
    const LogStore::SaveResult saved = LogStore::save(kLog, QList<QByteArrayView>{"new text"});
    FlushFault::failing = false;
    QVERIFY(!saved.ok);
    QVERIFY2(saved.errorText.contains(QString::fromLocal8Bit(std::strerror(EIO))),
             qPrintable(saved.errorText));
    QCOMPARE(fileBytes(kLog, "<missing>"), QByteArray("41 42 \r\n"));
}

void TestJournal::nonRegularLogIsNeverReplaced_data()
{
    QTest::addColumn<bool>("fifo"); // else a character device
    QTest::addColumn<bool>("throughLink");
    QTest::addColumn<QString>("named");
    QTest::newRow("FIFO") << true << false << "FIFO";
    QTest::newRow("link to a FIFO") << true << true << "FIFO";
    QTest::newRow("character device") << false << false << "character device";
    QTest::newRow("link to a character device") << false << true << "character device";
}

void TestJournal::nonRegularLogIsNeverReplaced()
{
    QFETCH(bool, fifo);
    QFETCH(bool, throughLink);
    QFETCH(QString, named);
    const QByteArray target = throughLink ? "elsewhere" : "log.txt";
    if (fifo) {
        QVERIFY(::mkfifo(target.constData(), 0666) == 0);
    } else if (::mknod(target.constData(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        QSKIP("making a device node needs root");
    }
    if (throughLink)
        QVERIFY(QFile::link("elsewhere", kLog));
    const LogStore::SaveResult saved = LogStore::save(kLog, QList<QByteArrayView>{"41 "});
    QVERIFY(!saved.ok);
    QVERIFY2(saved.errorText.contains(named), qPrintable(saved.errorText));
    struct stat info = {};
    QVERIFY(::stat(target.constData(), &info) == 0);
    QVERIFY(fifo ? S_ISFIFO(info.st_mode) : S_ISCHR(info.st_mode));
}

void TestJournal::deletedFolderIsNamed()
{
    QTemporaryDir doomed;
    QVERIFY(QDir::setCurrent(doomed.path()));
    QVERIFY(QDir(doomed.path()).removeRecursively());
    const LogStore::SaveResult saved = LogStore::save(kLog, QList<QByteArrayView>{"41 "});
    QVERIFY(!saved.ok);
    QVERIFY(saved.folderUnusable);
    QVERIFY2(saved.errorText.contains(doomed.path() + " was deleted"), qPrintable(saved.errorText));
}

void TestJournal::appendInPlace_data()
{
    QTest::addColumn<QByteArray>("changeByOther");
    QTest::addColumn<bool>("flushFails");
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<bool>("logChanged");
    QTest::newRow("unchanged log") << QByteArray() << false << QByteArray("old new") << false;
    QTest::newRow("changed by another program")
        << QByteArray("other") << false << QByteArray("other") << true;
    QTest::newRow("flush fails") << QByteArray() << true << QByteArray("old") << false;
}

void TestJournal::appendInPlace()
{
    QFETCH(QByteArray, changeByOther);
    QFETCH(bool, flushFails);
    QVERIFY(LogStore::save(kLog, QList<QByteArrayView>{"old"}).ok);
    const FileIdentity loaded = *FileIdentity::ofPath(kLog);
    if (!changeByOther.isEmpty()) {
        QFile other(kLog);
        QVERIFY(other.open(QIODevice::WriteOnly | QIODevice::Truncate));
        other.write(changeByOther);
    }
    const MemoryLogText text("old new");
    FlushFault::failing = flushFails;
    const LogStore::SaveResult appended = LogStore::appendTo(kLog, loaded, text, 3);
    FlushFault::failing = false;
    QCOMPARE(appended.ok, changeByOther.isEmpty() && !flushFails);
    QTEST(appended.logChanged, "logChanged");
    QTEST(fileBytes(kLog, "<missing>"), "log");
}

void TestJournal::unfinishedAppendIsCutBack_data()
{
    QTest::addColumn<QByteArray>("reached");
    QTest::addColumn<qint64>("cutTo");
    QTest::addColumn<bool>("saved");
    QTest::newRow("nothing reached the log") << QByteArray() << qint64(-1) << false;
    QTest::newRow("part reached the log") << QByteArray("41") << qint64(3) << false;
    QTest::newRow("all reached the log") << QByteArray("41 42 ") << qint64(-1) << true;
}

void TestJournal::unfinishedAppendIsCutBack()
{
    QFETCH(QByteArray, reached);
    QVERIFY(LogStore::save(kLog, QList<QByteArrayView>{"old"}).ok);
    Journal journal(kLog);
    QVERIFY(journal.claim().status == Journal::Claim::Status::Claimed);
    const FileIdentity loaded = *FileIdentity::ofPath(kLog);
    journal.start(loaded);
    journal.append("41 42 ");
    journal.noteAppending(loaded, loaded.size + 6);
    QFile log(kLog);
    QVERIFY(log.open(QIODevice::Append));
    log.write(reached);
    log.close();
    const Journal::Recovery recovery = journal.recover(FileIdentity::ofPath(kLog));
    QTEST(recovery.cutLogTo, "cutTo");
    QTEST(recovery.alreadySaved, "saved");
    QCOMPARE(journal.recoveredText(recovery), QByteArray("41 42 "));
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
