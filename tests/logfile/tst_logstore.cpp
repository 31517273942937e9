#include "logstore.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <functional>
#include <grp.h>
#include <memory>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using LogStore::LoadResult;

namespace {

constexpr uid_t kNobody = 65534;
const QString kLog = QStringLiteral("log.txt");

QByteArray readAll(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString cause(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

QList<QByteArrayView> views(const QList<QByteArray> &pieces)
{
    return {pieces.cbegin(), pieces.cend()};
}

bool dropToNobody()
{
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

// Runs work in a forked child, so that dropped privileges, limits and mounts end with it.
QByteArray inChild(const std::function<QByteArray()> &work)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const QByteArray out = work();
        for (qsizetype done = 0; done < out.size();) {
            const ssize_t n = ::write(fds[1], out.constData() + done, size_t(out.size() - done));
            if (n <= 0)
                ::_exit(1);
            done += n;
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray out;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0)
            out.append(buffer, n);
        else if (errno != EINTR)
            break;
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? out : QByteArray();
}

enum class Fault {
    Directory,
    NoWriteBits,
    OtherOwner,
    FileSizeLimit,
    FullDisk,
    Unreadable,
    TooLarge
};

// Sets the fault up in the current directory, which holds the old log.txt; empty when it is set.
QString arrange(Fault fault)
{
    const bool root = ::geteuid() == 0;
    switch (fault) {
    case Fault::Directory:
        return QFile::remove(kLog) && QDir().mkdir(kLog) ? QString() : QStringLiteral("mkdir");
    case Fault::NoWriteBits:
        return ::chmod("log.txt", 0444) == 0 ? QString() : cause(errno);
    case Fault::OtherOwner:
        // The directory is nobody's, so only the check on log.txt itself stops the rename.
        if (!root)
            return QStringLiteral("needs root to own a file that this user cannot write");
        return ::chown(".", kNobody, kNobody) == 0 && dropToNobody() ? QString() : cause(errno);
    case Fault::Unreadable:
        if (::chmod("log.txt", 0) != 0 || ::chmod(".", 0755) != 0)
            return cause(errno);
        return !root || dropToNobody() ? QString() : cause(errno);
    case Fault::FileSizeLimit: {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{8192, 8192};
        return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 ? QString() : cause(errno);
    }
    case Fault::FullDisk: {
        QFile filler(QStringLiteral("filler"));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return filler.errorString();
        while (filler.write(QByteArray(4096, 'f')) > 0) {
        }
        return {};
    }
    case Fault::TooLarge:
        return QFile::resize(kLog, LogStore::kMaxLogBytes + 1) ? QString()
                                                               : QStringLiteral("resize");
    }
    return {};
}

bool writeProcFile(const char *name, const QByteArray &text)
{
    QFile file(QString::fromLatin1(name));
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.flush();
}

// A normal user may still mount inside a user namespace of its own, mapped to itself.
bool unshareMounts()
{
    if (::unshare(CLONE_NEWNS) == 0)
        return true;
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    return ::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0 &&
           writeProcFile("/proc/self/setgroups", "deny") &&
           writeProcFile("/proc/self/uid_map",
                         QByteArray::number(uid) + ' ' + QByteArray::number(uid) + " 1") &&
           writeProcFile("/proc/self/gid_map",
                         QByteArray::number(gid) + ' ' + QByteArray::number(gid) + " 1");
}

// A private 64 KiB file system over the current directory, gone when the child ends.
QString mountSmallDisk()
{
    const QByteArray here = QFile::encodeName(QDir::currentPath());
    if (!unshareMounts() || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", here.constData(), "tmpfs", 0, "size=64k") != 0 || ::chdir(here) != 0)
        return QStringLiteral("no private tmpfs here: ") + cause(errno);
    return {};
}

} // namespace

class TestLogStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void roundTrip_data();
    void roundTrip();
    void missingFileIsNotCreated();
    void saveWritesThroughSymlink();
    void saveFailureKeepsOldFile_data();
    void saveFailureKeepsOldFile();
    void loadFailure_data();
    void loadFailure();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_startDir = QDir::currentPath();
};

void TestLogStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void TestLogStore::cleanup()
{
    QDir::setCurrent(m_startDir);
    m_dir.reset();
}

void TestLogStore::roundTrip_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QByteArray everyByte;
    for (int value = 0; value < 256; ++value)
        everyByte.append(char(value));
    QByteArray megabytes(3 << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < megabytes.size(); ++i)
        megabytes[i] = char(i * 7 % 251);

    QTest::newRow("empty") << QList<QByteArray>{QByteArray()};
    QTest::newRow("two lines of hex") << QList<QByteArray>{"41 0D 0A \r\n", "30 31 \r\n"};
    QTest::newRow("every byte, lone CR and LF") << QList<QByteArray>{everyByte, "A\rB\nC"};
    QTest::newRow("megabytes in pieces")
        << QList<QByteArray>{megabytes, QByteArray(), QByteArray(1 << 20, 'x'), "7F "};
}

void TestLogStore::roundTrip()
{
    QFETCH(QList<QByteArray>, pieces);
    const QByteArray expected = pieces.join();
    QVERIFY(writeFile(kLog, QByteArray(5000, 'o')));

    const LogStore::SaveResult saved = LogStore::save(kLog, views(pieces));
    QVERIFY2(saved.ok, qPrintable(saved.errorText));
    QVERIFY(readAll(kLog) == expected);

    const LoadResult loaded = LogStore::load(kLog);
    QCOMPARE(loaded.status, LoadResult::Status::Loaded);
    QVERIFY(loaded.bytes == expected);

    QVERIFY(LogStore::save(kLog, QByteArrayView(loaded.bytes)).ok);
    QVERIFY(readAll(kLog) == expected);
}

void TestLogStore::missingFileIsNotCreated()
{
    const LoadResult loaded = LogStore::load(kLog);
    QCOMPARE(loaded.status, LoadResult::Status::Missing);
    QVERIFY(loaded.errorText.isEmpty());
    QVERIFY(!QFileInfo::exists(kLog));
}

void TestLogStore::saveWritesThroughSymlink()
{
    const QString target = QStringLiteral("elsewhere/real.txt");
    QVERIFY(QDir().mkdir(QStringLiteral("elsewhere")));
    QVERIFY(writeFile(target, "old"));
    QVERIFY(::chmod("elsewhere/real.txt", 0640) == 0);
    QVERIFY(QFile::link(target, kLog));

    QVERIFY(LogStore::save(kLog, QByteArrayView("41 42 \r\n")).ok);
    QVERIFY(QFileInfo(kLog).isSymLink());
    QCOMPARE(readAll(target), QByteArray("41 42 \r\n"));
    struct stat info = {};
    QVERIFY(::stat("elsewhere/real.txt", &info) == 0);
    QCOMPARE(info.st_mode & 0777, 0640u);
    QCOMPARE(LogStore::load(kLog).bytes, QByteArray("41 42 \r\n"));
}

void TestLogStore::saveFailureKeepsOldFile_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<int>("expectedErrno");
    const QList<QByteArray> small{"41 42 \r\n", QByteArray(9000, '3'), "43 "};
    const QList<QByteArray> large{QByteArray(40000, '4')};

    QTest::newRow("log.txt is a directory") << Fault::Directory << small << EISDIR;
    QTest::newRow("no write permission bits") << Fault::NoWriteBits << small << EACCES;
    QTest::newRow("another user's file") << Fault::OtherOwner << small << EACCES;
    QTest::newRow("file size limit, buffered") << Fault::FileSizeLimit << small << EFBIG;
    QTest::newRow("file size limit, one large piece") << Fault::FileSizeLimit << large << EFBIG;
    QTest::newRow("full disk, buffered") << Fault::FullDisk << small << ENOSPC;
    QTest::newRow("full disk, one large piece") << Fault::FullDisk << large << ENOSPC;
}

void TestLogStore::saveFailureKeepsOldFile()
{
    QFETCH(Fault, fault);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(int, expectedErrno);
    const QByteArray old(6000, 'o');

    const QByteArray report = inChild([&] {
        QByteArray out;
        QDataStream stream(&out, QIODevice::WriteOnly);
        QString skipped = fault == Fault::FullDisk ? mountSmallDisk() : QString();
        if (skipped.isEmpty() && !writeFile(kLog, old))
            skipped = QStringLiteral("could not write the old file");
        if (skipped.isEmpty())
            skipped = arrange(fault);
        if (!skipped.isEmpty()) {
            stream << skipped;
            return out;
        }
        const LogStore::SaveResult saved = LogStore::save(kLog, views(pieces));
        stream << QString() << saved.ok << saved.errorText << readAll(kLog)
               << QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        return out;
    });
    QVERIFY2(!report.isEmpty(), "the child process failed");
    QDataStream stream(report);
    QString skipped;
    bool ok = true;
    QString errorText;
    QByteArray after;
    QStringList entries;
    stream >> skipped >> ok >> errorText >> after >> entries;
    if (!skipped.isEmpty())
        QSKIP(qPrintable(skipped));

    QVERIFY(!ok);
    QCOMPARE(errorText, QStringLiteral("Could not save log.txt: ") + cause(expectedErrno));
    QCOMPARE(after, fault == Fault::Directory ? QByteArray() : old);
    entries.removeOne(QStringLiteral("filler"));
    QCOMPARE(entries, QStringList{kLog});
}

void TestLogStore::loadFailure_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("expectedErrno");

    QTest::newRow("log.txt is a directory") << Fault::Directory << EISDIR;
    QTest::newRow("unreadable") << Fault::Unreadable << EACCES;
    QTest::newRow("larger than the limit") << Fault::TooLarge << EFBIG;
}

void TestLogStore::loadFailure()
{
    QFETCH(Fault, fault);
    QFETCH(int, expectedErrno);
    QVERIFY(writeFile(kLog, "41 42 "));

    const QByteArray report = inChild([&] {
        QByteArray out;
        QDataStream stream(&out, QIODevice::WriteOnly);
        const QString skipped = arrange(fault);
        if (!skipped.isEmpty()) {
            stream << skipped;
            return out;
        }
        const LoadResult loaded = LogStore::load(kLog);
        stream << QString() << int(loaded.status) << loaded.errorText << loaded.bytes;
        return out;
    });
    QVERIFY2(!report.isEmpty(), "the child process failed");
    QDataStream stream(report);
    QString skipped;
    int status = 0;
    QString errorText;
    QByteArray bytes;
    stream >> skipped >> status >> errorText >> bytes;
    if (!skipped.isEmpty())
        QSKIP(qPrintable(skipped));

    QCOMPARE(LoadResult::Status(status), LoadResult::Status::Failed);
    QVERIFY2(
        errorText.startsWith(QStringLiteral("Could not load log.txt: ") + cause(expectedErrno)),
        qPrintable(errorText));
    QVERIFY(bytes.isEmpty());
    if (fault == Fault::TooLarge)
        QCOMPARE(QFileInfo(kLog).size(), LogStore::kMaxLogBytes + 1);
}

QTEST_GUILESS_MAIN(TestLogStore)
#include "tst_logstore.moc"
