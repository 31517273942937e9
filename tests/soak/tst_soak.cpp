#include "app/formfixture.h"
#include "logview.h"
#include "support/pseudoterminal.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRandomGenerator>
#include <sys/resource.h>

// Tens of megabytes through a pseudo-terminal in random chunks and pauses, while the window is
// resized, cleared, stopped and started and the About box is open; log.txt must hold exactly the
// hex of every byte sent since the last Clear. TAVREL_SOAK_BYTES sets the amount (5 MB by
// default; scripts/ci-soak.sh runs 50 MB), TAVREL_SOAK_SEED repeats a run.
namespace {

constexpr qint64 kDefaultBytes = 5 << 20;
constexpr int kDrainMs = 60000;

qint64 bytesToSend()
{
    bool ok = false;
    const qint64 bytes = qEnvironmentVariable("TAVREL_SOAK_BYTES").toLongLong(&ok);
    return ok && bytes > 0 ? bytes : kDefaultBytes;
}

quint32 seed()
{
    bool ok = false;
    const quint32 value = qEnvironmentVariable("TAVREL_SOAK_SEED").toUInt(&ok);
    return ok ? value : QRandomGenerator::global()->generate();
}

// What the log view must show: its own rendering of the bytes, kept apart from the program's.
struct HexModel
{
    QByteArray text;
    int column = 1;
    int perLine = 1;

    void setWidth(float widthTwips) { perLine = qMax(1, int(widthTwips / 250)); }

    void add(QByteArrayView bytes)
    {
        static constexpr char digits[] = "0123456789ABCDEF";
        for (const char c : bytes) {
            const auto value = uchar(c);
            if (value > 15)
                text += digits[value / 16];
            text += digits[value % 16];
            text += ' ';
            if (++column > perLine) {
                column = 1;
                text += "\r\n";
            }
        }
    }
};

bool capturing(const Form1 &form)
{
    return !form.Command1->isEnabled() && form.Command2->isEnabled() && form.MSComm1.portOpen();
}

bool idle(const Form1 &form)
{
    return form.Command1->isEnabled() && !form.Command2->isEnabled() && form.Combo1->isEnabled() &&
           !form.MSComm1.portOpen();
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void everyByteReachesTheFile();

private:
    QByteArray randomBytes(qsizetype size);
    qsizetype chunkSize();
    bool send(qint64 amount);
    bool drained() const;
    void resizeWindow();
    void showAbout();
    void stopAndStart();
    void clear();

    std::unique_ptr<PseudoTerminal> m_terminal;
    std::unique_ptr<FormFixture> m_fixture;
    Form1 *m_form = nullptr;
    QRandomGenerator m_random;
    HexModel m_model;
    qint64 m_sent = 0;
    int m_infoBoxes = 0;
    bool m_drainedInBox = false;
    QList<MessageBox::Shown> m_otherBoxes;
    QMap<QByteArray, int> m_actions;
};

void TestSoak::init()
{
    m_terminal = std::make_unique<PseudoTerminal>();
    QVERIFY(m_terminal->isValid());
    qputenv("TAVREL_PORT1", m_terminal->devicePath().toLocal8Bit());
    m_fixture = std::make_unique<FormFixture>();
    // While the About box is open the port goes on receiving, as under a real modal box.
    MessageBox::setResponder([this](const MessageBox::Shown &shown) {
        if (shown.style != MessageBox::Information) {
            m_otherBoxes.append(shown);
            return int(MessageBox::Ok);
        }
        ++m_infoBoxes;
        m_drainedInBox = send(m_random.bounded(1, 20000)) &&
                         QTest::qWaitFor([this] { return drained(); }, kDrainMs);
        return int(MessageBox::Ok);
    });
    m_form = &m_fixture->start();
    m_model.setWidth(m_form->text1Width());
}

void TestSoak::cleanup()
{
    m_fixture.reset();
    m_terminal.reset();
    qunsetenv("TAVREL_PORT1");
}

QByteArray TestSoak::randomBytes(qsizetype size)
{
    QList<quint32> words((size + 3) / 4);
    m_random.fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char *>(words.constData()), size);
}

// Mostly mid-sized chunks, with single bytes and large bursts among them.
qsizetype TestSoak::chunkSize()
{
    const int kind = m_random.bounded(100);
    if (kind < 10)
        return m_random.bounded(1, 17);
    if (kind < 80)
        return m_random.bounded(17, 4097);
    return m_random.bounded(4097, 65537);
}

bool TestSoak::send(qint64 amount)
{
    while (amount > 0) {
        const qsizetype size = qMin<qint64>(amount, chunkSize());
        const QByteArray bytes = randomBytes(size);
        if (!m_terminal->write(bytes))
            return false;
        m_model.add(bytes);
        m_sent += size;
        amount -= size;
        if (m_random.bounded(8) == 0)
            QTest::qWait(m_random.bounded(30));
    }
    return true;
}

bool TestSoak::drained() const
{
    return m_form->Text1->length() == m_model.text.size();
}

void TestSoak::resizeWindow()
{
    const float width = Form1::kMinClientWidth + 15 * m_random.bounded(600);
    const float height = Form1::kMinClientHeight + 15 * m_random.bounded(300);
    m_form->setClientSize(width, height);
    QTRY_COMPARE(m_form->text1Width(), width - 15);
    m_model.setWidth(m_form->text1Width());
}

void TestSoak::showAbout()
{
    const int before = m_infoBoxes;
    m_form->mnuHelpAbout_Click();
    QCOMPARE(m_infoBoxes, before + 1);
    QVERIFY2(m_drainedInBox, "bytes sent while the About box was open did not arrive");
    QVERIFY(capturing(*m_form));
}

void TestSoak::stopAndStart()
{
    m_form->Command2_Click();
    QVERIFY(idle(*m_form));
    QVERIFY2(m_fixture->logFile() == m_model.text, "log.txt differs after Stop");
    m_form->Command1_Click();
    QVERIFY(capturing(*m_form));
}

void TestSoak::clear()
{
    m_form->Command3_Click();
    m_model.text.clear();
    QCOMPARE(m_form->Text1->length(), 0);
}

void TestSoak::everyByteReachesTheFile()
{
    const qint64 total = bytesToSend();
    const quint32 runSeed = seed();
    m_random.seed(runSeed);
    qInfo("soak: %lld bytes, TAVREL_SOAK_SEED=%u", total, runSeed);
    QElapsedTimer clock;
    clock.start();

    m_form->Command1_Click();
    QVERIFY(capturing(*m_form));
    while (m_sent < total) {
        QVERIFY(send(qMin<qint64>(total - m_sent, m_random.bounded(1, 250000))));
        QTRY_VERIFY_WITH_TIMEOUT(drained(), kDrainMs);
        QVERIFY2(m_form->Text1->text().endsWith(m_model.text.right(4096)), "view differs");
        QCOMPARE(int(m_form->ColumnCount), m_model.column);
        static const QByteArray actions[] = {"resize", "about", "stop and start", "clear", "none"};
        const QByteArray action = actions[m_random.bounded(5)];
        ++m_actions[action];
        if (action == "resize")
            resizeWindow();
        else if (action == "about")
            showAbout();
        else if (action == "stop and start")
            stopAndStart();
        else if (action == "clear")
            clear();
        if (QTest::currentTestFailed())
            return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(drained(), kDrainMs);
    m_form->Command2_Click();
    QVERIFY(idle(*m_form));
    QVERIFY2(m_form->Text1->text() == m_model.text, "the view differs at the end");
    QVERIFY2(m_fixture->logFile() == m_model.text, "log.txt differs at the end");
    QVERIFY(m_otherBoxes.isEmpty());

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const double seconds = clock.elapsed() / 1000.0;
    qInfo("soak: %lld bytes in %.1f s (%.2f MB/s), peak memory %ld MB, log.txt %lld bytes", m_sent,
          seconds, m_sent / seconds / 1e6, usage.ru_maxrss / 1024, qint64(m_model.text.size()));
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it)
        qInfo("soak: %s x%d", it.key().constData(), it.value());
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
