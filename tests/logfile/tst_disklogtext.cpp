#include "logfile/disklogtext.h"
#include "logfile/logstore.h"
#include "support/files.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

constexpr qint64 kBlock = DiskLogText::BlockSize;

QByteArray everyByte()
{
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        bytes.append(char(b));
    return bytes;
}

// An open descriptor that closes itself.
class Fd
{
public:
    explicit Fd(const QString &name, int flags = O_RDONLY)
        : m_fd(::open(QFile::encodeName(name).constData(), flags | O_CLOEXEC, 0600))
    {
    }
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
};

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
    void cleanup();
    void roundTrip_data();
    void roundTrip();
    void baseLargerThan4GiB();
    void baseCutShortByAnotherProgram();
    void replaceAndRebase();
    void fullDisk();

private:
    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir m_dir;
    QByteArray m_mounted;
};

void TestDiskLogText::cleanup()
{
    if (!m_mounted.isEmpty()) {
        ::umount2(m_mounted.constData(), MNT_DETACH);
        m_mounted.clear();
    }
}

void TestDiskLogText::roundTrip_data()
{
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<QByteArrayList>("appended");
    QTest::newRow("every byte appended, no base")
        << QByteArray() << QByteArrayList{everyByte().left(7), everyByte().mid(7)};
    QTest::newRow("every byte in the base") << everyByte().repeated(3) << QByteArrayList{"41 \r\n"};
    QTest::newRow("CR LF split at the block edge")
        << QByteArray(kBlock - 1, 'A') + '\r' << QByteArrayList{"\n", "B\r", "\nC\n"};
    QTest::newRow("lone CR and LF at block edges")
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
    QVERIFY(writeFileAt(path("log.txt"), 0, base));
    QByteArray expected = base;
    {
        Fd loaded(path("log.txt"));
        auto text = DiskLogText::create(m_dir.path(), loaded.fd(), base.size());
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
        QCOMPARE(text->unwrittenBytes(), 0);
        QVERIFY(LogStore::save(path("log.txt"), *text).ok);
    }
    QCOMPARE(fileBytes(path("log.txt")), expected);
}

// Offsets past 4 GiB, in a sparse base where content matters only around them.
void TestDiskLogText::baseLargerThan4GiB()
{
    constexpr qint64 k4GiB = qint64(1) << 32;
    const QByteArray around = QByteArray("41 42 43 \r\n").repeated(3);
    const QByteArray last("\r\nFF FE ");
    const qint64 baseSize = k4GiB + 1000 + last.size();
    QVERIFY(writeFileAt(path("big.txt"), k4GiB - 10, around));
    QVERIFY(writeFileAt(path("big.txt"), baseSize - last.size(), last));
    Fd loaded(path("big.txt"));
    auto text = DiskLogText::create(m_dir.path(), loaded.fd(), baseSize);
    QVERIFY(text);
    text->append("0 1 \r\n");
    QCOMPARE(text->size(), baseSize + 6);
    QCOMPARE(text->mid(k4GiB - 10, around.size()), around);
    QCOMPARE(text->mid(k4GiB - 12, 2), QByteArray(2, '\0'));
    QCOMPARE(text->mid(baseSize - last.size(), 100), last + "0 1 \r\n");
    QByteArray big(int(5 * kBlock), Qt::Uninitialized);
    QCOMPARE(text->read(baseSize - 2 * kBlock, big.data(), big.size()), 2 * kBlock + 6);
    QVERIFY(big.left(int(2 * kBlock + 6)).endsWith(QByteArray(last + "0 1 \r\n")));
}

// A loaded log cut short: reads come back short, never made up; a save fails and keeps the target.
void TestDiskLogText::baseCutShortByAnotherProgram()
{
    const QByteArray base = QByteArray("0123456789ABCDE\n").repeated(64 * 1024);
    QVERIFY(writeFileAt(path("log.txt"), 0, base));
    QVERIFY(writeFileAt(path("saved.txt"), 0, "kept"));
    Fd loaded(path("log.txt"));
    auto text = DiskLogText::create(m_dir.path(), loaded.fd(), base.size());
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

// Clear replaces the text and drops the base; after a save the text moves into the new base.
void TestDiskLogText::replaceAndRebase()
{
    QVERIFY(writeFileAt(path("log.txt"), 0, "old\r\n"));
    Fd loaded(path("log.txt"));
    auto text = DiskLogText::create(m_dir.path(), loaded.fd(), 5);
    text->append("new ");
    text->replace("fresh ");
    QCOMPARE(text->baseSize(), 0);
    QCOMPARE(readInPieces(*text, 4), QByteArray("fresh "));
    text->append("1 2 ");
    QVERIFY(LogStore::save(path("saved.txt"), *text).ok);
    QCOMPARE(fileBytes(path("saved.txt")), QByteArray("fresh 1 2 "));

    Fd saved(path("saved.txt"));
    text->rebase(saved.fd(), 10);
    QCOMPARE(text->tailLength(), 0);
    QCOMPARE(readInPieces(*text, 3), QByteArray("fresh 1 2 "));
    text->append("3 ");
    QCOMPARE(text->tailLength(), 2);
    QCOMPARE(readInPieces(*text, 5), QByteArray("fresh 1 2 3 "));
    text->replace({});
    QCOMPARE(text->size(), 0);
    QCOMPARE(text->mid(0, 10), QByteArray());
}

// A full disk: the save fails and keeps the old log; refused appends wait in memory for room.
void TestDiskLogText::fullDisk()
{
    m_mounted = QFile::encodeName(m_dir.path());
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", m_mounted.constData(), "tmpfs", 0, "size=1m") != 0) {
        m_mounted.clear();
        QSKIP(qPrintable("no private tmpfs: " + errorText(errno)));
    }
    const QByteArray old = QByteArray("41 42 \r\n").repeated(12800);
    QVERIFY(writeFileAt(path("log.txt"), 0, old));
    Fd loaded(path("log.txt"));
    auto text = DiskLogText::create(m_dir.path(), loaded.fd(), old.size());
    QVERIFY(text);
    QByteArray expected = old + QByteArray("5A ").repeated(40000);
    text->append(expected.mid(old.size()));
    QCOMPARE(text->unwrittenBytes(), 0);
    QFile filler(path("filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(4096, 'f')) > 0) {
    }

    LogStore::SaveResult saved = LogStore::save(path("log.txt"), *text);
    QVERIFY(!saved.ok);
    QCOMPARE(saved.errorText, "Could not save " + path("log.txt") + ": " + errorText(ENOSPC));
    QCOMPARE(fileBytes(path("log.txt")), old);

    const QByteArray refused = QByteArray("7E ").repeated(10000);
    text->append(refused);
    expected.append(refused);
    QCOMPARE(text->writeError(), ENOSPC);
    QVERIFY(text->unwrittenBytes() > 0);
    QCOMPARE(readInPieces(*text, 7777), expected);

    QVERIFY(filler.remove());
    text->append("\r\n");
    expected.append("\r\n");
    QCOMPARE(text->unwrittenBytes(), 0);
    QCOMPARE(text->writeError(), 0);
    saved = LogStore::save(path("log.txt"), *text);
    QVERIFY2(saved.ok, qPrintable(saved.errorText));
    QCOMPARE(fileBytes(path("log.txt")), expected);
}

QTEST_GUILESS_MAIN(TestDiskLogText)
#include "tst_disklogtext.moc"
