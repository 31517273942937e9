#include "capture/linetermios.h"
#include "capture/portlocks.h"
#include "posix/pathname.h"
#include "support/files.h"
#include "support/inchild.h"
#include "support/openport.h"
#include "support/portholder.h"
#include "support/pseudoterminal.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray uucpText(qint64 pid)
{
    return QByteArray::number(pid).rightJustified(10, ' ') + '\n';
}

QByteArray binaryText(qint64 pid)
{
    const qint32 value = qint32(pid);
    return QByteArray(reinterpret_cast<const char *>(&value), sizeof value);
}

// Whether another open file description of the device could take flock() now.
bool flockIsFree(const QString &path)
{
    const int fd = ::open(PathName::encodePath(path).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0)
        ::close(fd);
    return free;
}

// Whether exclusive mode is set; as it is left when its holder is killed, with unset false.
bool exclusiveModeIsSet(const QString &path, bool set = false, bool unset = false)
{
    const int fd = ::open(PathName::encodePath(path).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return errno == EBUSY;
    if (set || unset)
        LineTermios::setExclusive(fd, set);
    const bool exclusive = LineTermios::isExclusive(fd);
    ::close(fd);
    return exclusive;
}

} // namespace

// Other programs' claims on a port, and ours as they see it.
class TestPortLocks : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void pidInLockText_data();
    void pidInLockText();
    void otherProgramsLockFiles_data();
    void otherProgramsLockFiles();
    void lockOfADeviceOfTheSameName();
    void ownersAnUnprivilegedUserCannotSee();
    void heldByAnotherProgram_data();
    void heldByAnotherProgram();
    void exclusiveModeLeftBehind_data();
    void exclusiveModeLeftBehind();
    void ourClaimIsVisibleUntilClosed_data();
    void ourClaimIsVisibleUntilClosed();

private:
    std::unique_ptr<QTemporaryDir> m_lockDir;
};

void TestPortLocks::init()
{
    m_lockDir = std::make_unique<QTemporaryDir>();
    qputenv("TAVREL_LOCK_DIR", m_lockDir->path().toLocal8Bit());
}

void TestPortLocks::pidInLockText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("pid"); // 0: none
    QTest::newRow("uucp ascii") << QByteArray("      4242\n") << qint64(4242);
    QTest::newRow("ascii without newline") << QByteArray("77") << qint64(77);
    QTest::newRow("qt lock file") << QByteArray("1234\ntavrel\nhost\n") << qint64(1234);
    QTest::newRow("binary") << binaryText(31337) << qint64(31337);
    QTest::newRow("binary that reads as digits") << binaryText(0x3131) << qint64(0x3131);
    QTest::newRow("binary with a newline byte") << binaryText(10) << qint64(10);
    QTest::newRow("empty") << QByteArray() << qint64(0);
    QTest::newRow("garbage") << QByteArray("owner: me\n") << qint64(0);
    QTest::newRow("zero") << QByteArray("         0\n") << qint64(0);
    QTest::newRow("negative") << QByteArray("-5\n") << qint64(0);
}

void TestPortLocks::pidInLockText()
{
    QFETCH(QByteArray, text);
    QFETCH(qint64, pid);
    QCOMPARE(PortLocks::pidInLockText(text).value_or(0), pid);
}

void TestPortLocks::otherProgramsLockFiles_data()
{
    QTest::addColumn<bool>("ownerAlive");
    QTest::addColumn<bool>("byLinkName"); // locked under the name of the path given, a link
    for (const bool alive : {true, false})
        for (const bool byLink : {false, true})
            QTest::addRow("%s owner, %s", alive ? "live" : "dead",
                          byLink ? "link's name" : "device's name")
                << alive << byLink;
}

// A live owner's file keeps us out and is left as it was; a dead owner's is taken over. Under a
// link's name a live owner that does not have this device open locks another device of that
// name: the port opens and the file stays the owner's. How the pid is written is
// pidInLockText's table.
void TestPortLocks::otherProgramsLockFiles()
{
    QFETCH(bool, ownerAlive);
    QFETCH(bool, byLinkName);
    PseudoTerminal terminal;
    QTemporaryDir links;
    const QString link = links.filePath("ttyBoard");
    QVERIFY(QFile::link(terminal.devicePath(), link));
    PortHolderProcess owner(PortHolderProcess::Live, QString());
    QVERIFY(owner.isReady());
    const qint64 pid = ownerAlive ? owner.pid() : deadPid();
    const QString name = byLinkName ? "ttyBoard" : QFileInfo(terminal.devicePath()).fileName();
    const QString lockFile = QDir(m_lockDir->path()).filePath("LCK.." + name);
    const QByteArray text = uucpText(pid);
    QVERIFY(writeFileBytes(lockFile, text));

    CommControl control;
    const bool opened = openPort(control, link);
    const bool anotherDevice = ownerAlive && byLinkName;
    QCOMPARE(opened, !ownerAlive || anotherDevice);
    if (ownerAlive) {
        if (!anotherDevice)
            QCOMPARE(control.errorString(), QString("Held by sleep (pid %1)").arg(pid));
        QCOMPARE(fileBytes(lockFile, "<missing>"), text);
        return;
    }
    QCOMPARE(fileBytes(lockFile, "<missing>"), uucpText(::getpid()));
    QVERIFY(control.setPortOpen(false));
    QVERIFY(!QFile::exists(lockFile));
}

// Two devices of the same name in two folders: the lock under that name counts for the one its
// owner has open, and for that one only.
void TestPortLocks::lockOfADeviceOfTheSameName()
{
    PseudoTerminal first;
    PseudoTerminal second;
    QTemporaryDir links;
    QVERIFY(QDir(links.path()).mkpath("p1") && QDir(links.path()).mkpath("p2"));
    QVERIFY(QFile::link(first.devicePath(), links.filePath("p1/ttyZ")));
    QVERIFY(QFile::link(second.devicePath(), links.filePath("p2/ttyZ")));
    PortHolderProcess holder(PortHolderProcess::Flock, first.devicePath());
    QVERIFY(holder.isReady());
    const QString lockFile = QDir(m_lockDir->path()).filePath("LCK..ttyZ");
    QVERIFY(writeFileBytes(lockFile, uucpText(holder.pid())));
    CommControl control;
    QVERIFY2(openPort(control, links.filePath("p2/ttyZ")), qPrintable(control.errorString()));
    QCOMPARE(fileBytes(lockFile), uucpText(holder.pid()));
    QVERIFY(control.setPortOpen(false));
    QVERIFY(!openPort(control, links.filePath("p1/ttyZ")));
    QCOMPARE(control.errorString(), QString("Held by porthold (pid %1)").arg(holder.pid()));
    QCOMPARE(fileBytes(lockFile), uucpText(holder.pid()));
}

// A normal user may neither signal nor look into another user's process (here init): such a
// lock's owner is alive, and may have this device open.
void TestPortLocks::ownersAnUnprivilegedUserCannotSee()
{
    PseudoTerminal terminal;
    const QString lockFile = QDir(m_lockDir->path()).filePath("LCK..ttyZ");
    QVERIFY(writeFileBytes(lockFile, uucpText(1)));
    const QString report = inChild([&]() -> QString {
        if (::geteuid() == 0 && !dropToNobody())
            return QStringLiteral("could not become nobody");
        if (::kill(1, 0) == 0)
            return QStringLiteral("skip: init is this user's");
        if (!PortLocks::processIsAlive(1))
            return QStringLiteral("init was taken for dead");
        if (PortLocks::isAnotherDevicesLock(lockFile, 1, terminal.devicePath()))
            return QStringLiteral("a lock whose owner cannot be seen was taken for another's");
        return {};
    });
    if (report.startsWith("skip: "))
        QSKIP(qPrintable(report));
    QVERIFY2(report.isEmpty(), qPrintable(report));
}

void TestPortLocks::heldByAnotherProgram_data()
{
    QTest::addColumn<PortHolderProcess::Claim>("claim");
    QTest::newRow("flock") << PortHolderProcess::Flock;
    // Root may open past exclusive mode; the flag is asked for, so root is kept out as well.
    QTest::newRow("exclusive mode") << PortHolderProcess::Exclusive;
}

void TestPortLocks::heldByAnotherProgram()
{
    QFETCH(PortHolderProcess::Claim, claim);
    PseudoTerminal terminal;
    PortHolderProcess holder(claim, terminal.devicePath());
    QVERIFY(holder.isReady());
    CommControl control;
    QVERIFY(!openPort(control, terminal.devicePath()));
    QCOMPARE(control.errorString(), QString("Held by porthold (pid %1)").arg(holder.pid()));
    QCOMPARE(QDir(m_lockDir->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    // Refusing must not undo the other program's claim.
    if (claim == PortHolderProcess::Exclusive)
        QVERIFY(exclusiveModeIsSet(terminal.devicePath()));
    holder.end();
    QVERIFY2(openPort(control, terminal.devicePath()), qPrintable(control.errorString()));
}

void TestPortLocks::exclusiveModeLeftBehind_data()
{
    QTest::addColumn<bool>("otherEndElsewhere"); // in a program of its own, as socat is
    QTest::addColumn<bool>("asNobody"); // root opens past exclusive mode; others are refused
    QTest::newRow("other end here") << false << false;
    QTest::newRow("other end in another program") << true << false;
    QTest::newRow("other end here, refused to a user") << false << true;
}

// A program killed while it held a pseudo-terminal in exclusive mode leaves the mode behind while
// the other end stays open: the cause given is that, not the other end.
void TestPortLocks::exclusiveModeLeftBehind()
{
    QFETCH(bool, otherEndElsewhere);
    QFETCH(bool, asNobody);
    if (asNobody && ::geteuid() != 0)
        QSKIP("this user is refused in every row");
    PseudoTerminal terminal;
    PortHolderProcess otherEnd(PortHolderProcess::OtherEnd, {});
    QVERIFY(otherEnd.isReady());
    const QString device = otherEndElsewhere ? otherEnd.devicePath() : terminal.devicePath();
    QVERIFY(exclusiveModeIsSet(device, true));
    QVERIFY(!asNobody || ::chmod(PathName::encodePath(device).constData(), 0666) == 0);
    QVERIFY(!asNobody || (::setegid(65534) == 0 && ::seteuid(65534) == 0));
    CommControl control;
    const bool opened = openPort(control, device);
    QVERIFY(!asNobody || (::seteuid(0) == 0 && ::setegid(0) == 0));
    QVERIFY(!opened);
    QCOMPARE(control.errorString(),
             QString("Left in exclusive mode by a program that ended; a pseudo-terminal keeps "
                     "that until its other end%1 closes")
                 .arg(otherEndElsewhere ? QString(", porthold (pid %1),").arg(otherEnd.pid())
                                        : QString()));
    QVERIFY(!exclusiveModeIsSet(device, false, true));
    QVERIFY2(openPort(control, device), qPrintable(control.errorString()));
}

void TestPortLocks::ourClaimIsVisibleUntilClosed_data()
{
    QTest::addColumn<QString>("linkName");
    QTest::newRow("link") << "ttyBoard";
    // Names are bytes: the lock file must carry the same bytes for other programs to see it.
    QTest::newRow("link named in bytes that are not UTF-8") << PathName::decodePath("tty\xFF\xE9");
}

void TestPortLocks::ourClaimIsVisibleUntilClosed()
{
    QFETCH(QString, linkName);
    PseudoTerminal terminal;
    QTemporaryDir links;
    const QString link = links.filePath(linkName);
    QVERIFY(::symlink(QFile::encodeName(terminal.devicePath()).constData(),
                      PathName::encodePath(link).constData()) == 0);
    CommControl control;
    QVERIFY2(openPort(control, link), qPrintable(control.errorString()));
    const QDir lockDir(m_lockDir->path());
    const QStringList lockFiles = {
        lockDir.filePath("LCK.." + linkName),
        lockDir.filePath("LCK.." + QFileInfo(terminal.devicePath()).fileName())};
    for (const QString &lockFile : lockFiles)
        QCOMPARE(fileBytes(lockFile, "<missing>"), uucpText(::getpid()));
    QVERIFY(!flockIsFree(link));
    // Not on a pseudo-terminal: it would keep exclusive mode after a kill.
    QVERIFY(!exclusiveModeIsSet(link));
    CommControl second;
    QVERIFY(!openPort(second, link));
    QCOMPARE(second.errorString(),
             QString("Held by %1 (pid %2)")
                 .arg(QFileInfo("/proc/self/exe").symLinkTarget().section('/', -1).left(15))
                 .arg(::getpid()));

    QVERIFY(control.setPortOpen(false));
    QVERIFY(flockIsFree(link));
    QCOMPARE(lockDir.entryList(QDir::Files | QDir::Hidden), QStringList());
}

QTEST_GUILESS_MAIN(TestPortLocks)
#include "tst_portlocks.moc"
