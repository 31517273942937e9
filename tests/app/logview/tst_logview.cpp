#include "app/logview/logview.h"
#include "support/keys.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

namespace {
// A window around the view that records the keys the view lets through.
class Window : public QWidget
{
public:
    Window()
    {
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(view);
        layout->addWidget(button);
        resize(400, 300);
    }
    LogView *view = new LogView;
    QPushButton *button = new QPushButton(QStringLiteral("Next"));
    QList<int> passedKeys;

protected:
    void keyPressEvent(QKeyEvent *event) override { passedKeys.append(event->key()); }
};

QAccessibleTextInterface *textInterface(LogView *view)
{
    return QAccessible::queryAccessibleInterface(view)->textInterface();
}

QPoint pointOf(LogView *view, int position)
{
    const QRect rect = textInterface(view)->characterRect(position);
    return view->viewport()->mapFromGlobal(rect.topLeft()) + QPoint(1, 2);
}

} // namespace

class TestLogView : public QObject
{
    Q_OBJECT
    Window *m_window = nullptr;
    LogView *m_view = nullptr;

private Q_SLOTS:
    void init()
    {
        m_window = new Window;
        m_view = m_window->view;
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        m_view->setFocus();
    }

    void cleanup() { delete m_window; }

    // Every byte value and line break comes back exactly after piecewise inserts.
    void textRoundTrips()
    {
        QByteArray text("\0a\r\nb\nc\rd\r\r\n\n\re\r", 16);
        for (int b = 255; b >= 0; --b)
            text.append(char(b));
        for (qsizetype i = 0; i < text.size(); i += 2)
            m_view->setSelText(text.mid(i, 2));
        QCOMPARE(m_view->text(), text);
        m_view->selectAll();
        QCOMPARE(m_view->selText(), text);
    }

    void keysMoveAndSelectAndInsertsGoToTheEnd_data()
    {
        QTest::addColumn<int>("caret");
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selLength");
        // Text: "AB CD\r\nEF\nGH" (lines start at 0, 7 and 10).
        QTest::newRow("caret clamped below") << -5 << QByteArray() << 0 << 0;
        QTest::newRow("caret clamped above") << 1000 << QByteArray() << 12 << 0;
        QTest::newRow("shift right over crlf")
            << 4 << QByteArray("Shift+Right, Shift+Right") << 4 << 3;
        QTest::newRow("left over crlf") << 7 << QByteArray("Left") << 5 << 0;
        QTest::newRow("home, shift end") << 9 << QByteArray("Home, Shift+End") << 7 << 2;
        QTest::newRow("down keeps column, shift up") << 1 << QByteArray("Down, Shift+Up") << 1 << 7;
        QTest::newRow("document ends") << 2 << QByteArray("Ctrl+End, Ctrl+Shift+Home") << 0 << 12;
        QTest::newRow("shift page down") << 0 << QByteArray("Shift+PgDown") << 0 << 10;
        QTest::newRow("everything selected") << 4 << QByteArray("Ctrl+A") << 0 << 12;
        QTest::newRow("select all, move drops it") << 4 << QByteArray("Ctrl+A, Left") << 0 << 0;
    }

    // setSelStart clamps and drops the selection; whatever is selected, setSelText appends.
    void keysMoveAndSelectAndInsertsGoToTheEnd()
    {
        QFETCH(int, caret);
        QFETCH(QByteArray, keys);
        m_view->setFont(QFont(QStringLiteral("monospace")));
        m_view->setText("AB CD\r\nEF\nGH");
        m_view->setSelStart(caret);
        press(m_view, keys.constData());
        QTEST(int(m_view->selStart()), "selStart");
        QTEST(int(m_view->selLength()), "selLength");
        m_view->setSelText("FF ");
        QCOMPARE(m_view->text(), QByteArray("AB CD\r\nEF\nGHFF "));
        QCOMPARE(m_view->selStart(), 15);
        QCOMPARE(m_view->selLength(), 0);
    }

    // Edits are refused, Enter and Escape reach the window's buttons, Tab leaves the view.
    void otherKeys()
    {
        QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
        m_view->setText("41 D \r\nA ");
        m_view->setSelStart(3);
        for (const char *keys :
             {"Shift+Right, A, 1, Space", "Backspace, Del", "Ctrl+V, Ctrl+X, Shift+Ins"})
            press(m_view, keys);
        QCOMPARE(m_view->text(), QByteArray("41 D \r\nA "));
        QCOMPARE(QGuiApplication::clipboard()->text().toLatin1(), QByteArray("pasted"));
        m_window->passedKeys.clear();
        press(m_view, "Return, Enter, Esc");
        QCOMPARE(m_window->passedKeys, QList<int>({Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}));
        QTest::keyClick(m_view, Qt::Key_Tab);
        QVERIFY(m_window->button->hasFocus());
        QTest::keyClick(m_window->button, Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(m_view->hasFocus());
    }

    // A click moves the caret before it is reported; a drag selects, and copy gives the bytes.
    void mouseAndCopy()
    {
        m_view->setText("41 D \xff \r\n0 FF \r\n");
        QList<qsizetype> caretsWhenClicked;
        connect(m_view, &LogView::clicked, this,
                [&] { caretsWhenClicked.append(m_view->selStart()); });
        QWidget *viewport = m_view->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, pointOf(m_view, 9));
        QCOMPARE(caretsWhenClicked, QList<qsizetype>{9});
        const QPoint to = pointOf(m_view, 11);
        QTest::mousePress(viewport, Qt::LeftButton, {}, pointOf(m_view, 3));
        QMouseEvent move(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
        press(m_view, "Ctrl+C");
        QCOMPARE(QGuiApplication::clipboard()->text().toLatin1(), QByteArray("D \xff \r\n0 "));
    }

    void longLineWraps_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("rowEnd");
        QTest::newRow("at blanks")
            << QByteArray("A BB CCC DDDD EEEEE ").repeated(30) << QStringLiteral(" ");
        QTest::newRow("no blanks") << QByteArray(600, 'W') << QStringLiteral("W");
    }

    // Long lines wrap into rows at the left edge, each ending at a blank where there is one.
    void longLineWraps()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, rowEnd);
        m_view->setText(line + "\r\nnext");
        auto *accessible = textInterface(m_view);
        int start = 0;
        int end = 0;
        QString row = accessible->textAtOffset(0, QAccessible::LineBoundary, &start, &end);
        QVERIFY2(start == 0 && end > 0 && end < line.size(), qPrintable(QString::number(end)));
        QCOMPARE(accessible->characterRect(end).left(), accessible->characterRect(0).left());
        QVERIFY(accessible->characterRect(end).top() > accessible->characterRect(0).top());
        // A narrower view wraps again, sooner.
        const int wideEnd = end;
        m_view->resize(m_view->width() / 2, m_view->height());
        accessible->textAtOffset(0, QAccessible::LineBoundary, &start, &end);
        QVERIFY2(end < wideEnd, qPrintable(QString("%1, wide %2").arg(end).arg(wideEnd)));
        for (; end < line.size();
             row = accessible->textAtOffset(end, QAccessible::LineBoundary, &start, &end))
            QVERIFY2(row.endsWith(rowEnd), qPrintable(row));
    }

    void matchesGetALightBackground_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<int>("top");
        QTest::addColumn<QList<int>>("lit");
        QTest::addColumn<QList<int>>("plain");
        const QByteArray lines = QByteArray("1 \r\n").repeated(100);
        // Positions of blanks, which draw no glyph: inside a match, and outside any.
        QTest::newRow("in a row") << QByteArray("DE AD 1 DE AD ") << QByteArray("\xDE\xAD") << 0
                                  << QList<int>{2, 10} << QList<int>{5, 7, 13};
        QTest::newRow("across a line break")
            << QByteArray("1 DE \r\nAD 2 ") << QByteArray("\xDE\xAD") << 0 << QList<int>{4}
            << QList<int>{1, 9, 11};
        QTest::newRow("never in a notice")
            << QByteArray("CommPort DE AD not available.\r\nDE AD ") << QByteArray("\xDE\xAD") << 0
            << QList<int>{33} << QList<int>{11};
        QTest::newRow("overlapping") << QByteArray("AA AA AA 1 ") << QByteArray("\xAA\xAA") << 0
                                     << QList<int>{2, 5} << QList<int>{8, 10};
        QTest::newRow("begun above the top row")
            << QByteArray("DE \r\nAD BE 7 \r\n" + lines) << QByteArray("\xDE\xAD\xBE") << 5
            << QList<int>{7} << QList<int>{10, 12};
    }

    void matchesGetALightBackground()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, pattern);
        QFETCH(int, top);
        QFETCH(QList<int>, lit);
        QFETCH(QList<int>, plain);
        m_view->setText(text);
        m_view->setMatchHighlight(pattern);
        QTest::qWait(50);
        m_view->verticalScrollBar()->setValue(top);
        const QColor base = m_view->palette().color(QPalette::Base);
        const auto shade = [&](int position) {
            return m_view->viewport()->grab().toImage().pixelColor(pointOf(m_view, position));
        };
        for (const int position : lit)
            QVERIFY2(shade(position) != base, qPrintable(QString::number(position)));
        for (const int position : plain)
            QVERIFY2(shade(position) == base, qPrintable(QString::number(position)));
        m_view->setMatchHighlight({});
        for (const int position : lit)
            QCOMPARE(shade(position), base);
    }

    // The column is never part of the text; a selection made on either side shows on both.
    void charactersBesideTheHex()
    {
        const QByteArray text("41 42 43 \r\nCommPort not available.\r\n0 7E 7F 20 ");
        m_view->setText(text);
        m_view->setCharacterColumn(true);
        QTest::qWait(50);
        QCOMPARE(m_view->text(), text);
        QWidget *viewport = m_view->viewport();
        const QRect from = m_view->characterCell(3);
        const QPoint to = m_view->characterCell(6).topRight() + QPoint(-1, 2);
        QTest::mousePress(viewport, Qt::LeftButton, {}, from.topLeft() + QPoint(1, 2));
        QMouseEvent move(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
        QCOMPARE(m_view->selText(), QByteArray("42 43"));
        QCOMPARE(m_view->selectedCharacters(), QByteArray("BC"));
        const QColor highlight = m_view->palette().color(QPalette::Highlight);
        const auto shade = [&](const QPoint &point) {
            return viewport->grab().toImage().pixelColor(point);
        };
        QCOMPARE(shade(pointOf(m_view, 5)), highlight);
        const QPoint cellOf41 = m_view->characterCell(0).topLeft() + QPoint(1, 1);
        QVERIFY(shade(cellOf41) != highlight);
        m_view->setSelection(1, 1);
        QCOMPARE(shade(cellOf41), highlight);
        m_view->selectAll();
        m_view->copyCharacters();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("ABC.~. "));
        // One-digit items are narrower than their cells: the rows hold no more than fit.
        m_view->setText(QByteArray("1 ").repeated(40));
        QTest::qWait(50);
        for (int position = 0; position < 80; position += 2) {
            const QRect cell = m_view->characterCell(position);
            QVERIFY2(cell.isValid() && cell.right() < viewport->width(),
                     qPrintable(QString::number(position)));
        }
        m_view->setCharacterColumn(false);
        QCOMPARE(m_view->characterCell(0), QRect());
    }

    void followsInsertedText()
    {
        for (int i = 0; i < 500; ++i)
            m_view->setSelText("41 D A \r\n");
        QScrollBar *bar = m_view->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 400);
        QCOMPARE(bar->value(), bar->maximum());
        m_view->setSelStart(0);
        QTRY_COMPARE(bar->value(), 0);
    }

    void accessibleAsReadOnlyText()
    {
        m_view->setText("41 D \r\nA ");
        m_view->setSelStart(2);
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(m_view);
        QVERIFY(accessible->state().readOnly);
        QAccessibleTextInterface *text = accessible->textInterface();
        QCOMPARE(text->text(0, 9), QStringLiteral("41 D \r\nA "));
        QCOMPARE(text->cursorPosition(), 2);
        int start = 0;
        int end = 0;
        QCOMPARE(text->textAtOffset(3, QAccessible::WordBoundary, &start, &end),
                 QStringLiteral("D "));
        m_view->selectAll();
        text->selection(0, &start, &end);
        QCOMPARE(end - start, 9);
    }
};

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
