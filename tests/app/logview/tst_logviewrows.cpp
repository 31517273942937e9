#include "app/logview/charactercolumn.h"
#include "app/logview/logviewlayout.h"
#include "app/logview/logviewrows.h"
#include "logfile/logtext.h"
#include "support/disktext.h"
#include "support/files.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

using Row = LogViewRows::Row;
constexpr qint64 S = LogViewRows::SegmentBytes;

// Lines split the simple way, long ones cut at multiples of S: the rows of an unwrapped view.
QList<QPair<qint64, qint64>> referenceRows(const QByteArray &text)
{
    QList<QPair<qint64, qint64>> rows;
    qint64 start = 0;
    const auto addLine = [&](qint64 end) {
        if (end - start <= S) {
            rows.append({start, end});
            return;
        }
        for (qint64 from = start; from < end || from == start; from = (from / S + 1) * S)
            rows.append({from, std::min(end, (from / S + 1) * S)});
    };
    for (qint64 i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        addLine(i);
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    addLine(text.size());
    return rows;
}

QList<QPair<qint64, qint64>> rowsForward(const LogViewRows &rows)
{
    QList<QPair<qint64, qint64>> found;
    Row row = rows.rowAt(0);
    do {
        found.append({row.start, row.end});
    } while (rows.nextRow(row) && found.size() < 1000000);
    return found;
}

QList<QPair<qint64, qint64>> rowsBackward(const LogViewRows &rows, qint64 size)
{
    QList<QPair<qint64, qint64>> found;
    Row row = rows.rowAt(size);
    do {
        found.prepend({row.start, row.end});
    } while (rows.previousRow(row) && found.size() < 1000000);
    return found;
}

// Every position lies in the row that the walk gives for it.
void verifyRowsAt(const LogViewRows &rows, const QList<QPair<qint64, qint64>> &expected,
                  const QByteArray &text, qint64 step)
{
    qsizetype index = 0;
    for (qint64 p = 0; p <= text.size(); p += step) {
        while (index + 1 < expected.size() && expected[index + 1].first <= p)
            ++index;
        const Row row = rows.rowAt(p);
        const auto at = [p](qint64 start, qint64 end) {
            return QStringLiteral("%1 in %2-%3").arg(p).arg(start).arg(end);
        };
        QCOMPARE(at(row.start, row.end), at(expected[index].first, expected[index].second));
    }
}

} // namespace

class TestLogViewRows : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { m_layout.setWidth(1e12); }

    void rowsAtBreaksAndCuts_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("only breaks") << QByteArray("\r\n\n\r\r\n\r");
        QTest::newRow("CR LF across the first scan chunk")
            << QByteArray(255, 'A') + "\r\n" + QByteArray(300, 'B') + "\r\nC";
        QTest::newRow("lone CR and LF at chunk edges") << QByteArray(256, 'A') + '\r' +
                                                              QByteArray(511, 'B') + '\n' +
                                                              QByteArray(767, 'C') + "\r";
        QTest::newRow("every byte value") << [] {
            QByteArray bytes;
            for (int b = 0; b < 256; ++b)
                bytes.append(char(b));
            return bytes.repeated(3);
        }();
        QTest::newRow("line of exactly one segment") << QByteArray(S, 'x') + "\r\n" + "y";
        QTest::newRow("line one byte over a segment") << QByteArray(S + 1, 'x') + "\n";
        QTest::newRow("long line starting inside a segment")
            << QByteArray(100, 'a') + "\r\n" + QByteArray(3 * S + 7, 'b') + "\r\n\r\nend";
        QTest::newRow("break right before a cut")
            << QByteArray(S - 2, 'a') + "\r\n" + QByteArray(2 * S, 'b');
        QTest::newRow("CR LF across a cut") << QByteArray(2 * S - 1, 'c') + "\r\n" + "d";
        QTest::newRow("hex lines") << QByteArray("41 D A 0 FF \r\n").repeated(10000);
        constexpr qint64 block = DiskLogText::BlockSize;
        QTest::newRow("CR LF across a cache block")
            << QByteArray("0 \r\n").repeated(block / 4 - 1) + "012\r\n3 \r\n";
        QTest::newRow("lone CR and LF ending cache blocks")
            << QByteArray("0 \r\n").repeated(block / 4 - 1) + "012\r" + QByteArray(block - 1, 'x') +
                   "\n" + "y";
    }

    // Walking forward, walking back and looking up any position give the same rows.
    void rowsAtBreaksAndCuts()
    {
        QFETCH(QByteArray, text);
        const auto expected = referenceRows(text);
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("log.txt"));
        QVERIFY(writeFileBytes(name, text));
        const auto onDisk = openDiskText(name, dir.path());
        const MemoryLogText inMemory(text);
        for (const LogText *storage : {static_cast<const LogText *>(&inMemory),
                                       static_cast<const LogText *>(onDisk.get())}) {
            LogViewRows rows(*storage, m_layout);
            QCOMPARE(rowsForward(rows), expected);
            rows.reset(*storage);
            QCOMPARE(rowsBackward(rows, text.size()), expected);
            rows.reset(*storage);
            verifyRowsAt(rows, expected, text, text.size() > 100000 ? 97 : 1);
        }
    }

    // Appends in small pieces change only the end; the rows stay what a fresh look gives.
    void appendsKeepRowsTrue()
    {
        const QByteArray text = QByteArray("41 \r") + "\n0 \r" + "\r\n" + QByteArray(S, 'Z') +
                                "\r" + QByteArray(S + 3, 'Y') + "\n\n";
        MemoryLogText memory;
        LogViewRows rows(memory, m_layout);
        for (qint64 at = 0; at < text.size() && !QTest::currentTestFailed();) {
            const qint64 piece = at < 16 ? 1 : 4093;
            const qint64 oldSize = memory.size();
            memory.append(text.mid(at, piece));
            at += piece;
            rows.appended(oldSize);
            QCOMPARE(rowsBackward(rows, memory.size()), referenceRows(text.left(at)));
            QCOMPARE(rowsForward(rows), referenceRows(text.left(at)));
        }
    }

    // A row that fits the width exactly keeps its last item; one pixel less moves it down.
    void rowThatFitsExactlyKeepsItsLastItem()
    {
        LogViewLayout layout;
        const QByteArray line("AB CD EF");
        QVERIFY(layout.setWidth(layout.textWidth(line)));
        QCOMPARE(layout.wrap(line), std::vector<quint32>{0});
        QVERIFY(layout.setWidth(layout.textWidth(line) - 1));
        QCOMPARE(layout.wrap(line), (std::vector<quint32>{0, 6}));
    }

    // With the characters column a row holds no more items than the column has cells.
    void rowsHoldAtMostTheItemsAllowed_data()
    {
        QTest::addColumn<int>("items");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<std::vector<quint32>>("rows");
        QTest::newRow("no limit") << 0 << QByteArray("AB CD EF 1 2 ") << std::vector<quint32>{0};
        QTest::newRow("two a row")
            << 2 << QByteArray("AB CD EF 1 2 ") << std::vector<quint32>{0, 6, 11};
        QTest::newRow("three a row") << 3 << QByteArray("A B C D E ") << std::vector<quint32>{0, 6};
    }

    void rowsHoldAtMostTheItemsAllowed()
    {
        QFETCH(int, items);
        QFETCH(QByteArray, line);
        QFETCH(std::vector<quint32>, rows);
        m_layout.setMaxWords(items);
        QCOMPARE(m_layout.wrap(line), rows);
    }

    void charactersOfARow_data()
    {
        QTest::addColumn<QByteArray>("row");
        QTest::addColumn<QByteArray>("characters");
        QTest::newRow("letters") << QByteArray("41 42 63 ") << QByteArray("ABc");
        QTest::newRow("printable ASCII and dots")
            << QByteArray("0 1F 20 7E 7F 80 FF ") << QByteArray(".. ~...");
        QTest::newRow("before a line break") << QByteArray("4 2E \r\n") << QByteArray("..");
        QTest::newRow("a notice") << QByteArray("CommPort 1 not available.") << QByteArray();
        QTest::newRow("three digits are no item") << QByteArray("41 414 ") << QByteArray();
    }

    void charactersOfARow()
    {
        QFETCH(QByteArray, row);
        QFETCH(QByteArray, characters);
        QByteArray shown;
        for (const CharacterColumn::Item &item : CharacterColumn::itemsOf(row)) {
            QCOMPARE(row.mid(item.start, item.end - item.start).toUInt(nullptr, 16), item.byte);
            shown += CharacterColumn::shown(item.byte);
        }
        QCOMPARE(shown, characters);
    }

private:
    LogViewLayout m_layout;
};

QTEST_MAIN(TestLogViewRows)
#include "tst_logviewrows.moc"
