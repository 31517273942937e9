#include "logfile/logkeeper.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
constexpr qint64 kFirstTime = 1'800'000'000'000;
const QString kLog = QStringLiteral("log.txt");

// A saved log of chunks a second apart, over several pages of times.
QByteArray writeTimedLog(const QString &folder, int chunks)
{
    LogKeeper keeper(folder + "/" + kLog);
    if (keeper.claim().status != Journal::Claim::Status::Claimed)
        return {};
    keeper.open();
    for (int i = 0; i < chunks; ++i)
        keeper.append("41 42 ", kFirstTime + i * 1000);
    return keeper.save().ok ? keeper.mid(0, keeper.size()) : QByteArray();
}
} // namespace

// The times file beside the log when it is not what the last save left.
class TestTimesFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void timesThatCannotBeTrustedAreNotShown_data();
    void timesThatCannotBeTrustedAreNotShown();
};

void TestTimesFile::timesThatCannotBeTrustedAreNotShown_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("missing") << "missing";
    QTest::newRow("shorter by its last page") << "page";
    QTest::newRow("shorter by its last entries") << "entries";
    QTest::newRow("of another log") << "other";
    QTest::newRow("intact") << "none";
}

void TestTimesFile::timesThatCannotBeTrustedAreNotShown()
{
    QFETCH(QString, damage);
    QTemporaryDir dir;
    const int chunks = 3000;
    const QByteArray text = writeTimedLog(dir.path(), chunks);
    QVERIFY(!text.isEmpty());
    const QString times = dir.filePath(kLog + ".times");
    QFile file(times);
    if (damage == "missing") {
        QVERIFY(file.remove());
    } else if (damage == "page" || damage == "entries") {
        QVERIFY(file.resize(file.size() - (damage == "page" ? 4096 : 7)));
    } else if (damage == "other") {
        // Another folder's log of the same length and times: its file speaks for that log.
        QTemporaryDir other;
        QVERIFY(writeTimedLog(other.path(), chunks) == text);
        QVERIFY(file.remove() && QFile::copy(other.filePath(kLog + ".times"), times));
    }
    LogKeeper keeper(dir.filePath(kLog));
    QVERIFY(keeper.claim().status == Journal::Claim::Status::Claimed);
    keeper.open();
    QCOMPARE(keeper.mid(0, keeper.size()), text);
    // A time is the right one or none: never an earlier chunk's.
    const qint64 last = text.size() - 1;
    QCOMPARE(keeper.arrivalMs(last),
             damage == "none" ? kFirstTime + (chunks - 1) * 1000 : LogTimes::Unknown);
    QCOMPARE(keeper.arrivalMs(0), damage == "none" ? kFirstTime : LogTimes::Unknown);
    // What arrives now has its time whatever the file was.
    keeper.append("43 ", kFirstTime + chunks * 1000);
    QCOMPARE(keeper.arrivalMs(text.size()), kFirstTime + chunks * 1000);
    QVERIFY(keeper.save().ok);
}

QTEST_GUILESS_MAIN(TestTimesFile)
#include "tst_timesfile.moc"
