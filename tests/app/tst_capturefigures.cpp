#include "capture/capturemeter.h"
#include "support/capturestate.h"
#include "support/formfixture.h"
#include "support/pseudoterminal.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>

class TestCaptureFigures : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rateCoversTheLastSecond();
    void figuresFollowAPacedCaptureAndGoAtStop();
};

void TestCaptureFigures::rateCoversTheLastSecond()
{
    CaptureMeter meter;
    meter.start(1000);
    meter.add(100, 1100);
    QCOMPARE(meter.bytesPerSecond(1500), 200); // younger than a second: over its age
    meter.add(100, 1600);
    meter.add(100, 2200);
    QCOMPARE(meter.bytesPerSecond(2200), 200); // the arrival at 1100 has left the window
    QCOMPARE(meter.bytesPerSecond(3300), 0);
    QCOMPARE(meter.total(), 300);
    meter.start(5000);
    QCOMPARE(meter.total(), 0);
    QCOMPARE(meter.bytesPerSecond(5500), 0);
}

void TestCaptureFigures::figuresFollowAPacedCaptureAndGoAtStop()
{
    PseudoTerminal terminal;
    QVERIFY(terminal.isValid());
    qputenv("TAVREL_PORT1", terminal.devicePath().toLocal8Bit());
    FormFixture fixture;
    Form1 &form = fixture.start();
    auto *figures = control<QLabel>(form, "captureFigures");
    const int menuHeight = form.menuBar()->height();
    const QPoint viewPlace = fixture.view()->mapTo(&form, QPoint());
    form.Command1_Click();
    QVERIFY(capturing(form));
    QVERIFY(figures->isVisible());

    // 100 bytes every 20 ms: 5,000 bytes a second.
    QElapsedTimer paced;
    paced.start();
    qint64 sent = 0;
    while (paced.elapsed() < 1500) {
        QVERIFY(terminal.write(QByteArray(100, 'x')));
        sent += 100;
        QTest::qWait(20);
    }
    const QStringList parts = figures->text().split(' ');
    QCOMPARE(parts.size(), 4);
    const qint64 rate = QLocale::c().toLongLong(parts[2]);
    QVERIFY2(rate > 1500 && rate < 8000, qPrintable(figures->text()));
    QTRY_COMPARE(figures->text().section(' ', 0, 0), QLocale::c().toString(sent));
    QCOMPARE(form.menuBar()->height(), menuHeight);
    QCOMPARE(fixture.view()->mapTo(&form, QPoint()), viewPlace);

    form.Command2_Click();
    QVERIFY(!figures->isVisible());
    QCOMPARE(fixture.button("Command2")->toolTip(), QStringLiteral("Click to stop logging"));
}

QTEST_MAIN(TestCaptureFigures)
#include "tst_capturefigures.moc"
