#include "logfile/logstore.h"
#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <functional>
#include <grp.h>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using LogStore::LoadResult;

namespace {

constexpr uid_t kNobody = 65534;
const QString kLog = QStringLiteral("log.txt");

// Runs work in a forked child, so that dropped privileges and limits end with it.
QString inChild(const std::function<QString()> &work)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return QStringLiteral("no pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
        const QByteArray out = work().toUtf8();
        ::_exit(::write(fds[1], out.constData(), size_t(out.size())) == out.size() ? 0 : 1);
    }
    ::close(fds[1]);
    QFile pipe;
    pipe.open(fds[0], QIODevice::ReadOnly, QFile::AutoCloseHandle);
    const QString out = QString::fromUtf8(pipe.readAll());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? out : QStringLiteral("child failed");
}

bool dropToNobody()
{
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

enum class Fault { Directory, NoWriteBits, OtherOwner, FileSizeLimit, Unreadable };

// Sets the fault up around log.txt in the current directory; gives why it could not.
QString arrange(Fault fault)
{
    const bool root = ::geteuid() == 0;
    bool done = false;
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
        done = ::chown(".", kNobody, kNobody) == 0 && dropToNobody();
        break;
    case Fault::Unreadable:
        done = ::chmod("log.txt", 0) == 0 && ::chmod(".", 0755) == 0 && (!root || dropToNobody());
        break;
    case Fault::FileSizeLimit: {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{8192, 8192};
        done = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        break;
    }
    }
    return done ? QString() : QStringLiteral("cannot arrange the fault: ") + errorText(errno);
}

} // namespace

class TestLogStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir.emplace();
        QVERIFY(QDir::setCurrent(m_dir->path()));
    }
    void cleanup()
    {
        QDir::setCurrent(m_startDir);
        m_dir.reset();
    }
    void roundTrip();
    void missingFileIsNotCreated();
    void setAsideTakesTheFirstFreeName();
    void saveWritesThroughSymlink();
    void failureKeepsOldFile_data();
    void failureKeepsOldFile();
    void logOverFourGiBIsReadWhereItLiesAndTakesAppends();
    void appendThatDoesNotFitLeavesTheLogAsItWas();

private:
    std::optional<QTemporaryDir> m_dir;
    QString m_startDir = QDir::currentPath();
};

// Every byte value, lone CR and LF, megabytes in pieces; and nothing at all over an old file.
void TestLogStore::roundTrip()
{
    QByteArray megabytes(3 << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < megabytes.size(); ++i)
        megabytes[i] = char(i * 7);
    const QList<QByteArray> pieces{megabytes, {}, "A\rB\nC", QByteArray(1 << 20, 'x')};
    for (const QList<QByteArrayView> &views :
         {QList<QByteArrayView>(pieces.begin(), pieces.end()), QList<QByteArrayView>{}}) {
        const QByteArray expected = views.isEmpty() ? QByteArray() : pieces.join();
        QVERIFY(writeFileBytes(kLog, QByteArray(5000, 'o')));
        const LogStore::SaveResult saved = LogStore::save(kLog, views);
        QVERIFY2(saved.ok, qPrintable(saved.errorText));
        QVERIFY(fileBytes(kLog) == expected);
        const LoadResult loaded = LogStore::load(kLog);
        QCOMPARE(loaded.status, LoadResult::Status::Loaded);
        QVERIFY(loaded.text->mid(0, loaded.text->size()) == expected);
    }
}

void TestLogStore::missingFileIsNotCreated()
{
    const LoadResult loaded = LogStore::load(kLog);
    QCOMPARE(loaded.status, LoadResult::Status::Missing);
    QVERIFY(loaded.errorText.isEmpty());
    QVERIFY(!QFile::exists(kLog));
}

void TestLogStore::saveWritesThroughSymlink()
{
    const QString target = QStringLiteral("elsewhere/real.txt");
    QVERIFY(QDir().mkdir(QStringLiteral("elsewhere")) && writeFileBytes(target, "old"));
    QVERIFY(::chmod("elsewhere/real.txt", 0640) == 0 && QFile::link(target, kLog));
    QVERIFY(LogStore::save(kLog, QList<QByteArrayView>{"41 42 \r\n"}).ok);
    QVERIFY(QFileInfo(kLog).isSymLink());
    QCOMPARE(fileBytes(target), QByteArray("41 42 \r\n"));
    const LoadResult loaded = LogStore::load(kLog);
    QCOMPARE(loaded.text->mid(0, 100), QByteArray("41 42 \r\n"));
    struct stat info = {};
    QVERIFY(::stat("elsewhere/real.txt", &info) == 0 && (info.st_mode & 0777) == 0640);
}

void TestLogStore::failureKeepsOldFile_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("expectedErrno");
    QTest::newRow("save over a directory") << true << Fault::Directory << EISDIR;
    QTest::newRow("save, no write permission bits") << true << Fault::NoWriteBits << EACCES;
    QTest::newRow("save another user's file") << true << Fault::OtherOwner << EACCES;
    QTest::newRow("save past the file size limit") << true << Fault::FileSizeLimit << EFBIG;
    QTest::newRow("load a directory") << false << Fault::Directory << EISDIR;
    QTest::newRow("load unreadable") << false << Fault::Unreadable << EACCES;
}

void TestLogStore::failureKeepsOldFile()
{
    QFETCH(bool, save);
    QFETCH(Fault, fault);
    QFETCH(int, expectedErrno);
    const QByteArray old(6000, 'o');
    QVERIFY(writeFileBytes(kLog, old));
    const QString report = inChild([&]() -> QString {
        if (const QString skip = arrange(fault); !skip.isEmpty())
            return QStringLiteral("skip ") + skip;
        if (save) { // the pieces pass the size limit in the middle of one
            const QByteArray threes(9000, '3');
            const QList<QByteArrayView> pieces{"41 42 \r\n", threes, "43 "};
            const LogStore::SaveResult saved = LogStore::save(kLog, pieces);
            return saved.ok ? QStringLiteral("saved") : saved.errorText;
        }
        const LoadResult loaded = LogStore::load(kLog);
        const bool failed = loaded.status == LoadResult::Status::Failed && !loaded.text;
        return failed ? loaded.errorText : QStringLiteral("loaded");
    });
    if (report.startsWith(u"skip "))
        QSKIP(qPrintable(report));
    const QString expected =
        (save ? "Could not save log.txt: " : "Could not load log.txt: ") + errorText(expectedErrno);
    QVERIFY2(report.startsWith(expected), qPrintable(report));
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{kLog});
    if (fault != Fault::Directory)
        QVERIFY(fileBytes(kLog) == old);
}

// Sparse: only the first and last bytes are real, the rest reads as zero bytes.
void TestLogStore::logOverFourGiBIsReadWhereItLiesAndTakesAppends()
{
    const qint64 size = (qint64(5) << 30) + 7;
    {
        QFile file(kLog);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("41 ") == 3);
        QVERIFY(file.resize(size - 6) && file.seek(size - 6) && file.write("\r\nFF \r") == 6);
    }
    LoadResult loaded = LogStore::load(kLog);
    QCOMPARE(loaded.status, LoadResult::Status::Loaded);
    DiskLogText &text = *loaded.text;
    QCOMPARE(text.size(), size);
    QCOMPARE(text.mid(0, 4), QByteArray("41 \0", 4));
    QCOMPARE(text.mid(size - 7, 100), QByteArray("\0\r\nFF \r", 7));
    text.append("\n42 ");
    const LogStore::SaveResult appended = LogStore::appendTo(kLog, loaded.identity, text, size);
    QVERIFY2(appended.ok, qPrintable(appended.errorText));
    QCOMPARE(QFileInfo(kLog).size(), size + 4);
    const std::optional<FileIdentity> saved = LogStore::rebase(text, kLog);
    QVERIFY(saved && saved->size == size + 4);
    QCOMPARE(text.tailLength(), 0);
    QCOMPARE(text.mid(size - 2, 100), QByteArray(" \r\n42 "));
}

// The file size limit stands in for a full disk: the append fails halfway through.
void TestLogStore::appendThatDoesNotFitLeavesTheLogAsItWas()
{
    const QByteArray old(6000, 'o');
    QVERIFY(writeFileBytes(kLog, old));
    const QString report = inChild([&]() -> QString {
        LoadResult loaded = LogStore::load(kLog);
        loaded.text->append(QByteArray(9000, '3'));
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{8192, 8192};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return QStringLiteral("skip cannot set the file size limit");
        const LogStore::SaveResult appended =
            LogStore::appendTo(kLog, loaded.identity, *loaded.text, old.size());
        return appended.ok ? QStringLiteral("appended") : appended.errorText;
    });
    if (report.startsWith(u"skip "))
        QSKIP(qPrintable(report));
    QVERIFY2(report.startsWith("Could not save log.txt: " + errorText(EFBIG)), qPrintable(report));
    QVERIFY(fileBytes(kLog) == old);
}

void TestLogStore::setAsideTakesTheFirstFreeName()
{
    QVERIFY(writeFileBytes("log.txt.bak", "older"));
    QVERIFY(writeFileBytes("log.txt", "old"));
    const LogStore::SetAsideResult moved = LogStore::setAside("log.txt");
    QVERIFY2(moved.ok, qPrintable(moved.errorText));
    QCOMPARE(moved.newName, QString("log.txt.bak.2"));
    QCOMPARE(fileBytes("log.txt.bak.2"), QByteArray("old"));
    QCOMPARE(fileBytes("log.txt.bak"), QByteArray("older"));
    QVERIFY(!QFile::exists("log.txt"));
    QVERIFY(!LogStore::setAside("log.txt").ok);
}

QTEST_GUILESS_MAIN(TestLogStore)
#include "tst_logstore.moc"
