#include "posix/fdguard.h"
#include "posix/procinfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

FdGuard openFile(const QString &path)
{
    return FdGuard(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
}

} // namespace

class TestProcInfo : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readsTheKernelsTable_data();
    void readsTheKernelsTable();
    void findsTheHolderOfALiveLock_data();
    void findsTheHolderOfALiveLock();
    void namesAProgram_data();
    void namesAProgram();
};

void TestProcInfo::readsTheKernelsTable_data()
{
    QTest::addColumn<QByteArray>("locks");
    QTest::addColumn<uint>("major");
    QTest::addColumn<uint>("minor");
    QTest::addColumn<qulonglong>("inode");
    QTest::addColumn<qint64>("holder");
    const QByteArray held = "2: FLOCK  ADVISORY  WRITE 1234 fe:00:5678 0 EOF\n";
    QTest::newRow("held") << held << 254u << 0u << 5678ull << qint64(1234);
    QTest::newRow("device numbers in hex")
        << QByteArray("1: FLOCK  ADVISORY  WRITE 77 00:2d:9 0 EOF") << 0u << 45u << 9ull
        << qint64(77);
    QTest::newRow("decimal look-alike is another device")
        << QByteArray("1: FLOCK  ADVISORY  WRITE 77 00:45:9 0 EOF") << 0u << 45u << 9ull
        << qint64(0);
    QTest::newRow("device numbers past two hex digits")
        << QByteArray("1: FLOCK  ADVISORY  WRITE 5 103:12c:42 0 EOF") << 259u << 300u << 42ull
        << qint64(5);
    QTest::newRow("same inode, another device") << held << 254u << 1u << 5678ull << qint64(0);
    QTest::newRow("inode ending in the wanted one") << held << 254u << 0u << 678ull << qint64(0);
    QTest::newRow("the holder, not its waiter")
        << held + "2: -> FLOCK  ADVISORY  WRITE 4321 fe:00:5678 0 EOF\n"
        << 254u << 0u << 5678ull << qint64(1234);
    QTest::newRow("a POSIX lock is no flock")
        << QByteArray("1: POSIX  ADVISORY  READ 13 fe:00:5678 0 EOF\n") << 254u << 0u << 5678ull
        << qint64(0);
}

void TestProcInfo::readsTheKernelsTable()
{
    QFETCH(QByteArray, locks);
    QFETCH(uint, major);
    QFETCH(uint, minor);
    QFETCH(qulonglong, inode);
    QFETCH(qint64, holder);
    QCOMPARE(flockHolderIn(locks, makedev(major, minor), ino_t(inode)), holder);
}

void TestProcInfo::findsTheHolderOfALiveLock_data()
{
    QTest::addColumn<int>("operation"); // 0: no lock
    QTest::addColumn<bool>("otherFile");
    QTest::newRow("no lock") << 0 << false;
    QTest::newRow("exclusive") << LOCK_EX << false;
    QTest::newRow("shared") << LOCK_SH << false;
    QTest::newRow("only another file locked") << LOCK_EX << true;
}

void TestProcInfo::findsTheHolderOfALiveLock()
{
    QFETCH(int, operation);
    QFETCH(bool, otherFile);
    QTemporaryDir dir;
    const FdGuard file = openFile(dir.filePath("locked"));
    const FdGuard other = openFile(dir.filePath("other"));
    QVERIFY(file.fd() >= 0 && other.fd() >= 0);
    if (operation != 0)
        QVERIFY(::flock(otherFile ? other.fd() : file.fd(), operation) == 0);
    struct stat info = {};
    QVERIFY(::fstat(file.fd(), &info) == 0);
    const qint64 expected = operation != 0 && !otherFile ? ::getpid() : 0;
    QCOMPARE(flockHolder(info.st_dev, info.st_ino), expected);
}

void TestProcInfo::namesAProgram_data()
{
    QTest::addColumn<qint64>("pid");
    QTest::addColumn<QString>("name");
    // The kernel keeps the first 15 bytes of the name.
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15);
    QTest::newRow("this test program") << qint64(::getpid()) << self;
    // No pid reaches the kernel's limit.
    QFile pidMax("/proc/sys/kernel/pid_max");
    const qint64 limit = pidMax.open(QIODevice::ReadOnly) ? pidMax.readAll().trimmed().toLongLong()
                                                          : qint64(1) << 22;
    QTest::newRow("no such process") << limit << QString();
}

void TestProcInfo::namesAProgram()
{
    QFETCH(qint64, pid);
    QFETCH(QString, name);
    QCOMPARE(programName(pid), name);
}

QTEST_GUILESS_MAIN(TestProcInfo)
#include "tst_procinfo.moc"
