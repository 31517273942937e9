#include "keeperlife.h"
#include "logfile/journalformat.h"
#include "logfile/logkeeper.h"
#include "support/faultshim.h"
#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace KeeperLife;
using namespace KeeperModel;

// The log keeper against a plain model of what it must hold, through random steps, other
// programs, failing disks and kills at any moment; and the times it keeps.
class TestLogKeeper : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void randomStepsAndKillsLoseNothing();
    void arrivalTimesLastAcrossSavesAndStarts();
    void arrivalTimesAreDroppedWhenTheLogChanged_data();
    void arrivalTimesAreDroppedWhenTheLogChanged();
    void journalOfTheVersionBeforeComesBack();
    void damagedJournalShowsItsIntactPartAndKeepsTheRest_data();
    void damagedJournalShowsItsIntactPartAndKeepsTheRest();
    void unreadableJournalIsSetAside_data();
    void unreadableJournalIsSetAside();

private:
    QTemporaryDir m_dir{
        (QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath()) +
        QStringLiteral("/tavrel-keeper-XXXXXX")};
    QString m_previous;
};

void TestLogKeeper::init()
{
    m_previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir.path()));
    for (const QString &name : QDir().entryList(QDir::Files | QDir::System | QDir::Hidden))
        QFile::remove(name);
}

void TestLogKeeper::cleanup()
{
    QDir::setCurrent(m_previous);
}

void TestLogKeeper::randomStepsAndKillsLoseNothing()
{
    const int lives = qEnvironmentVariableIntValue("TAVREL_KEEPER_LIVES") > 0
                          ? qEnvironmentVariableIntValue("TAVREL_KEEPER_LIVES")
                          : 400;
    const quint32 seed = qEnvironmentVariableIsSet("TAVREL_RANDOM_START")
                             ? quint32(qEnvironmentVariableIntValue("TAVREL_RANDOM_START"))
                             : QRandomGenerator::global()->generate();
    qInfo("TAVREL_RANDOM_START=%u replays this run", seed);
    std::signal(SIGXFSZ, SIG_IGN);
    QRandomGenerator random(seed);
    std::vector<Candidate> candidates{exactly(Model{})};
    int steps = 0;
    for (int life = 0; life < lives; ++life) {
        int fds[2];
        QVERIFY(::pipe(fds) == 0);
        const QRandomGenerator lifeRandom(random.generate());
        if (qEnvironmentVariableIsSet("TAVREL_KEEPER_KEEP")) {
            const QString keep = qEnvironmentVariable("TAVREL_KEEPER_KEEP");
            QDir(keep).removeRecursively();
            QDir().mkpath(keep);
            for (const QString &name : QDir().entryList(QDir::Files | QDir::Hidden))
                QFile::copy(name, keep + "/" + name);
        }
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::close(fds[0]);
            KeeperLife::run(fds[1], lifeRandom, candidates);
        }
        ::close(fds[1]);
        std::vector<Report> reports;
        Report report;
        while (::read(fds[0], &report, sizeof report) == qint64(sizeof report))
            reports.push_back(report);
        ::close(fds[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (qEnvironmentVariableIsSet("TAVREL_KEEPER_TRACE")) {
            for (const Report &r : reports)
                qInfo("life %d: %d op %d size %lld ok %d unwritten %lld %s", life, int(r.kind),
                      int(r.step.op), qlonglong(r.step.size), int(r.step.ok),
                      qlonglong(r.step.unwritten), r.text);
        }
        for (const Report &r : reports)
            QVERIFY2(r.kind != Report::Failed,
                     qPrintable(QStringLiteral("life %1, after %2 steps: %3")
                                    .arg(life)
                                    .arg(steps)
                                    .arg(QString::fromLocal8Bit(r.text))));
        QVERIFY2(WIFEXITED(status) &&
                     (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == FaultShim::KilledStatus),
                 qPrintable(QStringLiteral("life %1 ended with status %2").arg(life).arg(status)));
        steps += int(reports.size() / 2);
        // Now and then the last record's text is spoilt on disk, as a power cut may leave it.
        const Report &last = reports.back();
        const bool damage = reports.size() >= 2 && last.kind == Report::End &&
                            last.step.op == Op::Append && last.step.unwritten == 0 &&
                            reports[reports.size() - 2].step.unwritten == 0 &&
                            random.bounded(4) == 0;
        if (damage) {
            QFile data(Journal::dataPathFor(kLog));
            char byte = 0;
            QVERIFY(data.open(QIODevice::ReadWrite) && data.seek(data.size() - 1) &&
                    data.getChar(&byte) && data.seek(data.size() - 1) && data.putChar(char(~byte)));
        }
        candidates = afterLife(candidates, reports, damage);
    }
    qInfo("%d steps in %d lives", steps, lives);
}

void TestLogKeeper::arrivalTimesLastAcrossSavesAndStarts()
{
    {
        LogKeeper keeper(kLog);
        QVERIFY(keeper.claim().status == Journal::Claim::Status::Claimed);
        keeper.open();
        keeper.append("41 42 ", kFirstTime);
        keeper.append("43 ", kFirstTime + 250);
        QVERIFY(keeper.save().ok);
        keeper.append("44 ", kFirstTime + 900);
    }
    // Saved, then recovered from the journal: both keep their times.
    {
        LogKeeper keeper(kLog);
        QVERIFY(keeper.claim().status == Journal::Claim::Status::Claimed);
        QCOMPARE(keeper.open().recoveredBytes, qint64(3));
        QCOMPARE(keeper.arrivalMs(0), kFirstTime);
        QCOMPARE(keeper.arrivalMs(5), kFirstTime);
        QCOMPARE(keeper.arrivalMs(6), kFirstTime + 250);
        QCOMPARE(keeper.arrivalMs(9), kFirstTime + 900);
        QCOMPARE(keeper.arrivalMs(12), LogTimes::Unknown);
        keeper.clear();
        keeper.append("45 ", kFirstTime + 2000);
        QVERIFY(keeper.save().ok);
    }
    LogKeeper keeper(kLog);
    QVERIFY(keeper.claim().status == Journal::Claim::Status::Claimed);
    QCOMPARE(keeper.open().recoveredBytes, qint64(-1));
    QCOMPARE(keeper.mid(0, 100), QByteArray("45 "));
    QCOMPARE(keeper.arrivalMs(2), kFirstTime + 2000);
    // Thousands of chunks over many pages: each is found where it starts and where it ends.
    for (int i = 1; i <= 5000; ++i)
        keeper.append("46 ", kFirstTime + 2000 + i * 20);
    for (int i = 1; i <= 5000; i += 499) {
        QCOMPARE(keeper.arrivalMs(3 * i), kFirstTime + 2000 + i * 20);
        QCOMPARE(keeper.arrivalMs(3 * i + 2), kFirstTime + 2000 + i * 20);
    }
}

void TestLogKeeper::arrivalTimesAreDroppedWhenTheLogChanged_data()
{
    QTest::addColumn<QByteArray>("other");
    QTest::addColumn<bool>("replace");
    QTest::newRow("another program appends") << QByteArray("XX") << false;
    QTest::newRow("replaced by text of the same length") << QByteArray("41 42 ") << true;
    QTest::newRow("replaced by a longer text") << QByteArray("41 42 43 ") << true;
}

void TestLogKeeper::arrivalTimesAreDroppedWhenTheLogChanged()
{
    QFETCH(QByteArray, other);
    QFETCH(bool, replace);
    {
        LogKeeper keeper(kLog);
        QVERIFY(keeper.claim().status == Journal::Claim::Status::Claimed);
        keeper.open();
        keeper.append("41 42 ", kFirstTime);
        QVERIFY(keeper.save().ok);
    }
    QTest::qWait(5); // a new modification time even on coarse clocks
    QFile log(kLog);
    QVERIFY(log.open(replace ? QIODevice::WriteOnly : QIODevice::Append));
    log.write(other);
    log.close();
    LogKeeper keeper(kLog);
    QVERIFY(keeper.claim().status == Journal::Claim::Status::Claimed);
    keeper.open();
    QCOMPARE(keeper.arrivalMs(0), LogTimes::Unknown);
    const qint64 end = keeper.size();
    keeper.append("44 ", kFirstTime + 10);
    QCOMPARE(keeper.arrivalMs(end - 1), LogTimes::Unknown);
    QCOMPARE(keeper.arrivalMs(end), kFirstTime + 10);
}

// The files as the version before this one wrote them, record by record: it is read the same.
void TestLogKeeper::journalOfTheVersionBeforeComesBack()
{
    QVERIFY(writeFileBytes(kLog, "old "));
    QVERIFY(writeFileBytes(Journal::dataPathFor(kLog), "41 42 "));
    const FileIdentity log = *FileIdentity::ofPath(kLog);
    const auto record = [](JournalFormat::Type type, qint64 timeMs, std::array<qint64, 6> fields) {
        const JournalFormat::RecordBytes bytes = JournalFormat::encode({type, timeMs, fields});
        return QByteArray(bytes.data(), qsizetype(bytes.size()));
    };
    QVERIFY(writeFileBytes(Journal::indexPathFor(kLog),
                           record(JournalFormat::Type::Header, kFirstTime,
                                  {4242, qint64(JournalFormat::BaseKind::File), log.size,
                                   log.device, log.inode, log.mtimeNs}) +
                               record(JournalFormat::Type::Append, kFirstTime + 5,
                                      {0, 6, qint64(JournalFormat::checksum("41 42 ")), 0, 0, 0})));
    LogKeeper keeper(kLog);
    QVERIFY(keeper.claim().status == Journal::Claim::Status::Claimed);
    QCOMPARE(keeper.open().recoveredBytes, qint64(6));
    QCOMPARE(keeper.mid(0, 100), QByteArray("old 41 42 "));
    QCOMPARE(keeper.arrivalMs(4), kFirstTime + 5);
    QVERIFY(keeper.save().ok);
    QCOMPARE(fileBytes(kLog), QByteArray("old 41 42 "));
}

void TestLogKeeper::damagedJournalShowsItsIntactPartAndKeepsTheRest_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("a byte of text spoilt") << "text" << QByteArray("41 4X 43 ");
    // The third piece no longer follows on from the first: a hole is never shown as whole.
    QTest::newRow("a record lost") << "record" << QByteArray("41 42 43 ");
}

void TestLogKeeper::damagedJournalShowsItsIntactPartAndKeepsTheRest()
{
    QFETCH(QString, damage);
    QFETCH(QByteArray, data);
    {
        LogKeeper keeper(kLog);
        QVERIFY(keeper.claim().status == Journal::Claim::Status::Claimed);
        keeper.open();
        for (const char *piece : {"41 ", "42 ", "43 "})
            keeper.append(piece, kFirstTime);
    }
    const QString dataPath = Journal::dataPathFor(kLog);
    if (damage == "text") {
        QVERIFY(writeFileBytes(dataPath, data));
    } else {
        const QString index = Journal::indexPathFor(kLog);
        QByteArray records = fileBytes(index);
        QVERIFY(writeFileBytes(
            index, records.remove(2 * JournalFormat::kRecordSize, JournalFormat::kRecordSize)));
    }
    LogKeeper keeper(kLog);
    QVERIFY(keeper.claim().status == Journal::Claim::Status::Claimed);
    const LogKeeper::Opened opened = keeper.open();
    QCOMPARE(opened.recoveredBytes, qint64(3));
    QCOMPARE(keeper.mid(0, 100), QByteArray("41 "));
    QCOMPARE(opened.uncheckedBytes, qint64(6));
    QVERIFY2(opened.journalSetAside.contains(dataPath + ".unread"),
             qPrintable(opened.journalSetAside));
    QCOMPARE(fileBytes(dataPath + ".unread"), data);
}

void TestLogKeeper::unreadableJournalIsSetAside_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("index deleted") << "delete";
    QTest::newRow("index emptied") << "empty";
    QTest::newRow("header spoilt") << "spoil";
    QTest::newRow("a later version") << "version";
}

void TestLogKeeper::unreadableJournalIsSetAside()
{
    QFETCH(QString, damage);
    QVERIFY(writeFileBytes(kLog, "old "));
    {
        LogKeeper keeper(kLog);
        QVERIFY(keeper.claim().status == Journal::Claim::Status::Claimed);
        keeper.open();
        keeper.append("41 42 ", kFirstTime);
    }
    const QString index = Journal::indexPathFor(kLog);
    QByteArray header = fileBytes(index);
    if (damage == "delete")
        QVERIFY(QFile::remove(index));
    if (damage == "empty")
        QVERIFY(writeFileBytes(index, {}));
    if (damage == "spoil")
        header[20] = char(~header[20]);
    if (damage == "version")
        header[6] = 2; // what a later Tavrel may write; this one cannot read it
    if (damage == "spoil" || damage == "version")
        QVERIFY(writeFileBytes(index, header));
    LogKeeper keeper(kLog);
    QVERIFY(keeper.claim().status == Journal::Claim::Status::Claimed);
    const LogKeeper::Opened opened = keeper.open();
    QCOMPARE(opened.recoveredBytes, qint64(-1));
    QVERIFY2(opened.journalSetAside.contains(Journal::dataPathFor(kLog) + ".unread"),
             qPrintable(opened.journalSetAside + opened.journalSetAsideError));
    QCOMPARE(fileBytes(Journal::dataPathFor(kLog) + ".unread"), QByteArray("41 42 "));
    QCOMPARE(keeper.mid(0, 100), QByteArray("old "));
}

QTEST_GUILESS_MAIN(TestLogKeeper)
#include "tst_logkeeper.moc"
