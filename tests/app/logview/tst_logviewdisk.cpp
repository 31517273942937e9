#include "app/logview/logview.h"
#include "app/toolkit/messagebox.h"
#include "support/disktext.h"
#include "support/keys.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

namespace {

constexpr qint64 k2GiB = qint64(1) << 31;
constexpr qint64 k4GiB = qint64(1) << 32;

// Writes the pieces at their offsets into a file of the given size, sparse everywhere else.
bool writeSparse(const QString &name, qint64 size, const QList<QPair<qint64, QByteArray>> &pieces)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(size))
        return false;
    for (const auto &[offset, bytes] : pieces) {
        if (!file.seek(offset) || file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

// The position shown at the start of the view's top row.
qint64 topPosition(LogView *view)
{
    QAccessibleTextInterface *text = QAccessible::queryAccessibleInterface(view)->textInterface();
    return text->offsetAtPoint(view->viewport()->mapToGlobal(QPoint(1, 6)));
}

} // namespace

class TestLogViewDisk : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_view = std::make_unique<LogView>();
        m_view->setFont(QFont(QStringLiteral("monospace")));
        m_view->resize(400, 300);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        m_view->setFocus();
        m_boxes.clear();
        MessageBox::setResponder([this](const MessageBox::Shown &shown) {
            m_boxes.append(shown);
            return int(MessageBox::Ok);
        });
    }
    void cleanup()
    {
        m_view.reset();
        MessageBox::setResponder({});
    }

    void offsetsPast4GiBAndALineLongerThan2GiB();
    void fileCutShortWhileShown();
    void copyIsCapped();
    void readersGetWhatIsNear();
    void scrollBarMovesByRows_data();
    void scrollBarMovesByRows();

private:
    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir m_dir;
    std::unique_ptr<LogView> m_view;
    QList<MessageBox::Shown> m_boxes;
};

// Rows, keys and the scroll bar work at offsets past 4 GiB, and in a line longer than 2 GiB: the
// zero bytes up to the first items have no line break.
void TestLogViewDisk::offsetsPast4GiBAndALineLongerThan2GiB()
{
    const QByteArray lines = QByteArray("41 42 43 \r\n").repeated(20);
    const qint64 size = k4GiB + 4096;
    QVERIFY(writeSparse(path("big.txt"), size,
                        {{k4GiB - 100, lines}, {size - 13, "\r\n" + lines.left(11)}}));
    m_view->setStorage(openDiskText(path("big.txt"), m_dir.path()));
    QCOMPARE(m_view->length(), size);
    press(m_view.get(), "Ctrl+End");
    QCOMPARE(m_view->selStart(), size);
    QScrollBar *bar = m_view->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
    press(m_view.get(), "Shift+Up");
    QCOMPARE(m_view->selText(), lines.left(11));

    // The lines start 100 bytes before 4 GiB, so one of them starts at 4 GiB - 1.
    m_view->setSelStart(k4GiB + 2);
    press(m_view.get(), "Home, Shift+End");
    QCOMPARE(m_view->selStart(), k4GiB - 1);
    QCOMPARE(m_view->selText(), QByteArray("41 42 43 "));
    press(m_view.get(), "Down, Shift+Left");
    QCOMPARE(m_view->selStart(), k4GiB - 1 + 11 + 8);
    QTRY_VERIFY(bar->value() > bar->maximum() / 2);

    // The long line ends at 4 GiB - 91: up from the next line lands in its last row.
    const qint64 longLineEnd = k4GiB - 91;
    m_view->setSelStart(longLineEnd + 2);
    press(m_view.get(), "Up");
    const qint64 rowAbove = m_view->selStart();
    QVERIFY2(rowAbove > longLineEnd - 1000 && rowAbove <= longLineEnd,
             qPrintable(QString::number(rowAbove)));
    press(m_view.get(), "PgUp");
    QVERIFY(m_view->selStart() < rowAbove && m_view->selStart() > longLineEnd - 100000);
    m_view->setSelStart(k2GiB + 1);
    press(m_view.get(), "Right, Shift+Right");
    QCOMPARE(m_view->selStart(), k2GiB + 2);
    QCOMPARE(m_view->selText(), QByteArray(1, '\0'));
    press(m_view.get(), "Ctrl+Home, Right");
    QCOMPARE(m_view->selStart(), 1);
    QTRY_COMPARE(bar->value(), 0);
}

// A log cut short while shown: the view goes on, and a copy of what is gone is refused aloud.
void TestLogViewDisk::fileCutShortWhileShown()
{
    const QByteArray content = QByteArray("0 1 2 3 4 5 6 7 8 9 A B C D E F \r\n").repeated(60000);
    QVERIFY(writeSparse(path("log.txt"), content.size(), {{0, content}}));
    m_view->setStorage(openDiskText(path("log.txt"), m_dir.path()));
    m_view->setSelStart(content.size() / 2);
    m_view->viewport()->repaint();
    QCOMPARE(QProcess::execute(QStringLiteral("truncate"), {"-s", "1000", path("log.txt")}), 0);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    press(m_view.get(), "PgDown, PgDown, Ctrl+End, PgUp, Up");
    m_view->viewport()->repaint();
    press(m_view.get(), "Ctrl+A, Ctrl+C");
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes[0].style, int(MessageBox::Warning));
    QVERIFY2(m_boxes[0].text.startsWith("Nothing was copied"), qPrintable(m_boxes[0].text));
    press(m_view.get(), "Ctrl+Home, Shift+Down");
    QCOMPARE(m_view->selText(), content.left(34));
    QCOMPARE(m_view->length(), content.size());
}

// Select All and Copy of a log larger than the clipboard takes copies the start and says so.
void TestLogViewDisk::copyIsCapped()
{
    const qint64 size = LogView::CopyLimit + 1000000;
    QVERIFY(writeSparse(path("log.txt"), size, {{0, "AB CD \r\n"}}));
    m_view->setStorage(openDiskText(path("log.txt"), m_dir.path()));
    press(m_view.get(), "Ctrl+A, Ctrl+C");
    const QString copied = QGuiApplication::clipboard()->text();
    QCOMPARE(copied.size(), LogView::CopyLimit);
    QVERIFY(copied.startsWith("AB CD \r\n"));
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes[0].style, int(MessageBox::Information));
    QCOMPARE(m_boxes[0].text, QStringLiteral("Only the first %1 bytes of the selection were "
                                             "copied; it holds %2 bytes. Select less to copy it "
                                             "whole.")
                                  .arg(LogView::CopyLimit)
                                  .arg(size));
}

// Screen readers asking for everything get what is shown, or a bounded piece.
void TestLogViewDisk::readersGetWhatIsNear()
{
    const QByteArray line("41 42 43 \r\n");
    QVERIFY(writeSparse(path("log.txt"), 3 * k2GiB, {{0, line.repeated(1000)}}));
    m_view->setStorage(openDiskText(path("log.txt"), m_dir.path()));
    QAccessibleTextInterface *text =
        QAccessible::queryAccessibleInterface(m_view.get())->textInterface();
    QCOMPARE(text->characterCount(), INT_MAX);
    const QString asked = text->text(0, text->characterCount());
    QCOMPARE(asked.size(), 65536);
    QVERIFY(asked.startsWith(QString::fromLatin1(line)));
    int start = -1;
    int end = -1;
    const QString shown = text->textAtOffset(5, QAccessible::NoBoundary, &start, &end);
    QCOMPARE(start, 0);
    QVERIFY(end > 2 * line.size() && end < 200 * line.size());
    QCOMPARE(shown, QString::fromLatin1(line.repeated(end / line.size())));
}

void TestLogViewDisk::scrollBarMovesByRows_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("rows");
    QTest::newRow("step down") << int(QAbstractSlider::SliderSingleStepAdd) << 1;
    QTest::newRow("step up") << int(QAbstractSlider::SliderSingleStepSub) << -1;
    QTest::newRow("page down") << int(QAbstractSlider::SliderPageStepAdd) << 0;
    QTest::newRow("page up") << int(QAbstractSlider::SliderPageStepSub) << 0;
    QTest::newRow("wheel down") << -1 << 3;
}

// Steps, pages and the wheel move whole rows; dragging the slider lands on a row start.
void TestLogViewDisk::scrollBarMovesByRows()
{
    QFETCH(int, action);
    QFETCH(int, rows);
    constexpr qint64 lineLength = 14;
    m_view->setText(QByteArray("00 11 22 33 \r\n").repeated(5000));
    QScrollBar *bar = m_view->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum() / 2);
    const qint64 middle = topPosition(m_view.get());
    QCOMPARE(middle % lineLength, 0);
    QVERIFY(std::abs(middle - qint64(bar->maximum() / 2)) < lineLength);
    const qint64 page = topPosition(m_view.get()) - [&] {
        bar->triggerAction(QAbstractSlider::SliderPageStepSub);
        return topPosition(m_view.get());
    }();
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(topPosition(m_view.get()), middle);
    QVERIFY(page > 5 * lineLength);
    if (rows == 0)
        rows = int((action == QAbstractSlider::SliderPageStepAdd ? page : -page) / lineLength);
    if (action >= 0) {
        bar->triggerAction(QAbstractSlider::SliderAction(action));
    } else {
        const QPoint at(10, 10);
        QWheelEvent wheel(at, m_view->viewport()->mapToGlobal(at), {}, {0, -120}, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_view->viewport(), &wheel);
        rows = rows * QApplication::wheelScrollLines() / 3;
    }
    QCOMPARE(topPosition(m_view.get()), middle + rows * lineLength);
    QCOMPARE(bar->value(), int(topPosition(m_view.get())));
}

QTEST_MAIN(TestLogViewDisk)
#include "tst_logviewdisk.moc"
