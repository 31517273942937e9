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
#include <sys/wait.h>
#include <unistd.h>

enum class Holder { Nobody, ThisProcess, ChildProcess };
Q_DECLARE_METATYPE(Holder)

namespace {

FdGuard openFile(const QString &path)
{
    return FdGuard(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
}

// A process of its own holds the lock until the returned pipe end is closed.
pid_t lockInChild(const QString &path, int operation, FdGuard &release)
{
    const QByteArray name = QFile::encodeName(path);
    int locked[2];
    int done[2];
    if (::pipe(locked) != 0 || ::pipe(done) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls after fork() in a threaded program.
        const int fd = ::open(name.constData(), O_RDWR);
        const char ok = fd >= 0 && ::flock(fd, operation) == 0 ? 'y' : 'n';
        ::close(done[1]);
        char end = 0;
        if (::write(locked[1], &ok, 1) == 1)
            (void)!::read(done[0], &end, 1);
        ::_exit(0);
    }
    ::close(locked[1]);
    ::close(done[0]);
    release = FdGuard(done[1]);
    char ok = 'n';
    const bool told = ::read(locked[0], &ok, 1) == 1;
    ::close(locked[0]);
    return told && ok == 'y' ? child : -1;
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
    QTest::addColumn<Holder>("holder");
    QTest::addColumn<int>("operation");
    QTest::addColumn<bool>("otherFileLocked");
    QTest::newRow("nobody") << Holder::Nobody << LOCK_EX << false;
    QTest::newRow("this process") << Holder::ThisProcess << LOCK_EX << false;
    QTest::newRow("this process, shared") << Holder::ThisProcess << LOCK_SH << false;
    QTest::newRow("another process") << Holder::ChildProcess << LOCK_EX << false;
    QTest::newRow("only another file") << Holder::Nobody << LOCK_EX << true;
}

void TestProcInfo::findsTheHolderOfALiveLock()
{
    QFETCH(Holder, holder);
    QFETCH(int, operation);
    QFETCH(bool, otherFileLocked);
    QTemporaryDir dir;
    const QString path = dir.filePath("locked");
    const FdGuard file = openFile(path);
    const FdGuard other = openFile(dir.filePath("other"));
    QVERIFY(file.fd() >= 0 && other.fd() >= 0);
    if (otherFileLocked)
        QVERIFY(::flock(other.fd(), operation) == 0);
    qint64 expected = 0;
    FdGuard releaseChild;
    if (holder == Holder::ThisProcess) {
        QVERIFY(::flock(file.fd(), operation) == 0);
        expected = ::getpid();
    } else if (holder == Holder::ChildProcess) {
        expected = lockInChild(path, operation, releaseChild);
        QVERIFY2(expected > 0, "the child could not take the lock");
    }
    struct stat info = {};
    QVERIFY(::fstat(file.fd(), &info) == 0);
    const qint64 found = flockHolder(info.st_dev, info.st_ino);
    if (holder == Holder::ChildProcess) {
        releaseChild = FdGuard();
        ::waitpid(pid_t(expected), nullptr, 0);
    }
    QCOMPARE(found, expected);
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
