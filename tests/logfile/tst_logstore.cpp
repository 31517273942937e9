#include "logfile/disklogtext.h"
#include "logfile/logstore.h"
#include "logfile/logtext.h"
#include "support/faultshim.h"
#include "support/files.h"
#include "support/inchild.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using LogStore::LoadResult;

namespace {

const QString kLog = QStringLiteral("log.txt");

enum class Fault {
    Directory,
    NoWriteBits,
    OtherOwner,
    Unreadable,
    FileSizeLimit,
    FlushFails,
    RenameFails,
    Fifo,
    LinkToFifo,
    CharacterDevice,
};

// Sets up the files of the fault around log.txt in the current directory; gives why it could not.
QString arrangeFiles(Fault fault)
{
    const bool root = ::geteuid() == 0;
    bool done = true;
    switch (fault) {
    case Fault::Directory:
        done = QFile::remove(kLog) && QDir().mkdir(kLog);
        break;
    case Fault::NoWriteBits:
        done = ::chmod("log.txt", 0444) == 0;
        break;
    case Fault::OtherOwner: // the directory is nobody's: only log.txt's own mode stops the save
        if (!root)
            return QStringLiteral("needs root to own a file that this user cannot write");
        done = ::chown(".", 65534, 65534) == 0; // nobody
        break;
    case Fault::Unreadable:
        done = ::chmod("log.txt", 0) == 0 && ::chmod(".", 0755) == 0;
        break;
    case Fault::Fifo:
        done = QFile::remove(kLog) && ::mkfifo("log.txt", 0666) == 0;
        break;
    case Fault::LinkToFifo:
        done = ::mkfifo("elsewhere", 0666) == 0 && QFile::remove(kLog) &&
               QFile::link("elsewhere", kLog);
        break;
    case Fault::CharacterDevice:
        if (!QFile::remove(kLog) || ::mknod("log.txt", S_IFCHR | 0666, makedev(1, 3)) != 0)
            return QStringLiteral("making a device node needs root");
        break;
    default:
        break;
    }
    return done ? QString() : QStringLiteral("cannot arrange the fault: ") + errorText(errno);
}

// The part of the fault that belongs to the process, set in the child that saves.
bool arrangeProcess(Fault fault)
{
    const bool root = ::geteuid() == 0;
    switch (fault) {
    case Fault::OtherOwner:
        return dropToNobody();
    case Fault::Unreadable: // root reads anything
        return !root || dropToNobody();
    case Fault::FileSizeLimit: {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{8192, 8192};
        return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    case Fault::FlushFails:
        FaultShim::flushFails = true;
        return true;
    case Fault::RenameFails:
        FaultShim::renameFails = true;
        return true;
    default:
        return true;
    }
}

// What a failed save must leave as it was: the folder's names, what log.txt is and what it leads
// to, and a regular file's bytes.
QByteArray folderState()
{
    struct stat own = {};
    struct stat target = {};
    ::lstat("log.txt", &own);
    const bool regular = ::stat("log.txt", &target) == 0 && S_ISREG(target.st_mode);
    const QDir::Filters all = QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot;
    return QDir().entryList(all).join(',').toUtf8() + QByteArray::number(own.st_mode & S_IFMT) +
           ' ' + QByteArray::number(target.st_mode & S_IFMT) + ' ' +
           (regular ? fileBytes(kLog) : QByteArray());
}

} // namespace

Q_DECLARE_METATYPE(Fault)

// Loading and saving log.txt on real files, and every way a save can fail.
class TestLogStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir.emplace();
        QVERIFY(QDir::setCurrent(m_dir->path()));
        FaultShim::flushFails = false;
    }
    void cleanup()
    {
        QDir::setCurrent(m_startDir);
        m_dir.reset();
    }
    void saveWritesThroughSymlink();
    void failureKeepsTheLog_data();
    void failureKeepsTheLog();

private:
    std::optional<QTemporaryDir> m_dir;
    QString m_startDir = QDir::currentPath();
};

void TestLogStore::saveWritesThroughSymlink()
{
    const QString target = QStringLiteral("elsewhere/real.txt");
    QVERIFY(QDir().mkdir(QStringLiteral("elsewhere")) && writeFileBytes(target, "old"));
    QVERIFY(::chmod("elsewhere/real.txt", 0640) == 0 && QFile::link(target, kLog));
    QVERIFY(LogStore::save(kLog, MemoryLogText("41 42 \r\n")).ok);
    QVERIFY(QFileInfo(kLog).isSymLink());
    QCOMPARE(fileBytes(target), QByteArray("41 42 \r\n"));
    const LoadResult loaded = LogStore::load(kLog);
    QCOMPARE(DiskLogText(loaded.file.fd(), loaded.identity.size, -1, 0).mid(0, 100),
             QByteArray("41 42 \r\n"));
    struct stat info = {};
    QVERIFY(::stat("elsewhere/real.txt", &info) == 0 && (info.st_mode & 0777) == 0640);
}

void TestLogStore::failureKeepsTheLog_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("cause");
    const auto saveRow = [](const char *name, Fault fault, const QString &cause) {
        QTest::newRow(name) << true << fault << cause;
    };
    saveRow("save over a directory", Fault::Directory, errorText(EISDIR));
    saveRow("save, no write permission bits", Fault::NoWriteBits, errorText(EACCES));
    saveRow("save another user's file", Fault::OtherOwner, errorText(EACCES));
    saveRow("save past the file size limit", Fault::FileSizeLimit, errorText(EFBIG));
    saveRow("save, the flush fails", Fault::FlushFails, errorText(EIO));
    saveRow("save, the new file cannot be put in place", Fault::RenameFails, {});
    saveRow("save over a FIFO", Fault::Fifo, "it is a FIFO, not a regular file");
    saveRow("save through a link to a FIFO", Fault::LinkToFifo, "it is a FIFO, not a regular file");
    saveRow("save over a device", Fault::CharacterDevice,
            "it is a character device, not a regular file");
    QTest::newRow("load a directory") << false << Fault::Directory << errorText(EISDIR);
    QTest::newRow("load unreadable") << false << Fault::Unreadable << errorText(EACCES);
}

// A failed load or save says why and leaves the log, whatever it is, as it was.
void TestLogStore::failureKeepsTheLog()
{
    QFETCH(bool, save);
    QFETCH(Fault, fault);
    QFETCH(QString, cause);
    QVERIFY(writeFileBytes(kLog, QByteArray(6000, 'o')));
    const QByteArray threes(9000, '3');
    if (const QString skip = arrangeFiles(fault); !skip.isEmpty())
        QSKIP(qPrintable(skip));
    const QByteArray before = folderState();
    const QString report = inChild([&]() -> QString {
        if (!arrangeProcess(fault))
            return QStringLiteral("cannot arrange the fault: ") + errorText(errno);
        if (save) { // past the size limit in the middle of a write
            const LogStore::SaveResult saved = LogStore::save(kLog, MemoryLogText(threes));
            return saved.ok ? QStringLiteral("saved") : saved.errorText;
        }
        const LoadResult loaded = LogStore::load(kLog);
        const bool failed = loaded.status == LoadResult::Status::Failed && loaded.file.fd() < 0;
        return failed ? loaded.errorText : QStringLiteral("loaded");
    });
    const QString expected =
        (save ? "Could not save log.txt: " : "Could not load log.txt: ") + cause;
    QVERIFY2(report.startsWith(expected), qPrintable(report));
    QCOMPARE(folderState(), before);
}

QTEST_GUILESS_MAIN(TestLogStore)
#include "tst_logstore.moc"
