#include "app/formfixture.h"
#include "faulthelpers.h"
#include "logview.h"
#include "support/pseudoterminal.h"

#include <QApplication>
#include <QDir>
#include <QSerialPort>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Faults;

// Faults of the serial port, through the window: the device goes away, is held by another
// program, may not be opened by this user, or no descriptor is left to open it with. Each must
// end idle and quiet, with the notice or a warning box, and with nothing captured lost.
class TestPortFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void unplugDuringBurstThenPlugBackIn();
    void unplugWhileAboutBoxIsOpen();
    void portHeldByAnotherProgram();
    void permissionDeniedOnTheDevice();
    void outOfFileDescriptorsAtStart();

private:
    void usePort(const PseudoTerminal &terminal);
    void checkFailedStart(FormFixture &f, const QByteArray &before);

    std::unique_ptr<PseudoTerminal> m_terminal;
};

void TestPortFaults::init()
{
    m_terminal = std::make_unique<PseudoTerminal>();
    QVERIFY(m_terminal->isValid());
    usePort(*m_terminal);
}

void TestPortFaults::cleanup()
{
    m_terminal.reset();
    qunsetenv("TAVREL_PORT1");
}

void TestPortFaults::usePort(const PseudoTerminal &terminal)
{
    qputenv("TAVREL_PORT1", terminal.devicePath().toLocal8Bit());
}

// Start could not open port 1: the notice follows what the view held, the window is idle again,
// the file holds the view, and no box was shown.
void TestPortFaults::checkFailedStart(FormFixture &f, const QByteArray &before)
{
    Form1 &form = *f.form;
    const QByteArray expected = before + noticeFor("1");
    QCOMPARE(form.Text1->text(), expected);
    QVERIFY(idle(form));
    QCOMPARE(QApplication::focusWidget(), form.Text1);
    QCOMPARE(f.logFile(), expected);
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
    // Pulled out with bytes still on their way.
    m_terminal->hangUp();
    QTRY_VERIFY(idle(form));
    QVERIFY(settlesQuietly());

    const QByteArray shown = form.Text1->text();
    QVERIFY(shown.startsWith("7E \r\n"));
    const qsizetype received = shown.count(' ') - 1;
    QCOMPARE(shown, "7E \r\n" + hexOf(burst.first(received)));
    QCOMPARE(f.logFile(), shown);
    QVERIFY(f.boxes.isEmpty());
    qInfo("unplugged during a burst: %lld of %lld bytes had reached the port", qint64(received),
          qint64(burst.size()));

    // The adapter comes back under the same port number.
    PseudoTerminal again;
    usePort(again);
    form.Command1_Click();
    QVERIFY(capturing(form));
    QVERIFY(again.write("\x01\x02\x03"));
    const QByteArray after = shown + hexOf("\x01\x02\x03", 28, received % 28 + 1);
    QTRY_COMPARE(form.Text1->text(), after);
    form.Command2_Click();
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
    QCOMPARE(f.boxes.first().style, int(MessageBox::Information));
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

    // Once the other program lets go, the same port works.
    holder.close();
    form.Command1_Click();
    QVERIFY(capturing(form));
    QVERIFY(m_terminal->write("\xBB"));
    QTRY_VERIFY(form.Text1->text().endsWith("BB "));
    form.Command2_Click();
    QCOMPARE(f.logFile(), "AA " + noticeFor("1") + "BB ");
}

void TestPortFaults::permissionDeniedOnTheDevice()
{
    FormFixture f;
    Form1 &form = f.start();
    const QByteArray device = m_terminal->devicePath().toLocal8Bit();
    QVERIFY(::chmod(device.constData(), 0) == 0);
    // Root opens anything: act as a user outside the device's groups while Start runs. That user
    // must still be able to save into the directory.
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

namespace {

// Descriptors taken so that the process has none left; given back on destruction.
class DescriptorExhaustion
{
public:
    DescriptorExhaustion()
    {
        ::getrlimit(RLIMIT_NOFILE, &m_saved);
        const int inUse = int(QDir("/proc/self/fd").entryList(QDir::Files | QDir::System).size());
        rlimit low = m_saved;
        low.rlim_cur = rlim_t(inUse + 64);
        ::setrlimit(RLIMIT_NOFILE, &low);
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            m_taken.push_back(fd);
        m_exhausted = errno == EMFILE;
    }
    ~DescriptorExhaustion()
    {
        for (const int fd : m_taken)
            ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &m_saved);
    }
    bool exhausted() const { return m_exhausted; }

private:
    rlimit m_saved{};
    std::vector<int> m_taken;
    bool m_exhausted = false;
};

} // namespace

void TestPortFaults::outOfFileDescriptorsAtStart()
{
    FormFixture f;
    f.writeLogFile("01 ");
    Form1 &form = f.start();
    bool exhausted = false;
    {
        DescriptorExhaustion exhaustion;
        exhausted = exhaustion.exhausted();
        form.Command1_Click();
    }
    QVERIFY(exhausted);
    const QByteArray expected = "01 " + noticeFor("1");
    QCOMPARE(form.Text1->text(), expected);
    QVERIFY(idle(form));
    // Saving needs a descriptor too: the old file stays and the box says why.
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(f.boxes.first().style, int(MessageBox::Warning));
    QVERIFY2(f.boxes.first().text.contains("Too many open files"),
             qPrintable(f.boxes.first().text));
    QCOMPARE(f.logFile(), QByteArray("01 "));
    QVERIFY(settlesQuietly());

    // With descriptors back, the next capture saves everything the view holds.
    form.Command1_Click();
    QVERIFY(capturing(form));
    QVERIFY(m_terminal->write("\x02"));
    QTRY_VERIFY(form.Text1->text().endsWith("2 "));
    form.Command2_Click();
    QCOMPARE(f.logFile(), expected + "2 ");
}

QTEST_MAIN(TestPortFaults)
#include "tst_portfaults.moc"
