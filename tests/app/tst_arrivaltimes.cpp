#include "app/logview/logview.h"
#include "support/formfixture.h"
#include "support/hexreference.h"
#include "support/pseudoterminal.h"

#include "support/files.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenuBar>
#include <QSettings>

// Arrival times in the window: kept with the log through Stop, Start, Clear and a restart,
// shown and marked beside the text and never in it, and the View menu that asks for them.
class TestArrivalTimes : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void timesLastThroughStopStartClearAndRestart();
    void quietGapsFromARealPort();
    void viewMenuSitsBetweenFileAndHelpAndIsRemembered();
    void copyAndExportCarryTheTimes();

private:
    // Sends the bytes and waits until the view shows them.
    bool send(FormFixture &f, const QByteArray &bytes);
    std::unique_ptr<PseudoTerminal> m_terminal;
    QByteArray m_sent;
};

void TestArrivalTimes::init()
{
    m_terminal = std::make_unique<PseudoTerminal>();
    QVERIFY(m_terminal->isValid());
    qputenv("TAVREL_PORT1", m_terminal->devicePath().toLocal8Bit());
    m_sent.clear();
}

bool TestArrivalTimes::send(FormFixture &f, const QByteArray &bytes)
{
    const qint64 shown = f.view()->length() + hexOf(bytes, 1000).size();
    m_sent += bytes;
    return m_terminal->write(bytes) && QTest::qWaitFor([&] { return f.view()->length() >= shown; });
}

void TestArrivalTimes::timesLastThroughStopStartClearAndRestart()
{
    FormFixture f;
    Form1 &form = f.start();
    f.form->mnuViewArrivalTimes->trigger();
    const qint64 started = QDateTime::currentMSecsSinceEpoch();
    form.Command1_Click();
    QVERIFY(send(f, "\x41\x42"));
    form.Command2_Click();
    form.Command1_Click();
    QTest::qWait(300);
    QVERIFY(send(f, "\x43"));
    form.Command2_Click();
    const qint64 ended = QDateTime::currentMSecsSinceEpoch();
    QCOMPARE(f.logFile(), hexOf(m_sent, 28));
    const LogKeeper &keeper = form.keeper();
    QVERIFY(keeper.arrivalMs(0) >= started && keeper.arrivalMs(6) <= ended);
    QVERIFY(keeper.arrivalMs(6) - keeper.arrivalMs(5) >= 300);
    QVERIFY(!f.view()->timeColumnText(0).isEmpty());
    const qint64 first = keeper.arrivalMs(0);
    const qint64 second = keeper.arrivalMs(6);

    // A new run shows the saved log with the same times.
    f.form.reset();
    Form1 &again = f.start();
    QCOMPARE(again.keeper().arrivalMs(0), first);
    QCOMPARE(again.keeper().arrivalMs(8), second);
    QCOMPARE(f.view()->timeColumnText(0),
             TimeColumn::rowText(TimeFormat::TimeOfDay, first, {}, {}, true));

    // Clear starts the times afresh: what arrives next has its own.
    again.Command3_Click();
    again.Command1_Click();
    QVERIFY(send(f, "\x44"));
    again.Command2_Click();
    QVERIFY(again.keeper().arrivalMs(0) >= second);
    QCOMPARE(f.logFile(), QByteArray("44 "));
}

void TestArrivalTimes::quietGapsFromARealPort()
{
    FormFixture f;
    Form1 &form = f.start();
    f.form->mnuViewQuietGaps->trigger();
    QCOMPARE(f.view()->quietGapMarks(), std::optional(100));
    form.Command1_Click();
    // Gaps far from the threshold on either side: 20 ms never marked, 400 ms always.
    QVERIFY(send(f, "\x01"));
    QTest::qWait(20);
    QVERIFY(send(f, "\x02"));
    QTest::qWait(400);
    QVERIFY(send(f, "\x03"));
    QTest::qWait(20);
    QVERIFY(send(f, "\x04"));
    form.Command2_Click();
    QCOMPARE(f.view()->text(), QByteArray("1 2 3 4 "));
    QCOMPARE(f.view()->quietGapsInRow(0), std::vector<qint64>{4});
    QCOMPARE(f.logFile(), QByteArray("1 2 3 4 "));
}

void TestArrivalTimes::viewMenuSitsBetweenFileAndHelpAndIsRemembered()
{
    FormFixture f;
    Form1 &form = f.start();
    QStringList titles;
    for (const QAction *menu : form.menuBar()->actions())
        titles.append(menu->text());
    QCOMPARE(titles, QStringList({"&File", "&View", "&Help"}));
    // The access key is no other menu's or button's.
    for (const char *key : {"&F", "&H", "&S", "&p", "&C", "&E"})
        QVERIFY(!form.mnuView->title().contains(key, Qt::CaseInsensitive));
    QCOMPARE(f.view()->timeColumn(), std::nullopt);
    QCOMPARE(f.view()->quietGapMarks(), std::nullopt);

    QVERIFY(!f.view()->characterColumn());
    const float width = form.text1Width();

    form.mnuViewSincePrevious->trigger();
    form.mnuViewQuietGaps->trigger();
    form.mnuViewCharacters->trigger();
    f.form.reset();
    Form1 &again = f.start();
    QCOMPARE(f.view()->timeColumn(), std::optional(TimeFormat::SincePrevious));
    QCOMPARE(f.view()->quietGapMarks(), std::optional(100));
    QVERIFY(f.view()->characterColumn());
    // The columns narrow the rows as drawn, never the view: the line capacity stays.
    QCOMPARE(again.text1Width(), width);
    QVERIFY(again.mnuViewArrivalTimes->isChecked());
    // Kept in the test's folder, never in the user's.
    QVERIFY(QFile::exists(f.path("config/tavrel/tavrel.conf")));
    again.mnuViewArrivalTimes->trigger();
    QCOMPARE(f.view()->timeColumn(), std::nullopt);
}

void TestArrivalTimes::copyAndExportCarryTheTimes()
{
    FormFixture f;
    Form1 &form = f.start();
    form.Command1_Click();
    QVERIFY(send(f, "\x41\x42"));
    QTest::qWait(200);
    QVERIFY(send(f, "\x0d"));
    form.Command2_Click();
    const LogKeeper &keeper = form.keeper();
    const QString first = TimeColumn::dateTime(keeper.arrivalMs(0));
    const QString second = TimeColumn::dateTime(keeper.arrivalMs(6));

    f.view()->selectAll();
    form.mnuFileCopyWithTimes->trigger();
    QCOMPARE(QApplication::clipboard()->text(), first + "\t41 42\n" + second + "\tD\n");
    QVERIFY(form.exportTo(LogExport::Format::Binary, f.path("out.bin")));
    QCOMPARE(fileBytes(f.path("out.bin")), QByteArray("\x41\x42\x0d"));

    // The selection alone, from its second item.
    f.view()->setSelStart(3);
    QTest::keyClick(f.view(), Qt::Key_End, Qt::ShiftModifier | Qt::ControlModifier);
    QVERIFY(form.exportTo(LogExport::Format::Csv, f.path("out.csv")));
    const QList<QByteArray> rows = fileBytes(f.path("out.csv")).split('\n');
    QCOMPARE(rows.size(), 4);
    QVERIFY2(rows[1].endsWith(",3,1,42") && rows[2].endsWith(",6,1,D"),
             QByteArray(rows[1] + rows[2]).constData());

    QVERIFY(!form.exportTo(LogExport::Format::Csv, f.path("log.txt")));
    QCOMPARE(f.boxes.size(), 1);
    QCOMPARE(f.logFile(), QByteArray("41 42 D "));
}

QTEST_MAIN(TestArrivalTimes)
#include "tst_arrivaltimes.moc"
