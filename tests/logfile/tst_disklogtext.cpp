#include "logfile/disklogtext.h"
#include "logfile/logstore.h"
#include "support/files.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr qint64 kBlock = DiskLogText::BlockSize;

QByteArray everyByte()
{
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        bytes.append(char(b));
    return bytes;
}

// The file opened for reading; the text keeps a descriptor of its own.
std::unique_ptr<DiskLogText> textOver(const QString &name, const QString &directory,
                                      qint64 baseSize)
{
    QFile base(name);
    if (!base.open(QIODevice::ReadOnly))
        return nullptr;
    return DiskLogText::create(directory, base.handle(), baseSize);
}

// The text read back in uneven pieces, so that reads begin and end inside cached blocks.
QByteArray readInPieces(const LogText &text, qint64 piece)
{
    QByteArray all;
    for (qint64 at = 0; at < text.size(); at += piece)
        all.append(text.mid(at, piece));
    return all;
}

} // namespace

class TestDiskLogText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { QVERIFY(m_dir.isValid()); }
    void roundTrip_data();
    void roundTrip();
    void baseCutShortByAnotherProgram();

private:
    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir m_dir;
};

void TestDiskLogText::roundTrip_data()
{
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<QByteArrayList>("appended");
    QTest::newRow("every byte appended, no base")
        << QByteArray() << QByteArrayList{everyByte().left(7), everyByte().mid(7)};
    QTest::newRow("every byte in the base") << everyByte().repeated(3) << QByteArrayList{"41 \r\n"};
    QTest::newRow("appends ending at block edges")
        << QByteArray(kBlock - 1, 'x') + '\n'
        << QByteArrayList{QByteArray(kBlock - 1, 'y') + '\r', "z", QByteArray(kBlock - 2, 'w'),
                          "\n\r"};
    QTest::newRow("appends over many blocks")
        << QByteArray("0 1 2 \r\n")
        << QByteArrayList{QByteArray("FF ").repeated(kBlock + 5),
                          QByteArray("\r\n").repeated(kBlock)};
    QTest::newRow("large base") << QByteArray("A0 B1 \r\n").repeated(kBlock) << QByteArrayList{};
}

// What was loaded plus what was appended is what reads and a save give back, byte for byte.
void TestDiskLogText::roundTrip()
{
    QFETCH(QByteArray, base);
    QFETCH(QByteArrayList, appended);
    QVERIFY(writeFileBytes(path("log.txt"), base));
    QByteArray expected = base;
    {
        auto text = textOver(path("log.txt"), m_dir.path(), base.size());
        QVERIFY(text);
        QCOMPARE(text->mid(0, 3), base.left(3));
        for (const QByteArray &piece : appended) {
            text->append(piece);
            expected.append(piece);
            // A block read before the append must not hide the new bytes.
            QCOMPARE(text->size(), expected.size());
            QCOMPARE(text->mid(expected.size() - 5, 10), expected.right(5));
        }
        for (qint64 piece : {qint64(1000), kBlock + 3, 4 * kBlock + 1})
            QCOMPARE(readInPieces(*text, piece), expected);
        for (qint64 edge = kBlock; edge < expected.size(); edge += kBlock)
            QCOMPARE(text->mid(edge - 2, 4), expected.mid(edge - 2, 4));
        QCOMPARE(text->mid(expected.size() - 1, 100), expected.right(1));
        QCOMPARE(text->mid(expected.size(), 100), QByteArray());
        QCOMPARE(text->tailLength(), expected.size() - base.size());
        QVERIFY(LogStore::save(path("log.txt"), *text).ok);
    }
    QCOMPARE(fileBytes(path("log.txt")), expected);
}

// A loaded log cut short: reads come back short, never made up; a save fails and keeps the target.
void TestDiskLogText::baseCutShortByAnotherProgram()
{
    const QByteArray base = QByteArray("0123456789ABCDE\n").repeated(64 * 1024);
    QVERIFY(writeFileBytes(path("log.txt"), base));
    QVERIFY(writeFileBytes(path("saved.txt"), "kept"));
    auto text = textOver(path("log.txt"), m_dir.path(), base.size());
    QCOMPARE(text->mid(0, 100), base.left(100));
    QCOMPARE(QProcess::execute(QStringLiteral("truncate"), {"-s", "1000", path("log.txt")}), 0);
    text->append("AA BB ");
    QCOMPARE(text->size(), base.size() + 6);
    QCOMPARE(text->mid(0, 100), base.left(100));
    QCOMPARE(text->mid(500000, 100), QByteArray());
    QCOMPARE(text->mid(kBlock + 10, 100), QByteArray());
    QCOMPARE(text->mid(base.size(), 6), QByteArray("AA BB "));
    QByteArray all(base.size(), Qt::Uninitialized);
    QCOMPARE(text->read(0, all.data(), all.size()), 1000);
    QCOMPARE(all.left(1000), base.left(1000));

    const LogStore::SaveResult saved = LogStore::save(path("saved.txt"), *text);
    QVERIFY(!saved.ok);
    QVERIFY2(saved.errorText.contains("could not be read from byte 1000"),
             qPrintable(saved.errorText));
    QCOMPARE(fileBytes(path("saved.txt")), QByteArray("kept"));
}

QTEST_GUILESS_MAIN(TestDiskLogText)
#include "tst_disklogtext.moc"
