#include "app/findbar.h"
#include "support/formfixture.h"

#include <QAccessible>
#include <QLineEdit>
#include <QScrollBar>

namespace {

// Three DE AD pairs: in a line, across a wrap, and at the very end.
const QByteArray kLog = "DE AD 1 2 \r\n3 DE \r\nAD 7 \r\nCommPortDE AD not available.\r\nDE AD ";

} // namespace

class TestFindBar : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void findsGoesRoundAndCloses();
    void nextAndPreviousFromTheCaretWhileTheSearchRuns();
    void badHexSearchesNothing();
    void matchAboveTheViewLandsBelowTheBar();
    void searchesTextAsItArrivesAndAfterClear();

private:
    FindBar *openBar(FormFixture &fixture, const QString &pattern)
    {
        QTest::keyClick(fixture.form.get(), Qt::Key_F, Qt::ControlModifier);
        auto *bar = control<FindBar>(*fixture.form, "findBar");
        auto *edit = control<QLineEdit>(*bar, "findPattern");
        edit->clear();
        QTest::keyClicks(edit, pattern);
        return bar;
    }
};

void TestFindBar::findsGoesRoundAndCloses()
{
    FormFixture fixture;
    fixture.writeLogFile(kLog);
    Form1 &form = fixture.start();
    const QRect viewPlace = fixture.view()->geometry();
    FindBar *bar = openBar(fixture, "dead");
    QVERIFY(bar->isVisible());
    QCOMPARE(fixture.view()->geometry(), viewPlace);
    auto *edit = control<QLineEdit>(*bar, "findPattern");
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_COMPARE(bar->statusText(), QStringLiteral("match 1 of 3"));
    QCOMPARE(fixture.view()->selText(), QByteArray("DE AD"));
    QCOMPARE(fixture.view()->matchesShown().size(), size_t(3));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(bar->statusText(), QStringLiteral("match 2 of 3"));
    QCOMPARE(fixture.view()->selText(), QByteArray("DE \r\nAD"));
    QTest::keyClick(edit, Qt::Key_F3);
    QCOMPARE(fixture.view()->selStart(), kLog.size() - 6);
    QCOMPARE(bar->noteText(), QString());
    QTest::keyClick(edit, Qt::Key_F3);
    QCOMPARE(bar->statusText(), QStringLiteral("match 1 of 3"));
    QCOMPARE(bar->noteText(), QStringLiteral("Wrapped to the top"));
    QTest::keyClick(edit, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(bar->statusText(), QStringLiteral("match 3 of 3"));
    QCOMPARE(bar->noteText(), QStringLiteral("Wrapped to the bottom"));
    QTest::keyClick(control<QComboBox>(*bar, "findMode"), Qt::Key_Escape);
    QVERIFY(!bar->isVisible());
    QVERIFY(fixture.view()->matchesShown().empty());
    QVERIFY(form.isVisible());
    QVERIFY(fixture.view()->hasFocus());
    QCOMPARE(fixture.logFile(), kLog);
}

void TestFindBar::matchAboveTheViewLandsBelowTheBar()
{
    FormFixture fixture;
    const QByteArray lines = QByteArray("1 2 3 \r\n").repeated(300);
    fixture.writeLogFile(lines + "DE AD \r\n" + lines);
    fixture.start();
    fixture.view()->setSelStart(fixture.view()->length());
    QTRY_VERIFY(fixture.view()->verticalScrollBar()->value() > 0);
    FindBar *bar = openBar(fixture, "DE AD");
    QTest::keyClick(control<QLineEdit>(*bar, "findPattern"), Qt::Key_Return);
    QTRY_COMPARE(fixture.view()->selText(), QByteArray("DE AD"));
    QAccessibleTextInterface *text =
        QAccessible::queryAccessibleInterface(fixture.view())->textInterface();
    const int matchTop = text->characterRect(int(fixture.view()->selStart())).top();
    QVERIFY2(matchTop > bar->mapToGlobal(bar->rect().bottomLeft()).y(),
             qPrintable(QString::number(matchTop)));
}

// The match after the caret shows from the search ahead of it, long before the search from the top
// gets there; that one then counts it where it stands.
void TestFindBar::nextAndPreviousFromTheCaretWhileTheSearchRuns()
{
    FormFixture fixture;
    const QByteArray filler = QByteArray("0 0 0 0 \r\n").repeated(2000000);
    const QByteArray log = "DE AD \r\n" + filler + "DE AD \r\n" + filler + "DE AD ";
    const qint64 middle = 8 + filler.size();
    fixture.writeLogFile(log);
    fixture.start();
    // Shift+F3 from the end waits for the search to get there, past the first match it finds.
    fixture.view()->setSelStart(log.size());
    FindBar *bar = openBar(fixture, "DE AD");
    auto *edit = control<QLineEdit>(*bar, "findPattern");
    QTest::keyClick(edit, Qt::Key_F3, Qt::ShiftModifier);
    QTRY_COMPARE(fixture.view()->selStart(), log.size() - 6);
    // F3 from before the middle: the search ahead of the caret selects it, and the search from
    // the top counts it where it stands.
    fixture.view()->setSelStart(middle - 4);
    edit->setText(QStringLiteral("de ad"));
    QTest::keyClick(edit, Qt::Key_F3);
    QTRY_COMPARE(fixture.view()->selStart(), middle);
    QCOMPARE(fixture.view()->selLength(), 5);
    QTRY_COMPARE(bar->statusText(), QStringLiteral("match 2 of 3"));
    QTest::keyClick(edit, Qt::Key_F3);
    QCOMPARE(fixture.view()->selStart(), log.size() - 6);
}

void TestFindBar::badHexSearchesNothing()
{
    FormFixture fixture;
    fixture.writeLogFile(kLog);
    fixture.start();
    FindBar *bar = openBar(fixture, "DE AX");
    const qint64 caret = fixture.view()->selStart();
    QTest::keyClick(control<QLineEdit>(*bar, "findPattern"), Qt::Key_Return);
    QVERIFY(bar->noteText().contains("not a hex digit"));
    QVERIFY(fixture.view()->matchesShown().empty());
    QCOMPARE(bar->statusText(), QString());
    QCOMPARE(fixture.view()->selStart(), caret);
    QCOMPARE(fixture.view()->selLength(), 0);
}

void TestFindBar::searchesTextAsItArrivesAndAfterClear()
{
    FormFixture fixture;
    fixture.start();
    FindBar *bar = openBar(fixture, "BE EF");
    QTest::keyClick(control<QLineEdit>(*bar, "findPattern"), Qt::Key_Return);
    QTRY_COMPARE(bar->statusText(), QStringLiteral("No matches"));
    fixture.view()->setSelText("41 BE \r\n");
    fixture.view()->setSelText("EF ");
    QTRY_COMPARE(bar->statusText(), QStringLiteral("1 match"));
    QTest::keyClick(control<QLineEdit>(*bar, "findPattern"), Qt::Key_F3);
    QCOMPARE(bar->statusText(), QStringLiteral("match 1 of 1"));
    QCOMPARE(fixture.view()->selText(), QByteArray("BE \r\nEF"));
    fixture.view()->setSelText("BE EF ");
    QTRY_COMPARE(bar->statusText(), QStringLiteral("match 1 of 2"));
    QTest::mouseClick(fixture.button("Command3"), Qt::LeftButton);
    QTRY_COMPARE(bar->statusText(), QStringLiteral("No matches"));
}

QTEST_MAIN(TestFindBar)
#include "tst_findbar.moc"
