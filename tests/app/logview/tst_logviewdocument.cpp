#include "logviewdocument.h"

#include <QRandomGenerator>
#include <QTest>

namespace {
// Lines split the simple way, for comparison with the store's index.
QList<QByteArray> referenceLines(const QByteArray &text)
{
    QList<QByteArray> lines{QByteArray()};
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (text[i] == '\r' || text[i] == '\n')
            lines.append(QByteArray());
        else
            lines.last().append(text[i]);
    }
    return lines;
}

void verifyConsistent(const LogViewDocument &document, const QByteArray &expected)
{
    QCOMPARE(document.length(), expected.size());
    QCOMPARE(document.text(), expected);
    QByteArray joined;
    for (QByteArrayView piece : document.pieces())
        joined.append(piece);
    QCOMPARE(joined, expected);
    QList<QByteArray> lines;
    QByteArray scratch;
    for (qsizetype line = 0; line < document.lineCount(); ++line) {
        lines.append(document.lineText(line, scratch).toByteArray());
        QCOMPARE(document.lineOf(document.lineStart(line)), line);
        QCOMPARE(document.lineOf(document.lineEnd(line)), line);
    }
    QCOMPARE(lines, referenceLines(expected));
}
} // namespace

class TestLogViewDocument : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void edits_data()
    {
        QTest::addColumn<QByteArray>("initial");
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("removed");
        QTest::addColumn<QByteArray>("inserted");
        QTest::newRow("lf completes cr") << QByteArray("41 \r") << 4 << 0 << QByteArray("\n");
        QTest::newRow("insert between cr and lf")
            << QByteArray("a\r\nb") << 2 << 0 << QByteArray("X");
        QTest::newRow("insert at block start after cr")
            << QByteArray("a\r\n") << 2 << 0 << QByteArray("X");
        QTest::newRow("remove joins cr and lf") << QByteArray("a\rX\nb") << 2 << 1 << QByteArray();
        QTest::newRow("replace across blocks")
            << QByteArray("0123456789\r\nABCDEF") << 3 << 10 << QByteArray("xy\n1 2 3 4 5 6 \r\n");
        QTest::newRow("remove everything") << QByteArray("a\r\nb") << 0 << 4 << QByteArray();
    }

    // Edits on text built from small inserts and on loaded text, which is one block of any size.
    void edits()
    {
        QFETCH(QByteArray, initial);
        QFETCH(int, at);
        QFETCH(int, removed);
        QFETCH(QByteArray, inserted);
        const QByteArray expected = QByteArray(initial).remove(at, removed).insert(at, inserted);
        for (qsizetype blockSize : {2, 3, 4096}) {
            for (bool loaded : {false, true}) {
                LogViewDocument document(blockSize);
                if (loaded)
                    document.setText(initial);
                for (qsizetype i = 0; !loaded && i < initial.size(); i += 3)
                    document.insert(document.length(), initial.mid(i, 3));
                document.remove(at, removed);
                document.insert(at, inserted);
                verifyConsistent(document, expected);
            }
        }
    }

    void randomEditsMatchPlainBuffer()
    {
        const QByteArray alphabet("\r\n A\0\xff", 6);
        for (qsizetype blockSize : {2, 5, 64}) {
            QRandomGenerator random(1234);
            LogViewDocument document(blockSize);
            QByteArray reference;
            for (int step = 0; step < 400 && !QTest::currentTestFailed(); ++step) {
                const qsizetype at = random.bounded(int(reference.size() + 1));
                if (random.bounded(4) == 0) {
                    const qsizetype count = random.bounded(int(reference.size() - at + 1));
                    document.remove(at, count);
                    reference.remove(at, count);
                } else {
                    QByteArray bytes;
                    for (int i = random.bounded(1, 12); i > 0; --i)
                        bytes.append(alphabet[random.bounded(int(alphabet.size()))]);
                    document.insert(at, bytes);
                    reference.insert(at, bytes);
                }
                verifyConsistent(document, reference);
            }
        }
    }

    // Stops of "a|\r\n|\n|\r|b": only CR LF is stepped over as one, and both ends hold.
    void caretStepsOverCrLf()
    {
        LogViewDocument document(2);
        document.setText("a\r\n\n\rb");
        const QList<qsizetype> stops{0, 1, 3, 4, 5, 6};
        for (qsizetype i = 0; i < stops.size(); ++i) {
            QCOMPARE(document.nextPosition(stops[i]), stops[std::min(i + 1, stops.size() - 1)]);
            QCOMPARE(document.previousPosition(stops[i]), stops[std::max<qsizetype>(i - 1, 0)]);
        }
    }
};

QTEST_APPLESS_MAIN(TestLogViewDocument)
#include "tst_logviewdocument.moc"
