#include "logview.h"
#include "support/capturestate.h"
#include "support/formfixture.h"
#include "support/hexreference.h"
#include "support/pseudoterminal.h"

#include <QFileInfo>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>

// Faults of log.txt that only the whole window shows: a full file system, and a link to a
// directory that is not there yet.
class TestLogFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void fullFileSystem();
    void danglingSymbolicLinkAtStartUp();

private:
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
    if (!m_mounted.isEmpty()) {
        QDir::setCurrent(QDir::rootPath());
        ::umount2(m_mounted.constData(), MNT_DETACH);
        QDir().rmdir(QFile::decodeName(m_mounted));
        m_mounted.clear();
    }
}

void TestLogFaults::fullFileSystem()
{
    FormFixture f;
    // A 64 KiB file system over the directory, in a mount namespace of this process's own.
    m_mounted = QFile::encodeName(f.dir.path());
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", m_mounted.constData(), "tmpfs", 0, "size=64k") != 0) {
        m_mounted.clear();
        QSKIP(qPrintable(QStringLiteral("no private tmpfs: ") + std::strerror(errno)));
    }
    QDir::setCurrent(f.dir.path());
    const QByteArray old = QByteArray("41 42 \r\n").repeated(750);
    f.writeLogFile(old);
    Form1 &form = f.start();
    QFile filler(QStringLiteral("filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(1024, 'f')) > 0) {
    }

    const QByteArray shown = old + hexOf(QByteArray(1000, '\x5A'), 28, form.ColumnCount);
    QCOMPARE(captureOnce(form, *m_terminal, QByteArray(1000, '\x5A')), shown);
    QCOMPARE(f.logFile(), old);
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(f.boxes.first().style, int(MessageBox::Warning));
    QCOMPARE(f.boxes.first().text,
             "Could not save log.txt: " + QString::fromLocal8Bit(std::strerror(ENOSPC)));
    QVERIFY(settlesQuietly());
    // With space again, the next save writes everything the view holds.
    QVERIFY(filler.remove());
    QCOMPARE(captureOnce(form, *m_terminal, "\x01"), shown + "1 ");
    QCOMPARE(f.logFile(), shown + "1 ");
    QCOMPARE(f.boxes.size(), 1);
}

void TestLogFaults::danglingSymbolicLinkAtStartUp()
{
    FormFixture f;
    QVERIFY(QFile::link("gone/real.txt", f.path("log.txt")));
    Form1 &form = f.start();
    // Nothing to load, and nothing can be created while the link's directory is missing.
    QCOMPARE(f.view()->text(), QByteArray());
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(captureOnce(form, *m_terminal, "\x03"), QByteArray("3 "));
    QCOMPARE(f.boxes.size(), 2);
    QCOMPARE(f.boxes.last().style, int(MessageBox::Warning));
    QVERIFY(QDir().mkdir("gone"));
    QCOMPARE(captureOnce(form, *m_terminal, "\x04"), QByteArray("3 4 "));
    QVERIFY(QFileInfo("log.txt").isSymLink());
    QCOMPARE(f.logFile(), QByteArray("3 4 "));
}

QTEST_MAIN(TestLogFaults)
#include "tst_logfaults.moc"
