#include "app/logview/logview.h"
#include "support/capturestate.h"
#include "support/formfixture.h"
#include "support/hexreference.h"
#include "support/pseudoterminal.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <sys/resource.h>

// Megabytes through a pseudo-terminal in random chunks and pauses, while the window is resized,
// cleared, stopped and started and the About box is open; log.txt must hold exactly the hex of
// every byte sent since the last Clear. TAVREL_SOAK_BYTES sets the amount (5 MB by default),
// TAVREL_RANDOM_START repeats a run.
class TestSoak : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyByteReachesTheFile();

private:
    enum Action { Resize, About, StopAndStart, Clear, Nothing, ActionCount };
    static constexpr int kDrainMs = 60000;

    bool send(qint64 amount);
    bool drained() const { return m_fixture.view()->length() >= m_expected.size(); }
    void act(Action action);

    PseudoTerminal m_terminal;
    FormFixture m_fixture;
    Form1 *m_form = nullptr;
    QRandomGenerator m_random;
    QByteArray m_expected;
    int m_perLine = 1;
    int m_column = 1;
    qint64 m_sent = 0;
    bool m_drainedInBox = false;
};

// Mostly mid-sized chunks, with single bytes, large bursts and short pauses among them.
bool TestSoak::send(qint64 amount)
{
    for (qint64 size = 0; amount > 0; amount -= size, m_sent += size) {
        const int kind = m_random.bounded(100);
        size = qMin<qint64>(amount, kind < 10   ? m_random.bounded(1, 17)
                                    : kind < 80 ? m_random.bounded(17, 4097)
                                                : m_random.bounded(4097, 65537));
        QList<quint32> words((size + 3) / 4);
        m_random.fillRange(words.data(), words.size());
        const QByteArray bytes(reinterpret_cast<const char *>(words.constData()), size);
        if (!m_terminal.write(bytes))
            return false;
        appendHex(m_expected, bytes, m_perLine, m_column);
        if (m_random.bounded(8) == 0)
            QTest::qWait(m_random.bounded(30));
    }
    return true;
}

void TestSoak::act(Action action)
{
    if (action == Resize) {
        const float width = Form1::kMinClientWidth + 15 * m_random.bounded(600);
        m_form->setClientSize(width, Form1::kMinClientHeight + 15 * m_random.bounded(300));
        QTRY_COMPARE(m_form->text1Width(), width - 15);
        m_perLine = qMax(1, int(m_form->text1Width() / 250));
    } else if (action == About) {
        m_drainedInBox = false;
        m_form->mnuHelpAbout_Click();
        QVERIFY2(m_drainedInBox, "bytes sent while the About box was open did not arrive");
        QVERIFY(capturing(*m_form));
    } else if (action == StopAndStart) {
        m_form->Command2_Click();
        QVERIFY(idle(*m_form));
        QVERIFY2(m_fixture.logFile() == m_expected, "log.txt differs after Stop");
        m_form->Command1_Click();
        QVERIFY(capturing(*m_form));
    } else if (action == Clear) {
        m_form->Command3_Click();
        m_expected.clear();
        QCOMPARE(m_fixture.view()->length(), 0);
    }
}

void TestSoak::everyByteReachesTheFile()
{
    bool ok = false;
    const qint64 asked = qEnvironmentVariable("TAVREL_SOAK_BYTES").toLongLong(&ok);
    const qint64 total = ok && asked > 0 ? asked : 5 << 20;
    const quint32 start = qEnvironmentVariableIsSet("TAVREL_RANDOM_START")
                              ? qEnvironmentVariable("TAVREL_RANDOM_START").toUInt()
                              : QRandomGenerator::global()->generate();
    m_random = QRandomGenerator(start);
    qInfo("soak: %lld bytes, TAVREL_RANDOM_START=%u", total, start);
    QVERIFY(m_terminal.isValid());
    qputenv("TAVREL_PORT1", m_terminal.devicePath().toLocal8Bit());
    // While the About box is open the port goes on receiving, as under a real modal box.
    MessageBox::setResponder([this](const MessageBox::Shown &shown) {
        m_fixture.boxes.append(shown);
        m_drainedInBox = shown.style == MessageBox::Information &&
                         send(m_random.bounded(1, 20000)) &&
                         QTest::qWaitFor([this] { return drained(); }, kDrainMs);
        return int(MessageBox::Ok);
    });
    m_form = &m_fixture.start();
    m_perLine = qMax(1, int(m_form->text1Width() / 250));
    QElapsedTimer clock;
    clock.start();
    m_form->Command1_Click();
    QVERIFY(capturing(*m_form));
    int counts[ActionCount] = {};
    while (m_sent < total && !QTest::currentTestFailed()) {
        QVERIFY(send(qMin<qint64>(total - m_sent, m_random.bounded(1, 250000))));
        QTRY_VERIFY_WITH_TIMEOUT(drained(), kDrainMs);
        QVERIFY2(m_fixture.view()->text().endsWith(m_expected.right(4096)), "view differs");
        QCOMPARE(int(m_form->ColumnCount), m_column);
        const auto action = Action(m_random.bounded(int(ActionCount)));
        ++counts[action];
        act(action);
    }
    if (QTest::currentTestFailed())
        return;
    m_form->Command2_Click();
    QVERIFY(idle(*m_form));
    QVERIFY2(m_fixture.view()->text() == m_expected, "the view differs at the end");
    QVERIFY2(m_fixture.logFile() == m_expected, "log.txt differs at the end");
    QCOMPARE(m_fixture.boxes.size(), counts[About]);

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const double seconds = clock.elapsed() / 1000.0;
    qInfo("soak: %lld bytes in %.1f s (%.2f MB/s), peak memory %ld MB; resize %d, About %d, "
          "Stop and Start %d, Clear %d",
          m_sent, seconds, m_sent / seconds / 1e6, usage.ru_maxrss / 1024, counts[Resize],
          counts[About], counts[StopAndStart], counts[Clear]);
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
