#include "app/logview/logview.h"
#include "support/capturestate.h"
#include "support/formfixture.h"
#include "support/hexreference.h"
#include "support/portholder.h"
#include "support/pseudoterminal.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

const QByteArray kNotice = notAvailableNotice(1);

} // namespace

// The device goes away, comes back, is held by another program, may not be opened by this user,
// or no descriptor is left: nothing captured is lost, and the user is told what is wrong.
class TestPortFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void portBoxNamesTheDevice();
    void unplugDuringBurstWaitsAndFollows();
    void unplugWhileAboutBoxIsOpen();
    void deviceComesBackHeld();
    void stopEndsTheWait();
    void permissionDeniedOnTheDevice_data();
    void permissionDeniedOnTheDevice();
    void outOfFileDescriptorsAtStart();

private:
    // Hangs up the device behind the link, as a board reset does, and waits for the loss.
    void unplug(Form1 &form);
    void plugBackIn(PseudoTerminal &terminal);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<PseudoTerminal> m_terminal;
    QString m_link;
};

void TestPortFaults::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_terminal = std::make_unique<PseudoTerminal>();
    QVERIFY(m_terminal->isValid());
    m_link = m_dir->filePath("ttyBoard");
    QVERIFY(QFile::link(m_terminal->devicePath(), m_link));
    qputenv("TAVREL_PORT1", m_link.toLocal8Bit());
    QVERIFY(QDir(m_dir->path()).mkdir("lock"));
    qputenv("TAVREL_LOCK_DIR", m_dir->filePath("lock").toLocal8Bit());
}

void TestPortFaults::unplug(Form1 &form)
{
    QSignalSpy lost(&form.MSComm1, &CommControl::deviceLost);
    m_terminal->hangUp();
    QVERIFY(lost.wait(5000));
    QVERIFY(form.MSComm1.isWaiting());
    QVERIFY(QFile::remove(m_link));
}

void TestPortFaults::plugBackIn(PseudoTerminal &terminal)
{
    QVERIFY(QFile::link(terminal.devicePath(), m_link));
}

void TestPortFaults::portBoxNamesTheDevice()
{
    FormFixture f;
    Form1 &form = f.start();
    QCOMPARE(f.box("Combo1")->toolTip(), "Port 1 opens " + m_link);
    qputenv("TAVREL_PORT2", "/dev/ttyUSB7");
    f.box("Combo1")->setEditText("2");
    QCOMPARE(f.box("Combo1")->toolTip(), QString("Port 2 opens /dev/ttyUSB7"));
    qunsetenv("TAVREL_PORT2");
    f.box("Combo1")->setEditText("1");
    QVERIFY(QFile::remove(m_link));
    form.Command1_Click();
    QVERIFY2(f.box("Combo1")->toolTip().startsWith("Port 1 opens " + m_link + "\n" + m_link +
                                                   ": No such device; present: "),
             qPrintable(f.box("Combo1")->toolTip()));
    // Once the port opens, the cause goes.
    plugBackIn(*m_terminal);
    form.Command1_Click();
    QVERIFY(capturing(form));
    QCOMPARE(f.box("Combo1")->toolTip(), "Port 1 opens " + m_link);
}

void TestPortFaults::unplugDuringBurstWaitsAndFollows()
{
    FormFixture f;
    f.writeLogFile("7E \r\n");
    Form1 &form = f.start();
    const QString title = form.windowTitle();
    f.box("Combo5")->setEditText("19200");
    f.box("Combo4")->setEditText("2");
    form.Command1_Click();
    QByteArray burst(256 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < burst.size(); ++i)
        burst[i] = char(i % 251);
    QVERIFY(m_terminal->write(burst));
    unplug(form); // with bytes still on their way
    QVERIFY(showsCapture(form));
    QCOMPARE(form.windowTitle(), title + " - waiting for " + m_link);
    QVERIFY(f.button("Command2")->toolTip().contains("waiting for " + m_link));
    const QByteArray shown = f.view()->text();
    const qsizetype received = shown.count(' ') - 1;
    QVERIFY(received > 0);
    QCOMPARE(shown, "7E \r\n" + hexOf(burst.first(received)));
    QCOMPARE(f.logFile(), shown);
    QVERIFY(f.boxes.isEmpty());
    const double cpuBefore = cpuSeconds();
    QTest::qWait(2000);
    // A hung-up port reported in a loop takes the whole core; a loaded machine costs a little.
    const double used = cpuSeconds() - cpuBefore;
    QVERIFY2(used < 0.4, qPrintable(QString("waiting took %1 s of processor in 2 s").arg(used)));

    // The board is back under the same name: the capture goes on with the same settings.
    PseudoTerminal again;
    // Its boot banner is sent before Tavrel has opened it again: it is the capture's too.
    QVERIFY(again.write("\x0B\x0C"));
    QSignalSpy back(&form.MSComm1, &CommControl::deviceBack);
    plugBackIn(again);
    QVERIFY(back.wait(1500));
    QVERIFY(capturing(form));
    QCOMPARE(again.deviceBaudRate(), qint64(19200));
    QVERIFY(again.deviceControlFlags() & CSTOPB);
    QCOMPARE(form.windowTitle(), title);
    QCOMPARE(f.button("Command2")->toolTip(), QString("Click to stop logging"));
    QVERIFY(again.write("\x01\x02\x03"));
    const QByteArray after = shown + hexOf("\x0B\x0C\x01\x02\x03", 28, received % 28 + 1);
    QTRY_COMPARE(f.view()->text(), after);
    form.Command2_Click();
    QVERIFY(idle(form));
    QCOMPARE(f.logFile(), after);
}

// The About box is shown over a running capture, and the device goes while it is open.
void TestPortFaults::unplugWhileAboutBoxIsOpen()
{
    FormFixture f;
    Form1 &form = f.start();
    bool waitingInBox = false;
    MessageBox::setResponder([&](const MessageBox::Shown &shown) {
        f.boxes.append(shown);
        QSignalSpy lost(&form.MSComm1, &CommControl::deviceLost);
        m_terminal->hangUp();
        waitingInBox = lost.wait(5000) && form.MSComm1.isWaiting();
        return int(MessageBox::Ok);
    });
    form.Command1_Click();
    QVERIFY(m_terminal->write("\x10\x20"));
    QTRY_COMPARE(f.view()->text(), QByteArray("10 20 "));
    form.mnuHelpAbout->trigger();
    QVERIFY(waitingInBox);
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(f.boxes[0].style, int(MessageBox::Information));
    QCOMPARE(f.boxes[0].title, QString("Tavrel"));
    const QStringList lines = f.boxes[0].text.split("\r\n");
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].endsWith(','));
    QVERIFY(lines[1].contains(QRegularExpression("\\b20\\d\\d\\b")));
    QCOMPARE(f.logFile(), QByteArray("10 20 "));
    QVERIFY(showsCapture(form));
    form.Command4_Click();
    QVERIFY(!form.MSComm1.isWaiting());
    QCOMPARE(f.logFile(), QByteArray("10 20 "));
}

// Grabbed by another program as it came back: the wait goes on and says why.
void TestPortFaults::deviceComesBackHeld()
{
    FormFixture f;
    Form1 &form = f.start();
    form.Command1_Click();
    unplug(form);
    PseudoTerminal again;
    PortHolderProcess holder(PortHolderProcess::Flock, again.devicePath());
    QVERIFY(holder.isReady());
    plugBackIn(again);
    const QString held = QString("Held by porthold (pid %1)").arg(holder.pid());
    QTRY_VERIFY_WITH_TIMEOUT(form.windowTitle().endsWith("waiting for " + m_link + ": " + held),
                             1500);
    QVERIFY(f.button("Command2")->toolTip().contains(held));
    QVERIFY(showsCapture(form) && !form.MSComm1.portOpen());
    QSignalSpy back(&form.MSComm1, &CommControl::deviceBack);
    holder.end();
    QVERIFY(back.wait(1500));
    QVERIFY(capturing(form));
    QVERIFY(!form.windowTitle().contains("waiting"));
}

void TestPortFaults::stopEndsTheWait()
{
    FormFixture f;
    Form1 &form = f.start();
    const QString title = form.windowTitle();
    form.Command1_Click();
    unplug(form);
    form.Command2_Click();
    QVERIFY(idle(form));
    QCOMPARE(form.windowTitle(), title);
    PseudoTerminal again;
    plugBackIn(again);
    QTest::qWait(3 * CommControl::kWaitCheckMs);
    QVERIFY(idle(form));
}

void TestPortFaults::permissionDeniedOnTheDevice_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("cause");
    QTest::newRow("group may read")
        << 0060 << "Permission denied: add yourself to the group dialout and log in again";
    QTest::newRow("owner only")
        << 0600 << "Permission denied: only its owner may open it; ask the administrator";
}

void TestPortFaults::permissionDeniedOnTheDevice()
{
    QFETCH(int, mode);
    QFETCH(QString, cause);
    FormFixture f;
    Form1 &form = f.start();
    const QByteArray device = m_terminal->devicePath().toLocal8Bit();
    const group *dialout = ::getgrnam("dialout");
    if (!dialout)
        QSKIP("no group dialout on this system");
    QVERIFY(::chown(device.constData(), 0, dialout->gr_gid) == 0);
    QVERIFY(::chmod(device.constData(), mode_t(mode)) == 0);
    // Root opens anything: Start runs as a user outside the device's groups who may still save.
    const bool root = ::geteuid() == 0;
    if (root) {
        QVERIFY(::chmod(QFile::encodeName(f.dir.path()).constData(), 0777) == 0);
        QVERIFY(::chmod(QFile::encodeName(m_dir->path()).constData(), 0755) == 0);
        QVERIFY(::chmod("log.txt", 0666) == 0);
        QVERIFY(::setegid(65534) == 0 && ::seteuid(65534) == 0);
    }
    form.Command1_Click();
    if (root)
        QVERIFY(::seteuid(0) == 0 && ::setegid(0) == 0);
    QCOMPARE(form.MSComm1.errorString(), cause);
    QCOMPARE(f.box("Combo1")->toolTip(), "Port 1 opens " + m_link + "\n" + m_link + ": " + cause);
    // The notice is shown and saved, and no box is.
    QCOMPARE(f.view()->text(), kNotice);
    QVERIFY(idle(form));
    QCOMPARE(QApplication::focusWidget(), f.view());
    QCOMPARE(f.logFile(), kNotice);
    QVERIFY(f.boxes.isEmpty());
    QVERIFY(settlesQuietly());
}

void TestPortFaults::outOfFileDescriptorsAtStart()
{
    FormFixture f;
    f.writeLogFile("01 ");
    Form1 &form = f.start();
    rlimit saved{};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &saved) == 0);
    rlimit low = saved;
    low.rlim_cur = rlim_t(QDir("/proc/self/fd").entryList(QDir::Files | QDir::System).size() + 64);
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &low) == 0);
    std::vector<int> taken;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        taken.push_back(fd);
    const bool exhausted = errno == EMFILE;
    form.Command1_Click();
    for (const int fd : taken)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    QVERIFY(exhausted);
    QCOMPARE(f.view()->text(), "01 " + kNotice);
    QVERIFY(idle(form));
    // Saving needs a descriptor too: the old file stays and the box says why.
    QCOMPARE(f.boxes.size(), 1);
    QVERIFY2(f.boxes.first().text.contains("Too many open files"),
             qPrintable(f.boxes.first().text));
    QCOMPARE(f.logFile(), QByteArray("01 "));
    QVERIFY(settlesQuietly());
    QCOMPARE(captureOnce(form, *m_terminal, "\x02"), "01 " + kNotice + "2 ");
    QCOMPARE(f.logFile(), "01 " + kNotice + "2 ");
}

QTEST_MAIN(TestPortFaults)
#include "tst_portfaults.moc"
