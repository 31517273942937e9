#include "app/logview/logview.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QScreen>
#include <QTest>
#include <map>

namespace {

// Chunks by where they start; a time of -1 is a chunk without one.
class TableTimes final : public ArrivalTimes
{
public:
    TableTimes(std::map<qint64, qint64> chunks, qint64 size)
        : m_chunks(std::move(chunks)), m_size(size)
    {
    }
    void append(qint64 start, qint64 time, qint64 size)
    {
        m_chunks[start] = time;
        m_size = size;
    }
    std::vector<Chunk> chunksIn(qint64 from, qint64 to) const override
    {
        std::vector<Chunk> chunks;
        for (auto at = m_chunks.begin(); at != m_chunks.end(); ++at) {
            const qint64 end = std::next(at) == m_chunks.end() ? m_size : std::next(at)->first;
            if (end > from && at->first < to)
                chunks.push_back(
                    {at->first, end, at->second < 0 ? std::nullopt : std::optional(at->second)});
        }
        return chunks;
    }
    std::optional<qint64> originMs() const override
    {
        for (const auto &[start, time] : m_chunks)
            if (time >= 0)
                return time;
        return std::nullopt;
    }

private:
    std::map<qint64, qint64> m_chunks;
    qint64 m_size = 0;
};

const qint64 kStart = QDateTime(QDate(2026, 12, 7), QTime(22, 15, 1, 250)).toMSecsSinceEpoch();

QRect characterRect(LogView &view, int position)
{
    auto *text = QAccessible::queryAccessibleInterface(&view)->textInterface();
    const QRect rect = text->characterRect(position);
    return QRect(view.viewport()->mapFromGlobal(rect.topLeft()), rect.size());
}

} // namespace

// The time column and the quiet-gap rules beside the text, from times given by a table.
class TestLogViewTimes : public QObject
{
    Q_OBJECT
    std::unique_ptr<LogView> m_view;
    std::unique_ptr<TableTimes> m_times;

    void show(const QByteArray &text, std::map<qint64, qint64> chunks)
    {
        m_view = std::make_unique<LogView>();
        m_times = std::make_unique<TableTimes>(std::move(chunks), text.size());
        m_view->setText(text);
        m_view->setArrivalTimes(m_times.get());
        m_view->resize(500, 300);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

private Q_SLOTS:
    void cleanup()
    {
        m_view.reset();
        m_times.reset();
    }

    void columnShowsEachRowsFirstItem_data();
    void columnShowsEachRowsFirstItem();
    void wrappedRowKeepsItsFirstItemsTime();
    void columnIsNeverPartOfTheText();
    void quietGapsAtTheThreshold_data();
    void quietGapsAtTheThreshold();
    void tooltipsTellTimesSpansAndCounts();
    void appendedTextIsDrawnAsAFullPaintWould();
};

void TestLogViewTimes::columnShowsEachRowsFirstItem_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<qint64>("second");
    QTest::addColumn<QStringList>("rows");
    const qint64 beforeMidnight =
        QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59, 500)).toMSecsSinceEpoch();
    QTest::newRow("time of day") << int(TimeFormat::TimeOfDay) << kStart + 1234
                                 << QStringList{"2026-12-07 22:15:01.250", "22:15:02.484", ""};
    QTest::newRow("time of day, the date changes")
        << int(TimeFormat::TimeOfDay) << beforeMidnight + 1000
        << QStringList{"2026-12-07 22:15:01.250", "2026-12-08 00:00:00.500", ""};
    QTest::newRow("seconds since start")
        << int(TimeFormat::SinceStart) << kStart + 61001 << QStringList{"0.000", "61.001", ""};
    QTest::newRow("gap since the previous row")
        << int(TimeFormat::SincePrevious) << kStart + 40 << QStringList{"", "+0.040", ""};
}

void TestLogViewTimes::columnShowsEachRowsFirstItem()
{
    QFETCH(int, format);
    QFETCH(qint64, second);
    QFETCH(QStringList, rows);
    // Two timed lines, then one loaded from a log without times.
    show("41 42 \r\n43 \r\n44 45 \r\n", {{0, kStart}, {8, second}, {13, -1}});
    m_view->setTimeColumn(TimeFormat(format));
    QCOMPARE(m_view->timeColumnText(0), rows[0]);
    QCOMPARE(m_view->timeColumnText(9), rows[1]);
    QCOMPARE(m_view->timeColumnText(13), rows[2]);
}

void TestLogViewTimes::wrappedRowKeepsItsFirstItemsTime()
{
    // One line of twenty items; the chunk after the second item arrived 50 ms later.
    QByteArray line;
    for (int i = 0; i < 20; ++i)
        line += QByteArray::number(0x30 + i, 16).toUpper() + ' ';
    show(line + "\r\n", {{0, kStart}, {6, kStart + 50}});
    m_view->setTimeColumn(TimeFormat::SinceStart);
    // The column leaves room for about five items a row.
    const int left = characterRect(*m_view, 0).left();
    const int item = characterRect(*m_view, 3).left() - left;
    m_view->resize(m_view->width() - m_view->viewport()->width() + left + item * 5, 300);
    QTest::qWait(50);
    int rowStarts = 0;
    for (int position = 0; position < line.size(); position += 3) {
        if (characterRect(*m_view, position).left() != left)
            continue;
        ++rowStarts;
        QCOMPARE(m_view->timeColumnText(position), position < 6 ? "0.000" : "0.050");
    }
    QVERIFY2(rowStarts >= 3, "the line was not wrapped");
    QCOMPARE(m_view->text(), line + "\r\n");
}

void TestLogViewTimes::columnIsNeverPartOfTheText()
{
    const QByteArray text = "41 42 \r\n43 ";
    show(text, {{0, kStart}, {8, kStart + 500}});
    const int bare = characterRect(*m_view, 0).left();
    m_view->setTimeColumn(TimeFormat::TimeOfDay);
    m_view->setQuietGapMarks(100);
    QTest::qWait(50);
    QVERIFY2(characterRect(*m_view, 0).left() > bare + 50, "the text was not moved aside");
    m_view->selectAll();
    m_view->copy();
    QCOMPARE(QApplication::clipboard()->text(), QString::fromLatin1(text));
    QCOMPARE(m_view->selText(), text);
    QCOMPARE(m_view->text(), text);
    m_view->setTimeColumn(std::nullopt);
    QTest::qWait(50);
    QCOMPARE(characterRect(*m_view, 0).left(), bare);
}

void TestLogViewTimes::quietGapsAtTheThreshold_data()
{
    QTest::addColumn<qint64>("firstTime");
    QTest::addColumn<qint64>("gap");
    QTest::addColumn<bool>("marked");
    QTest::newRow("short") << kStart << qint64(20) << false;
    QTest::newRow("exactly the threshold") << kStart << qint64(100) << false;
    QTest::newRow("just longer") << kStart << qint64(101) << true;
    QTest::newRow("long") << kStart << qint64(400) << true;
    QTest::newRow("after text without times") << qint64(-1) << qint64(400) << false;
}

void TestLogViewTimes::quietGapsAtTheThreshold()
{
    QFETCH(qint64, firstTime);
    QFETCH(qint64, gap);
    QFETCH(bool, marked);
    const qint64 second = (firstTime < 0 ? kStart : firstTime) + gap;
    // A gap inside a row, and one before a row's first item.
    show("41 42 43 \r\n44 45 \r\n46 ", {{0, firstTime}, {6, second}, {11, second + gap}});
    m_view->setQuietGapMarks(100);
    QCOMPARE(m_view->quietGapsInRow(0), marked ? std::vector<qint64>{6} : std::vector<qint64>{});
    QCOMPARE(m_view->quietGapsInRow(11),
             gap > 100 ? std::vector<qint64>{11} : std::vector<qint64>{});
    m_view->setQuietGapMarks(std::nullopt);
    QVERIFY(m_view->quietGapsInRow(0).empty());
}

void TestLogViewTimes::tooltipsTellTimesSpansAndCounts()
{
    show("41 42 \r\nLost\r\n43 ", {{0, kStart}, {8, -1}, {14, kStart + 2500}});
    QCOMPARE(m_view->timeTip(3), "Arrived 2026-12-07 22:15:01.250");
    QCOMPARE(m_view->timeTip(10), QString());
    QCOMPARE(m_view->timeTip(15), "Arrived 2026-12-07 22:15:03.750");
    show("41 42 \r\n43 ", {{0, kStart}, {8, kStart + 2500}});
    QCOMPARE(m_view->timeTip(9), "Arrived 2026-12-07 22:15:03.750\nGap before its chunk: 2.500 s");
    m_view->setSelStart(1);
    QTest::keyClick(m_view.get(), Qt::Key_End, Qt::ShiftModifier | Qt::ControlModifier);
    QCOMPARE(m_view->selectionTimeTip(),
             "3 bytes received\nFrom 2026-12-07 22:15:01.250 to 2026-12-07 22:15:03.750, 2.500 s");
}

void TestLogViewTimes::appendedTextIsDrawnAsAFullPaintWould()
{
    show("", {});
    m_view->resize(400, 160);
    m_view->setTimeColumn(TimeFormat::TimeOfDay);
    m_view->setQuietGapMarks(100);
    m_view->setFocus();
    // Chunks of a few items, some after a quiet spell, each drawn before the next arrives.
    for (int chunk = 0; chunk < 50; ++chunk) {
        const QByteArray items = QByteArray("41 42 43 \r\n").left(chunk % 3 == 0 ? 6 : 11);
        m_times->append(m_view->length(), kStart + chunk * 150, m_view->length() + items.size());
        m_view->setSelText(items);
        QTest::qWait(chunk % 7 == 0 ? 5 : 45);
    }
    QTest::qWait(100);
    // What the screen holds after the partial paints, against the view painted whole.
    const QRect area(m_view->viewport()->mapTo(m_view.get(), QPoint(0, 0)),
                     m_view->viewport()->size());
    const QImage shown =
        m_view->screen()
            ->grabWindow(m_view->winId(), area.x(), area.y(), area.width(), area.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    const QImage whole = m_view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), whole.size());
    QVERIFY(shown == whole);
}

QTEST_MAIN(TestLogViewTimes)
#include "tst_logviewtimes.moc"
