#include "logviewdocument.h"

#include <QRandomGenerator>
#include <QTest>

namespace {
// Lines of a text split the simple way, for comparison with the store's index.
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

QList<QByteArray> storedLines(const LogViewDocument &document)
{
    QList<QByteArray> lines;
    QByteArray scratch;
    for (qsizetype line = 0; line < document.lineCount(); ++line)
        lines.append(document.lineText(line, scratch).toByteArray());
    return lines;
}

QByteArray joined(const QList<QByteArrayView> &pieces)
{
    QByteArray text;
    for (QByteArrayView piece : pieces)
        text.append(piece);
    return text;
}

void verifyConsistent(const LogViewDocument &document, const QByteArray &expected)
{
    QCOMPARE(document.length(), expected.size());
    QCOMPARE(document.text(), expected);
    QCOMPARE(joined(document.pieces()), expected);
    QCOMPARE(storedLines(document), referenceLines(expected));
    for (qsizetype line = 0; line < document.lineCount(); ++line) {
        const qsizetype start = document.lineStart(line);
        QCOMPARE(document.lineOf(start), line);
        QCOMPARE(document.lineOf(document.lineEnd(line)), line);
    }
}
} // namespace

class TestLogViewDocument : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lines_data();
    void lines();
    void edits_data();
    void edits();
    void randomEditsMatchPlainBuffer_data();
    void randomEditsMatchPlainBuffer();
    void allByteValuesRoundTrip();
    void loadedTextIsSplitOnInsertInside();
    void caretStepsOverCrLf_data();
    void caretStepsOverCrLf();
};

void TestLogViewDocument::lines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("crlf") << QByteArray("41 D \r\nA 0 \r\n");
    QTest::newRow("lone lf") << QByteArray("a\nb\n\nc");
    QTest::newRow("lone cr") << QByteArray("a\rb\r\rc\r");
    QTest::newRow("cr cr lf") << QByteArray("a\r\r\nb");
    QTest::newRow("lf cr") << QByteArray("a\n\rb");
    QTest::newRow("only breaks") << QByteArray("\r\n\r\n\n\r");
}

// The index must agree however the text arrived: whole, byte by byte, or in pieces.
void TestLogViewDocument::lines()
{
    QFETCH(QByteArray, text);
    for (qsizetype blockSize : {2, 3, 5, 4096}) {
        LogViewDocument whole(blockSize);
        whole.setText(text);
        verifyConsistent(whole, text);
        LogViewDocument appended(blockSize);
        for (char c : text)
            appended.insert(appended.length(), QByteArrayView(&c, 1));
        verifyConsistent(appended, text);
        LogViewDocument reversed(blockSize);
        for (qsizetype i = text.size() - 1; i >= 0; --i)
            reversed.insert(0, text.mid(i, 1));
        verifyConsistent(reversed, text);
    }
}

void TestLogViewDocument::edits_data()
{
    QTest::addColumn<QByteArray>("initial");
    QTest::addColumn<qsizetype>("removeAt");
    QTest::addColumn<qsizetype>("removeCount");
    QTest::addColumn<QByteArray>("inserted");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("lines");

    QTest::newRow("lf completes cr") << QByteArray("41 \r") << qsizetype(4) << qsizetype(0)
                                     << QByteArray("\n") << QByteArray("41 \r\n") << 2;
    QTest::newRow("insert between cr and lf")
        << QByteArray("a\r\nb") << qsizetype(2) << qsizetype(0) << QByteArray("X")
        << QByteArray("a\rX\nb") << 3;
    QTest::newRow("insert at block start after cr")
        << QByteArray("a\r\n") << qsizetype(2) << qsizetype(0) << QByteArray("X")
        << QByteArray("a\rX\n") << 3;
    QTest::newRow("remove joins cr and lf") << QByteArray("a\rX\nb") << qsizetype(2) << qsizetype(1)
                                            << QByteArray() << QByteArray("a\r\nb") << 2;
    QTest::newRow("replace across blocks")
        << QByteArray("0123456789\r\nABCDEF") << qsizetype(3) << qsizetype(10) << QByteArray("xy\n")
        << QByteArray("012xy\nBCDEF") << 2;
    QTest::newRow("remove everything") << QByteArray("a\r\nb") << qsizetype(0) << qsizetype(4)
                                       << QByteArray() << QByteArray() << 1;
    QTest::newRow("long insert in middle") << QByteArray("head\rtail") << qsizetype(5)
                                           << qsizetype(0) << QByteArray("\n1 2 3 4 5 6 7 8 9\r\n")
                                           << QByteArray("head\r\n1 2 3 4 5 6 7 8 9\r\ntail") << 3;
}

void TestLogViewDocument::edits()
{
    QFETCH(QByteArray, initial);
    QFETCH(qsizetype, removeAt);
    QFETCH(qsizetype, removeCount);
    QFETCH(QByteArray, inserted);
    QFETCH(QByteArray, expected);
    QFETCH(int, lines);
    for (qsizetype blockSize : {2, 4, 7, 4096}) {
        LogViewDocument document(blockSize);
        for (qsizetype i = 0; i < initial.size(); i += 3)
            document.insert(document.length(), initial.mid(i, 3));
        document.remove(removeAt, removeCount);
        document.insert(removeAt, inserted);
        verifyConsistent(document, expected);
        QCOMPARE(document.lineCount(), lines);
    }
}

void TestLogViewDocument::randomEditsMatchPlainBuffer_data()
{
    QTest::addColumn<qsizetype>("blockSize");
    QTest::newRow("2") << qsizetype(2);
    QTest::newRow("5") << qsizetype(5);
    QTest::newRow("64") << qsizetype(64);
}

void TestLogViewDocument::randomEditsMatchPlainBuffer()
{
    QFETCH(qsizetype, blockSize);
    QRandomGenerator random(1234);
    const QByteArray alphabet("\r\n AB");
    LogViewDocument document(blockSize);
    QByteArray reference;
    for (int step = 0; step < 400; ++step) {
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

void TestLogViewDocument::allByteValuesRoundTrip()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    LogViewDocument document(16);
    document.insert(0, all);
    document.insert(100, all);
    QByteArray expected = all;
    expected.insert(100, all);
    verifyConsistent(document, expected);
    QCOMPARE(document.at(0), '\0');
    QCOMPARE(document.at(100), '\0');
}

void TestLogViewDocument::loadedTextIsSplitOnInsertInside()
{
    QByteArray loaded;
    for (int i = 0; i < 200; ++i)
        loaded.append("41 D A \r\n");
    LogViewDocument document(64);
    document.setText(loaded);
    document.insert(document.length(), "FF ");
    document.insert(500, "\n");
    QByteArray expected = loaded + "FF ";
    expected.insert(500, "\n");
    verifyConsistent(document, expected);
    QVERIFY(document.blockCount() > 2);
}

void TestLogViewDocument::caretStepsOverCrLf_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qsizetype>("from");
    QTest::addColumn<qsizetype>("next");
    QTest::addColumn<qsizetype>("previous");
    QTest::newRow("before crlf") << QByteArray("a\r\nb") << qsizetype(1) << qsizetype(3)
                                 << qsizetype(0);
    QTest::newRow("after crlf") << QByteArray("a\r\nb") << qsizetype(3) << qsizetype(4)
                                << qsizetype(1);
    QTest::newRow("lone cr") << QByteArray("a\rb") << qsizetype(1) << qsizetype(2) << qsizetype(0);
    QTest::newRow("lf cr") << QByteArray("\n\r") << qsizetype(1) << qsizetype(2) << qsizetype(0);
    QTest::newRow("ends") << QByteArray("ab") << qsizetype(2) << qsizetype(2) << qsizetype(1);
}

void TestLogViewDocument::caretStepsOverCrLf()
{
    QFETCH(QByteArray, text);
    QFETCH(qsizetype, from);
    QFETCH(qsizetype, next);
    QFETCH(qsizetype, previous);
    LogViewDocument document(2);
    document.setText(text);
    QCOMPARE(document.nextPosition(from), next);
    QCOMPARE(document.previousPosition(from), previous);
}

QTEST_APPLESS_MAIN(TestLogViewDocument)
#include "tst_logviewdocument.moc"
