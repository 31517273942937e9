#include "logfile/hexitems.h"
#include "logfile/logexport.h"
#include "logfile/logkeeper.h"
#include "support/files.h"
#include "support/hexreference.h"

#include <QDateTime>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {
constexpr qint64 kFirstTime = 1'800'000'000'123;

struct Csv
{
    QList<QList<QByteArray>> rows;
    qint64 bytes = 0;
    QByteArray items;
};

// Parses what the export wrote, checking each row's shape on the way.
Csv parse(const QByteArray &text)
{
    Csv csv;
    QList<QByteArray> lines = text.split('\n');
    if (lines.takeFirst() != "time,offset,bytes,items" || !lines.takeLast().isEmpty())
        return {};
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() != 4 || fields[3].split(' ').size() != fields[2].toLongLong())
            return {};
        csv.rows.append(fields);
        csv.bytes += fields[2].toLongLong();
        csv.items += fields[3] + ' ';
    }
    return csv;
}

qint64 parseTime(const QByteArray &field)
{
    return QDateTime::fromString(QString::fromLatin1(field), Qt::ISODateWithMs).toMSecsSinceEpoch();
}
} // namespace

// The log written for other tools: CSV and raw bytes, from the window's text and from a file.
class TestLogExport : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void decodesItemsAndLeavesTextLinesOut_data();
    void decodesItemsAndLeavesTextLinesOut();
    void roundTripGivesBackWhatWasSent();
    void failuresLeaveTheTargetAlone_data();
    void failuresLeaveTheTargetAlone();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_log;
    QString path(const QString &name) const { return m_folder->filePath(name); }
};

void TestLogExport::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_log = path("log.txt");
}

void TestLogExport::decodesItemsAndLeavesTextLinesOut_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("otherWords");
    QTest::newRow("items across a wrap") << QByteArray("41 42 \r\n43 ") << QByteArray("ABC") << 0LL;
    QTest::newRow("lower case, a tab, a lone digit")
        << QByteArray("4f\t4F 7 \n") << QByteArray("OO\x07") << 0LL;
    QTest::newRow("a word of three digits")
        << QByteArray("123 41 \r\n42 ") << QByteArray("B") << 2LL;
    QTest::newRow("a notice") << QByteArray("Port 1 is not available\r\n5 ") << QByteArray("\x05")
                              << 5LL;
    QTest::newRow("a word that is not hex") << QByteArray("41 4G 42 \n") << QByteArray() << 3LL;
}

// Whole and in pieces: a word cut between two pieces is joined, a line cut between them kept.
void TestLogExport::decodesItemsAndLeavesTextLinesOut()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, otherWords);
    for (const qsizetype piece : {text.size(), qsizetype(1), qsizetype(2), qsizetype(6)}) {
        HexItems::Decoder decoder;
        QByteArray out;
        for (qsizetype at = 0; at < text.size(); at += piece)
            decoder.decode(QByteArrayView(text).sliced(at, qMin(piece, text.size() - at)), out);
        decoder.finish(out);
        QCOMPARE(out, bytes);
        QCOMPARE(decoder.otherWords(), otherWords);
    }
}

void TestLogExport::roundTripGivesBackWhatWasSent()
{
    QRandomGenerator random(21);
    QByteArray sent;
    QList<qint64> chunkTimes;
    LogKeeper keeper(m_log);
    QVERIFY(keeper.claim().status == Journal::Claim::Status::Claimed);
    keeper.open();
    int column = 1;
    for (int chunk = 0; chunk < 2000; ++chunk) {
        QByteArray bytes(random.bounded(1, 300), Qt::Uninitialized);
        for (char &byte : bytes)
            byte = char(random.bounded(256));
        QByteArray items;
        appendHex(items, bytes, 28, column);
        keeper.append(items, kFirstTime + chunk * 7);
        sent += bytes;
        chunkTimes.append(kFirstTime + chunk * 7);
    }
    // A notice between the chunks is no received byte.
    keeper.append("\r\nPort 1 is not available\r\n", kFirstTime + 99999);
    QVERIFY(keeper.save().ok);
    const QString bin = path("out.bin");
    const QString csv = path("out.csv");

    LogExport::Result result = LogExport::writeFile(LogExport::Format::Binary, m_log, bin);
    QVERIFY2(result.ok, qPrintable(result.errorText));
    QCOMPARE(fileBytes(bin), sent);
    QVERIFY(result.otherWords == 5);

    result =
        LogExport::write(LogExport::Format::Csv, keeper, &keeper.times(), 0, keeper.size(), csv);
    QVERIFY2(result.ok, qPrintable(result.errorText));
    const Csv rows = parse(fileBytes(csv));
    QCOMPARE(rows.rows.size(), 2000);
    QCOMPARE(rows.bytes, qint64(sent.size()));
    QCOMPARE(rows.items, hexOf(sent, 1 << 30));
    for (int row = 0; row < 2000; row += 97) {
        QCOMPARE(parseTime(rows.rows[row][0]), chunkTimes[row]);
        QCOMPARE(keeper.arrivalMs(rows.rows[row][1].toLongLong()), chunkTimes[row]);
    }
    // The command line's export of the saved file says the same.
    QVERIFY(LogExport::writeFile(LogExport::Format::Csv, m_log, bin).ok);
    QCOMPARE(fileBytes(bin), fileBytes(csv));

    // A selection from inside one chunk to inside another.
    const qint64 from = rows.rows[10][1].toLongLong() + 3;
    const qint64 to = rows.rows[12][1].toLongLong() + 2;
    QVERIFY(LogExport::write(LogExport::Format::Csv, keeper, &keeper.times(), from, to, csv).ok);
    const Csv part = parse(fileBytes(csv));
    QCOMPARE(part.rows.size(), 3);
    QCOMPARE(part.rows[0][1].toLongLong(), from);
    QCOMPARE(parseTime(part.rows[2][0]), chunkTimes[12]);
}

void TestLogExport::failuresLeaveTheTargetAlone_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("message");
    QTest::newRow("cancelled") << "out.csv" << true << "The export was cancelled";
    QTest::newRow("folder missing") << "missing/out.csv" << false << "Could not write";
    QTest::newRow("the log itself") << "log.txt" << false << "Will not write over";
    QTest::newRow("its times file") << "log.txt.times" << false << "Will not write over";
}

void TestLogExport::failuresLeaveTheTargetAlone()
{
    QFETCH(QString, target);
    QFETCH(bool, cancel);
    QFETCH(QString, message);
    {
        LogKeeper keeper(m_log);
        QVERIFY(keeper.claim().status == Journal::Claim::Status::Claimed);
        keeper.open();
        keeper.append(QByteArray(3 << 20, 'A'), kFirstTime);
        QVERIFY(keeper.save().ok);
    }
    const QByteArray log = fileBytes(m_log);
    const QString targetPath = path(target);
    if (cancel)
        QVERIFY(writeFileBytes(targetPath, "before"));
    LogExport::Result result;
    if (cancel) {
        const MemoryLogText text(log);
        int calls = 0;
        result = LogExport::write(LogExport::Format::Csv, text, nullptr, 0, log.size(), targetPath,
                                  [&](qint64, qint64) { return ++calls < 2; });
        QVERIFY(result.cancelled);
    } else {
        result = LogExport::writeFile(LogExport::Format::Csv, m_log, targetPath);
    }
    QVERIFY(!result.ok);
    QVERIFY2(result.errorText.startsWith(message), qPrintable(result.errorText));
    QCOMPARE(fileBytes(m_log), log);
    if (cancel)
        QCOMPARE(fileBytes(targetPath), QByteArray("before"));
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files).filter("out").size(), cancel ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestLogExport)
#include "tst_logexport.moc"
