#include "app/formfixture.h"
#include "faulthelpers.h"
#include "logview.h"
#include "support/pseudoterminal.h"

#include <QDir>
#include <QFileInfo>
#include <csignal>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Faults;

// Faults of log.txt, through the window: whatever the file does, the view keeps every captured
// byte, a failed save says why in a warning box and leaves the old file whole, and once the
// fault is gone the next save writes everything.
namespace {

enum class SaveFault { Directory, ReadOnly, FileSizeLimit, FullDisk };

QString cause(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

bool writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A 64 KiB file system over the directory, in a mount namespace of this process's own.
QString mountSmallDisk(const QString &directory)
{
    const QByteArray path = QFile::encodeName(directory);
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", path.constData(), "tmpfs", 0, "size=64k") != 0)
        return QStringLiteral("no private tmpfs here: ") + cause(errno);
    QDir::setCurrent(directory);
    return {};
}

void fillDisk()
{
    QFile filler(QStringLiteral("filler"));
    if (filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        while (filler.write(QByteArray(1024, 'f')) > 0) {
        }
}

} // namespace

class TestLogFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void failedSaveKeepsEverything_data();
    void failedSaveKeepsEverything();
    void symbolicLinkIsWrittenThrough();
    void danglingSymbolicLinkAtStartUp();

private:
    QByteArray capture(Form1 &form, const QByteArray &bytes);

    std::unique_ptr<PseudoTerminal> m_terminal;
    QByteArray m_mounted;
};

void TestLogFaults::init()
{
    m_terminal = std::make_unique<PseudoTerminal>();
    QVERIFY(m_terminal->isValid());
    qputenv("TAVREL_PORT1", m_terminal->devicePath().toLocal8Bit());
}

void TestLogFaults::cleanup()
{
    const rlimit noLimit{RLIM_INFINITY, RLIM_INFINITY};
    ::setrlimit(RLIMIT_FSIZE, &noLimit);
    ::signal(SIGXFSZ, SIG_DFL);
    if (!m_mounted.isEmpty()) {
        QDir::setCurrent(QDir::rootPath());
        ::umount2(m_mounted.constData(), MNT_DETACH);
        m_mounted.clear();
    }
    m_terminal.reset();
    qunsetenv("TAVREL_PORT1");
}

// Starts, receives the bytes, waits until they are shown and stops; gives the view's text.
QByteArray TestLogFaults::capture(Form1 &form, const QByteArray &bytes)
{
    const QByteArray expected = form.Text1->text() + hexOf(bytes, 28, form.ColumnCount);
    form.Command1_Click();
    if (!capturing(form) || !m_terminal->write(bytes) ||
        !QTest::qWaitFor([&] { return form.Text1->length() == expected.size(); }, 10000))
        return "<capture failed>";
    form.Command2_Click();
    return form.Text1->text() == expected ? expected : "<view differs>";
}

void TestLogFaults::failedSaveKeepsEverything_data()
{
    QTest::addColumn<SaveFault>("fault");
    QTest::addColumn<int>("expectedErrno");
    QTest::newRow("log.txt became a directory") << SaveFault::Directory << EISDIR;
    QTest::newRow("log.txt read-only") << SaveFault::ReadOnly << EACCES;
    QTest::newRow("file size limit") << SaveFault::FileSizeLimit << EFBIG;
    QTest::newRow("full file system") << SaveFault::FullDisk << ENOSPC;
}

void TestLogFaults::failedSaveKeepsEverything()
{
    QFETCH(SaveFault, fault);
    QFETCH(int, expectedErrno);
    FormFixture f;
    if (fault == SaveFault::FullDisk) {
        const QString skipped = mountSmallDisk(f.dir.path());
        if (!skipped.isEmpty())
            QSKIP(qPrintable(skipped));
        m_mounted = QFile::encodeName(f.dir.path());
    }
    const QByteArray old = QByteArray("41 42 \r\n").repeated(750);
    f.writeLogFile(old);
    Form1 &form = f.start();
    switch (fault) {
    case SaveFault::Directory:
        QVERIFY(QFile::remove("log.txt") && QDir().mkdir("log.txt"));
        break;
    case SaveFault::ReadOnly:
        QVERIFY(::chmod("log.txt", 0444) == 0);
        break;
    case SaveFault::FileSizeLimit: {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{8192, RLIM_INFINITY};
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &limit) == 0);
        break;
    }
    case SaveFault::FullDisk:
        fillDisk();
        break;
    }

    const QByteArray shown = capture(form, QByteArray(1000, '\x5A'));
    const QByteArray stillThere = fault == SaveFault::Directory ? QByteArray("<missing>") : old;
    QCOMPARE(f.logFile(), stillThere);
    QVERIFY(shown.startsWith(old));
    QVERIFY(idle(form));
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(f.boxes.first().style, int(MessageBox::Warning));
    QCOMPARE(f.boxes.first().title, QString("Tavrel"));
    QCOMPARE(f.boxes.first().text, "Could not save log.txt: " + cause(expectedErrno));
    QVERIFY(settlesQuietly());

    // Exit with the fault still there asks before anything is lost; the answer No stays.
    f.answer = MessageBox::No;
    form.Command4_Click();
    QVERIFY(form.isVisible());
    QCOMPARE(f.boxes.size(), 3);
    QCOMPARE(f.boxes.last().style, int(MessageBox::YesNoQuestion));
    QCOMPARE(form.Text1->text(), shown);

    switch (fault) {
    case SaveFault::Directory:
        QVERIFY(QDir().rmdir("log.txt"));
        break;
    case SaveFault::ReadOnly:
        QVERIFY(::chmod("log.txt", 0644) == 0);
        break;
    case SaveFault::FileSizeLimit: {
        const rlimit noLimit{RLIM_INFINITY, RLIM_INFINITY};
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &noLimit) == 0);
        break;
    }
    case SaveFault::FullDisk:
        QVERIFY(QFile::remove("filler"));
        break;
    }
    form.Command4_Click();
    QVERIFY(!form.isVisible());
    QCOMPARE(f.boxes.size(), 3);
    QVERIFY(f.logFile() == shown);
}

void TestLogFaults::symbolicLinkIsWrittenThrough()
{
    FormFixture f;
    f.writeLogFile("01 ");
    Form1 &form = f.start();
    // Replaced by a link while the program runs, as a rotation script might do.
    QVERIFY(QDir().mkdir("elsewhere") && writeFile("elsewhere/real.txt", "old"));
    QVERIFY(QFile::remove("log.txt") && QFile::link("elsewhere/real.txt", "log.txt"));
    const QByteArray shown = capture(form, "\x02");
    QCOMPARE(shown, QByteArray("01 2 "));
    QVERIFY(QFileInfo("log.txt").isSymLink());
    QCOMPARE(f.logFile(), shown);
    QVERIFY(f.boxes.isEmpty());
}

void TestLogFaults::danglingSymbolicLinkAtStartUp()
{
    FormFixture f;
    QVERIFY(QFile::link("gone/real.txt", f.path("log.txt")));
    Form1 &form = f.start();
    // Nothing to load, and the link's directory is missing so nothing can be created either.
    QCOMPARE(form.Text1->text(), QByteArray());
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(f.boxes.first().style, int(MessageBox::Warning));
    const QByteArray shown = capture(form, "\x03");
    QCOMPARE(shown, QByteArray("3 "));
    QCOMPARE(f.boxes.size(), 2);
    QVERIFY(QDir().mkdir("gone"));
    form.Command1_Click();
    form.Command2_Click();
    QCOMPARE(f.logFile(), shown);
    QVERIFY(QFileInfo("log.txt").isSymLink());
}

QTEST_MAIN(TestLogFaults)
#include "tst_logfaults.moc"
