#include "app/formfixture.h"
#include "faulthelpers.h"

#include <QApplication>
#include <QSerialPort>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Faults;

// The device goes away, is held by another program, may not be opened by this user, or no
// descriptor is left: each ends idle and quiet, with nothing captured lost.
class TestPortFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void unplugDuringBurstThenPlugBackIn();
    void unplugWhileAboutBoxIsOpen();
    void portHeldByAnotherProgram();
    void permissionDeniedOnTheDevice();
    void outOfFileDescriptorsAtStart();

private:
    void checkFailedStart(FormFixture &f, const QByteArray &before);

    std::unique_ptr<PseudoTerminal> m_terminal;
};

void TestPortFaults::init()
{
    m_terminal = std::make_unique<PseudoTerminal>();
    QVERIFY(m_terminal->isValid());
    qputenv("TAVREL_PORT1", m_terminal->devicePath().toLocal8Bit());
}

// Start could not open the port: the notice is shown and saved, and no box is.
void TestPortFaults::checkFailedStart(FormFixture &f, const QByteArray &before)
{
    QCOMPARE(f.form->Text1->text(), before + kNotice);
    QVERIFY(idle(*f.form));
    QCOMPARE(QApplication::focusWidget(), f.form->Text1);
    QCOMPARE(f.logFile(), before + kNotice);
    QVERIFY(f.boxes.isEmpty());
    QVERIFY(settlesQuietly());
}

void TestPortFaults::unplugDuringBurstThenPlugBackIn()
{
    FormFixture f;
    f.writeLogFile("7E \r\n");
    Form1 &form = f.start();
    form.Command1_Click();
    QByteArray burst(256 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < burst.size(); ++i)
        burst[i] = char(i % 251);
    QVERIFY(m_terminal->write(burst));
    m_terminal->hangUp(); // with bytes still on their way
    QTRY_VERIFY(idle(form));
    QVERIFY(settlesQuietly());
    const QByteArray shown = form.Text1->text();
    const qsizetype received = shown.count(' ') - 1;
    QVERIFY(received > 0);
    QCOMPARE(shown, "7E \r\n" + hexOf(burst.first(received)));
    QCOMPARE(f.logFile(), shown);
    QVERIFY(f.boxes.isEmpty());

    // The adapter comes back under the same port number.
    PseudoTerminal again;
    qputenv("TAVREL_PORT1", again.devicePath().toLocal8Bit());
    const QByteArray after = shown + hexOf("\x01\x02\x03", 28, received % 28 + 1);
    QCOMPARE(captureOnce(form, again, "\x01\x02\x03"), after);
    QCOMPARE(f.logFile(), after);
}

void TestPortFaults::unplugWhileAboutBoxIsOpen()
{
    FormFixture f;
    Form1 &form = f.start();
    bool stoppedInBox = false;
    MessageBox::setResponder([&](const MessageBox::Shown &shown) {
        f.boxes.append(shown);
        m_terminal->hangUp();
        stoppedInBox = QTest::qWaitFor([&] { return idle(form); }, 5000);
        return int(MessageBox::Ok);
    });
    form.Command1_Click();
    QVERIFY(m_terminal->write("\x10\x20"));
    QTRY_COMPARE(form.Text1->text(), QByteArray("10 20 "));
    form.mnuHelpAbout_Click();
    QVERIFY(stoppedInBox);
    QCOMPARE(f.boxes.size(), 1);
    QVERIFY(idle(form));
    QCOMPARE(f.logFile(), QByteArray("10 20 "));
    QVERIFY(settlesQuietly());
}

void TestPortFaults::portHeldByAnotherProgram()
{
    FormFixture f;
    f.writeLogFile("AA ");
    Form1 &form = f.start();
    QSerialPort holder(m_terminal->devicePath());
    QVERIFY2(holder.open(QIODevice::ReadOnly), qPrintable(holder.errorString()));
    form.Command1_Click();
    checkFailedStart(f, "AA ");
    holder.close();
    QCOMPARE(captureOnce(form, *m_terminal, "\xBB"), "AA " + kNotice + "BB ");
    QCOMPARE(f.logFile(), "AA " + kNotice + "BB ");
}

void TestPortFaults::permissionDeniedOnTheDevice()
{
    FormFixture f;
    Form1 &form = f.start();
    QVERIFY(::chmod(m_terminal->devicePath().toLocal8Bit().constData(), 0) == 0);
    // Root opens anything: Start runs as a user outside the device's groups who may still save.
    const bool root = ::geteuid() == 0;
    if (root) {
        QVERIFY(::chmod(QFile::encodeName(f.dir.path()).constData(), 0777) == 0);
        QVERIFY(::chmod("log.txt", 0666) == 0);
        QVERIFY(::setegid(65534) == 0 && ::seteuid(65534) == 0);
    }
    form.Command1_Click();
    const QString reason = form.MSComm1.errorString();
    if (root)
        QVERIFY(::seteuid(0) == 0 && ::setegid(0) == 0);
    QVERIFY2(reason.contains("ermission"), qPrintable(reason));
    checkFailedStart(f, QByteArray());
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
    QCOMPARE(form.Text1->text(), "01 " + kNotice);
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
