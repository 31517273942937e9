#include "flushfault.h"
#include "logfile/journal.h"
#include "logfile/logstore.h"
#include "logfile/logtext.h"

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

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

QByteArray recovered()
{
    Journal journal(kLog);
    if (journal.claim().status != Journal::Claim::Status::Claimed)
        return "<not claimed>";
    return journal.recoveredText(journal.recover(FileIdentity::ofPath(kLog)));
}

} // namespace

// The journal on real files: what a run leaves, damage to it, failing flushes.
class TestJournal : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void damagedJournalGivesItsIntactPart_data();
    void damagedJournalGivesItsIntactPart();
    void finishedSaveLeavesNothingToRecover();
    void resumedJournalStillDescribesTheView();
    void failingFlushIsReported();
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
    QVERIFY(LogStore::save(kLog, MemoryLogText("old")).ok);
    Journal journal(kLog);
    QVERIFY(journal.claim().status == Journal::Claim::Status::Claimed);
    journal.start(FileIdentity::ofPath(kLog));
    journal.append("41 ");
    // The run died after the new log was in place but before the journal started afresh.
    const LogStore::SaveResult saved = LogStore::save(
        kLog, MemoryLogText("old41 "), [&](const FileIdentity &file) { journal.noteSaving(file); });
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
    QVERIFY(LogStore::save(kLog, MemoryLogText("old")).ok);
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
