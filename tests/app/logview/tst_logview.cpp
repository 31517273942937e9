#include "logview.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
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
        layout->addWidget(view = new LogView);
        layout->addWidget(button = new QPushButton(QStringLiteral("Next")));
        resize(400, 300);
    }
    LogView *view = nullptr;
    QPushButton *button = nullptr;
    QList<int> passedKeys;

protected:
    void keyPressEvent(QKeyEvent *event) override { passedKeys.append(event->key()); }
};

QAccessibleTextInterface *textInterface(LogView *view)
{
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(view);
    return accessible ? accessible->textInterface() : nullptr;
}

QByteArray joined(const QList<QByteArrayView> &pieces)
{
    QByteArray text;
    for (QByteArrayView piece : pieces)
        text.append(piece);
    return text;
}
} // namespace

class TestLogView : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void setSelStartClamps_data();
    void setSelStartClamps();
    void setSelTextReplacesSelection_data();
    void setSelTextReplacesSelection();
    void textRoundTrips_data();
    void textRoundTrips();
    void keyboardMovesAndSelects_data();
    void keyboardMovesAndSelects();
    void editingKeysChangeNothing_data();
    void editingKeysChangeNothing();
    void windowKeysPassThrough_data();
    void windowKeysPassThrough();
    void tabMovesFocusOn();
    void clickMovesCaretAndEmitsClicked();
    void dragSelects();
    void copyPutsExactText();
    void longLineWraps_data();
    void longLineWraps();
    void followsInsertedText();
    void accessibleAsReadOnlyText();

private:
    Window *m_window = nullptr;
    LogView *m_view = nullptr;
};

void TestLogView::init()
{
    m_window = new Window;
    m_view = m_window->view;
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    m_view->setFocus();
}

void TestLogView::cleanup()
{
    delete m_window;
}

void TestLogView::setSelStartClamps_data()
{
    QTest::addColumn<qsizetype>("position");
    QTest::addColumn<qsizetype>("caret");
    QTest::newRow("inside") << qsizetype(3) << qsizetype(3);
    QTest::newRow("negative") << qsizetype(-5) << qsizetype(0);
    QTest::newRow("past the end") << qsizetype(1000) << qsizetype(7);
}

void TestLogView::setSelStartClamps()
{
    QFETCH(qsizetype, position);
    QFETCH(qsizetype, caret);
    m_view->setText("41 \r\nA ");
    m_view->selectAll();
    m_view->setSelStart(position);
    QCOMPARE(m_view->selStart(), caret);
    QCOMPARE(m_view->selLength(), 0);
    m_view->setSelText("X");
    QCOMPARE(m_view->text(), QByteArray("41 \r\nA ").insert(caret, 'X'));
}

void TestLogView::setSelTextReplacesSelection_data()
{
    QTest::addColumn<QByteArray>("initial");
    QTest::addColumn<qsizetype>("caret");
    QTest::addColumn<int>("shiftRights");
    QTest::addColumn<QByteArray>("inserted");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<qsizetype>("caretAfter");
    QTest::newRow("append") << QByteArray("41 ") << qsizetype(3) << 0 << QByteArray("D ")
                            << QByteArray("41 D ") << qsizetype(5);
    QTest::newRow("insert in middle") << QByteArray("41 D ") << qsizetype(3) << 0
                                      << QByteArray("0 ") << QByteArray("41 0 D ") << qsizetype(5);
    QTest::newRow("replace selection")
        << QByteArray("41 D A ") << qsizetype(3) << 2 << QByteArray("FF ") << QByteArray("41 FF A ")
        << qsizetype(6);
    QTest::newRow("selection over crlf") << QByteArray("41 \r\nA ") << qsizetype(3) << 1
                                         << QByteArray("") << QByteArray("41 A ") << qsizetype(3);
    QTest::newRow("empty insert keeps text") << QByteArray("41 ") << qsizetype(1) << 0
                                             << QByteArray() << QByteArray("41 ") << qsizetype(1);
}

void TestLogView::setSelTextReplacesSelection()
{
    QFETCH(QByteArray, initial);
    QFETCH(qsizetype, caret);
    QFETCH(int, shiftRights);
    QFETCH(QByteArray, inserted);
    QFETCH(QByteArray, expected);
    QFETCH(qsizetype, caretAfter);
    m_view->setText(initial);
    m_view->setSelStart(caret);
    for (int i = 0; i < shiftRights; ++i)
        QTest::keyClick(m_view, Qt::Key_Right, Qt::ShiftModifier);
    m_view->setSelText(inserted);
    QCOMPARE(m_view->text(), expected);
    QCOMPARE(m_view->selStart(), caretAfter);
    QCOMPARE(m_view->selLength(), 0);
}

void TestLogView::textRoundTrips_data()
{
    QTest::addColumn<QByteArray>("text");
    QByteArray all;
    for (int b = 255; b >= 0; --b)
        all.append(char(b));
    QTest::newRow("all byte values") << all;
    QTest::newRow("line break variants") << QByteArray("a\r\nb\nc\rd\r\r\n\n\re\r");
    QTest::newRow("nul only") << QByteArray(3, '\0');
}

// Exact bytes whether the text is set whole or inserted piece by piece.
void TestLogView::textRoundTrips()
{
    QFETCH(QByteArray, text);
    m_view->setText(text);
    QCOMPARE(m_view->text(), text);
    QCOMPARE(m_view->length(), text.size());
    m_view->setText(QByteArray());
    for (qsizetype i = 0; i < text.size(); i += 2)
        m_view->setSelText(text.mid(i, 2));
    QCOMPARE(m_view->text(), text);
    QCOMPARE(joined(m_view->textPieces()), text);
    m_view->selectAll();
    QCOMPARE(m_view->selText(), text);
}

void TestLogView::keyboardMovesAndSelects_data()
{
    QTest::addColumn<qsizetype>("caret");
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<qsizetype>("selStart");
    QTest::addColumn<qsizetype>("selLength");
    // Text: "AB CD\r\nEF\nGH" (lines start at 0, 7 and 10).
    QTest::newRow("shift right") << qsizetype(0) << QKeySequence("Shift+Right, Shift+Right")
                                 << qsizetype(0) << qsizetype(2);
    QTest::newRow("right over crlf")
        << qsizetype(5) << QKeySequence("Shift+Right") << qsizetype(5) << qsizetype(2);
    QTest::newRow("left over crlf")
        << qsizetype(7) << QKeySequence("Left") << qsizetype(5) << qsizetype(0);
    QTest::newRow("shift end") << qsizetype(1) << QKeySequence("Shift+End") << qsizetype(1)
                               << qsizetype(4);
    QTest::newRow("home") << qsizetype(9) << QKeySequence("Home") << qsizetype(7) << qsizetype(0);
    QTest::newRow("down keeps column")
        << qsizetype(1) << QKeySequence("Down") << qsizetype(8) << qsizetype(0);
    QTest::newRow("shift up") << qsizetype(11) << QKeySequence("Shift+Up") << qsizetype(8)
                              << qsizetype(3);
    QTest::newRow("ctrl end") << qsizetype(2) << QKeySequence("Ctrl+End") << qsizetype(12)
                              << qsizetype(0);
    QTest::newRow("shift ctrl home")
        << qsizetype(8) << QKeySequence("Ctrl+Shift+Home") << qsizetype(0) << qsizetype(8);
    QTest::newRow("shift page down")
        << qsizetype(0) << QKeySequence("Shift+PgDown") << qsizetype(0) << qsizetype(10);
    QTest::newRow("select all") << qsizetype(4) << QKeySequence("Ctrl+A") << qsizetype(0)
                                << qsizetype(12);
    QTest::newRow("move drops selection")
        << qsizetype(0) << QKeySequence("Ctrl+A, Left") << qsizetype(0) << qsizetype(0);
}

void TestLogView::keyboardMovesAndSelects()
{
    QFETCH(qsizetype, caret);
    QFETCH(QKeySequence, keys);
    QFETCH(qsizetype, selStart);
    QFETCH(qsizetype, selLength);
    m_view->setFont(QFont(QStringLiteral("monospace")));
    m_view->setText("AB CD\r\nEF\nGH");
    m_view->setSelStart(caret);
    for (int i = 0; i < keys.count(); ++i)
        QTest::keySequence(m_view, QKeySequence(keys[i]));
    QCOMPARE(m_view->selStart(), selStart);
    QCOMPARE(m_view->selLength(), selLength);
}

void TestLogView::editingKeysChangeNothing_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::newRow("typing") << QKeySequence("A, 1, Space");
    QTest::newRow("backspace") << QKeySequence("Backspace");
    QTest::newRow("delete") << QKeySequence("Del");
    QTest::newRow("paste") << QKeySequence("Ctrl+V");
    QTest::newRow("cut") << QKeySequence("Ctrl+X");
    QTest::newRow("shift insert") << QKeySequence("Shift+Ins");
}

void TestLogView::editingKeysChangeNothing()
{
    QFETCH(QKeySequence, keys);
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
    m_view->setText("41 D \r\nA ");
    m_view->setSelStart(3);
    QTest::keyClick(m_view, Qt::Key_Right, Qt::ShiftModifier);
    for (int i = 0; i < keys.count(); ++i)
        QTest::keySequence(m_view, QKeySequence(keys[i]));
    QCOMPARE(m_view->text(), QByteArray("41 D \r\nA "));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("pasted"));
}

void TestLogView::windowKeysPassThrough_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("return") << int(Qt::Key_Return);
    QTest::newRow("enter") << int(Qt::Key_Enter);
    QTest::newRow("escape") << int(Qt::Key_Escape);
}

void TestLogView::windowKeysPassThrough()
{
    QFETCH(int, key);
    m_view->setText("41 ");
    QTest::keyClick(m_view, Qt::Key(key));
    QCOMPARE(m_window->passedKeys, QList<int>{key});
    QCOMPARE(m_view->text(), QByteArray("41 "));
}

void TestLogView::tabMovesFocusOn()
{
    QVERIFY(m_view->hasFocus());
    QTest::keyClick(m_view, Qt::Key_Tab);
    QVERIFY(m_window->button->hasFocus());
    QTest::keyClick(m_window->button, Qt::Key_Backtab, Qt::ShiftModifier);
    QVERIFY(m_view->hasFocus());
}

void TestLogView::clickMovesCaretAndEmitsClicked()
{
    m_view->setText("41 D A \r\n0 FF \r\n");
    QSignalSpy clicked(m_view, &LogView::clicked);
    qsizetype caretWhenClicked = -1;
    connect(m_view, &LogView::clicked, this, [&] { caretWhenClicked = m_view->selStart(); });
    const QRect second = textInterface(m_view)->characterRect(9);
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {},
                      m_view->viewport()->mapFromGlobal(second.topLeft() + QPoint(1, 2)));
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(caretWhenClicked, 9);
}

void TestLogView::dragSelects()
{
    m_view->setText("41 D A \r\n0 FF \r\n");
    auto *accessible = textInterface(m_view);
    QWidget *viewport = m_view->viewport();
    const QPoint from =
        viewport->mapFromGlobal(accessible->characterRect(3).topLeft()) + QPoint(1, 2);
    const QPoint to =
        viewport->mapFromGlobal(accessible->characterRect(11).topLeft()) + QPoint(1, 2);
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
    QCOMPARE(m_view->selStart(), 3);
    QCOMPARE(m_view->selText(), QByteArray("D A \r\n0 "));
}

void TestLogView::copyPutsExactText()
{
    const QByteArray text("41 \r\n0 \xff\x80 \r\n");
    m_view->setText(text);
    m_view->setSelStart(3);
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(m_view, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keySequence(m_view, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text().toLatin1(), QByteArray("\r\n0 \xff"));
    QTest::keySequence(m_view, QKeySequence::SelectAll);
    m_view->copy();
    QCOMPARE(QGuiApplication::clipboard()->text().toLatin1(), text);
}

void TestLogView::longLineWraps_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("atBlanks");
    QByteArray items;
    for (int i = 0; i < 200; ++i)
        items.append("FF ");
    QTest::newRow("hex items") << items << true;
    QTest::newRow("no blanks") << QByteArray(600, 'W') << false;
}

void TestLogView::longLineWraps()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, atBlanks);
    m_view->setText(line + "\r\nnext");
    auto *accessible = textInterface(m_view);
    int start = 0;
    int end = 0;
    const QString firstRow = accessible->textAtOffset(0, QAccessible::LineBoundary, &start, &end);
    QCOMPARE(start, 0);
    QVERIFY2(end > 0 && end < line.size(), qPrintable(QString::number(end)));
    if (atBlanks)
        QVERIFY(firstRow.endsWith(QLatin1String("FF ")));
    QVERIFY(accessible->characterRect(0).right() < m_view->viewport()->width());
    QCOMPARE(accessible->characterRect(end).left(), accessible->characterRect(0).left());
    QVERIFY(accessible->characterRect(end).top() > accessible->characterRect(0).top());
    accessible->textAfterOffset(0, QAccessible::LineBoundary, &start, &end);
    QVERIFY(end <= line.size() + 2);
    QCOMPARE(m_view->text(), line + "\r\nnext");
}

void TestLogView::followsInsertedText()
{
    m_view->setText(QByteArray());
    for (int i = 0; i < 500; ++i)
        m_view->setSelText("41 D A \r\n");
    QScrollBar *bar = m_view->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 400);
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(textInterface(m_view)->characterRect(int(m_view->length())).isValid());
    m_view->setSelStart(0);
    QTRY_COMPARE(bar->value(), 0);
}

void TestLogView::accessibleAsReadOnlyText()
{
    m_view->setAccessibleName(QStringLiteral("Logged data"));
    m_view->setText("41 D \r\nA ");
    m_view->setSelStart(2);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(m_view);
    QVERIFY(accessible);
    QCOMPARE(accessible->role(), QAccessible::EditableText);
    QVERIFY(accessible->state().readOnly);
    QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Logged data"));
    QAccessibleTextInterface *text = accessible->textInterface();
    QVERIFY(text);
    QCOMPARE(text->characterCount(), 9);
    QCOMPARE(text->text(0, 9), QStringLiteral("41 D \r\nA "));
    QCOMPARE(text->cursorPosition(), 2);
    int start = 0;
    int end = 0;
    QCOMPARE(text->textAtOffset(3, QAccessible::WordBoundary, &start, &end), QStringLiteral("D "));
    QCOMPARE(text->textAtOffset(8, QAccessible::LineBoundary, &start, &end), QStringLiteral("A "));
    QCOMPARE(text->textAtOffset(1, QAccessible::LineBoundary, &start, &end),
             QStringLiteral("41 D \r\n"));
    QCOMPARE(text->textAtOffset(4, QAccessible::CharBoundary, &start, &end), QStringLiteral(" "));
    m_view->selectAll();
    QCOMPARE(text->selectionCount(), 1);
    text->selection(0, &start, &end);
    QCOMPARE(end - start, 9);
}

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
