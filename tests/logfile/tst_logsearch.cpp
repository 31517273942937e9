#include "logfile/bytepattern.h"
#include "logfile/logsearch.h"
#include "logfile/logtextreader.h"
#include "support/disktext.h"
#include "support/hexreference.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Matches = QList<qint64>; // offset, length, offset, length...

namespace {

Matches matchList(const std::vector<LogMatch> &found)
{
    Matches matches;
    for (const LogMatch &m : found)
        matches << m.offset << m.length;
    return matches;
}

// Runs a search over the reader until it has looked at all of it.
Matches searchAll(LogSearch &search, const QByteArray &pattern,
                  std::shared_ptr<const LogTextReader> reader, qint64 from = 0)
{
    Matches matches;
    QObject::connect(&search, &LogSearch::matchesFound, &search,
                     [&](const std::vector<LogMatch> &found) { matches << matchList(found); });
    const qint64 end = reader->size();
    search.start(pattern, std::move(reader), from);
    if (!QTest::qWaitFor([&] { return search.searchedTo() >= end; }, 10000))
        qWarning("the search did not reach the end");
    search.disconnect(&search);
    return matches;
}

Matches searchText(const QByteArray &text, const QByteArray &pattern, qint64 blockSize)
{
    LogSearch search(nullptr, blockSize);
    return searchAll(search, pattern, std::make_shared<MemoryLogTextReader>(text));
}

const QByteArray kNotice = "\r\nCommPort1 A not available. Change the 'Serial Port No:' property "
                           "to another port.\r\n";

} // namespace

class TestLogSearch : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void patterns_data();
    void patterns();
    void finds_data();
    void finds();
    void findsEveryByteValue();
    void skippingAheadFindsWhatDecodingEveryItemFinds();
    void startsAtTheLineThatHoldsItsStart();
    void goesOnOverAppendedTextAcrossTheLoadedLog();
    void cancelStopsReporting();
};

void TestLogSearch::patterns_data()
{
    QTest::addColumn<bool>("hex");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::newRow("hex with blanks")
        << true << " DE AD  BE EF " << QByteArray("\xDE\xAD\xBE\xEF") << true;
    QTest::newRow("hex without blanks")
        << true << "deadbeef" << QByteArray("\xDE\xAD\xBE\xEF") << true;
    QTest::newRow("groups of pairs")
        << true << "DEAD beef" << QByteArray("\xDE\xAD\xBE\xEF") << true;
    QTest::newRow("lone digits as the log writes them")
        << true << "D A 0" << QByteArray("\r\n\0", 3) << true;
    QTest::newRow("odd digits") << true << "DEA" << QByteArray() << false;
    QTest::newRow("not hex") << true << "DE AG" << QByteArray() << false;
    QTest::newRow("empty hex") << true << "  " << QByteArray() << false;
    QTest::newRow("text escapes") << false << "OK\\r\\n\\t\\\\" << QByteArray("OK\r\n\t\\") << true;
    QTest::newRow("byte escapes") << false << "\\x00\\xfF\\x41"
                                  << QByteArray("\0\xFF"
                                                "A",
                                                3)
                                  << true;
    QTest::newRow("latin-1 text") << false << QString::fromUtf8("é") << QByteArray("\xE9") << true;
    QTest::newRow("beyond latin-1") << false << QString::fromUtf8("€") << QByteArray() << false;
    QTest::newRow("unknown escape") << false << "a\\q" << QByteArray() << false;
    QTest::newRow("short byte escape") << false << "\\x4" << QByteArray() << false;
    QTest::newRow("escape at the end") << false << "a\\" << QByteArray() << false;
    QTest::newRow("empty text") << false << "" << QByteArray() << false;
}

void TestLogSearch::patterns()
{
    QFETCH(bool, hex);
    QFETCH(QString, typed);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    const BytePattern pattern = hex ? BytePattern::fromHex(typed) : BytePattern::fromText(typed);
    QCOMPARE(pattern.isValid(), valid);
    if (valid)
        QCOMPARE(pattern.bytes, bytes);
    else
        QVERIFY(!pattern.errorText.isEmpty());
}

void TestLogSearch::finds_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<Matches>("expected");
    QTest::newRow("across a wrap")
        << QByteArray("41 42 \r\n43 ") << QByteArray("BC") << Matches{3, 7};
    QTest::newRow("whole text") << QByteArray("DE AD BE EF ") << QByteArray("\xDE\xAD\xBE\xEF")
                                << Matches{0, 11};
    QTest::newRow("first and last item")
        << QByteArray("7 A \r\n7 ") << QByteArray("\x07") << Matches{0, 1, 6, 1};
    QTest::newRow("overlapping") << QByteArray("AA AA AA ") << QByteArray("\xAA\xAA")
                                 << Matches{0, 5, 3, 5};
    QTest::newRow("border of the pattern")
        << QByteArray("1 2 1 2 1 3 ") << QByteArray("\1\2\1\3") << Matches{4, 7};
    QTest::newRow("inside a notice") << "1 " + kNotice + "C " << QByteArray("\x0A") << Matches{};
    QTest::newRow("notice breaks a run")
        << "41 " + kNotice + "42 " << QByteArray("AB") << Matches{};
    QTest::newRow("items after a notice")
        << "41 " + kNotice + "42 " << QByteArray("B") << Matches{3 + kNotice.size(), 2};
    QTest::newRow("words before a digit")
        << QByteArray("Port A \r\nA ") << QByteArray("\x0A") << Matches{9, 1};
    QTest::newRow("a word that starts with a digit")
        << QByteArray("Ack A \r\nA ") << QByteArray("\x0A") << Matches{8, 1};
    QTest::newRow("item without its blank")
        << QByteArray("41 42\r\n43 ") << QByteArray("B") << Matches{};
    QTest::newRow("a line with lower case")
        << QByteArray("4f 4F \r\n4F ") << QByteArray("O") << Matches{8, 2};
    QTest::newRow("text with line ends")
        << QByteArray("4F 4B D \r\nA ") << QByteArray("OK\r\n") << Matches{0, 11};
}

void TestLogSearch::finds()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, pattern);
    QFETCH(Matches, expected);
    for (const qint64 blockSize : {qint64(1), qint64(2), qint64(3), qint64(5), qint64(1) << 20})
        QCOMPARE(searchText(text, pattern, blockSize), expected);
}

void TestLogSearch::findsEveryByteValue()
{
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        bytes.append(char(b));
    const QByteArray text = hexOf(bytes);
    LogSearch search(nullptr, 7);
    const auto reader = std::make_shared<MemoryLogTextReader>(text);
    for (int b = 0; b < 256; ++b) {
        const Matches found = searchAll(search, bytes.mid(b, 1), reader);
        QCOMPARE(found.size(), 2);
        QCOMPARE(text.mid(found[0], found[1]), QByteArray::number(b, 16).toUpper());
    }
    QCOMPARE(searchAll(search, bytes, reader), (Matches{0, text.size() - 1}));
}

// Texts of items, notices and broken items in random order, fed in random blocks.
void TestLogSearch::skippingAheadFindsWhatDecodingEveryItemFinds()
{
    const QByteArrayList pieces = {"A ", "0A ", "1A ", "AA ", "0 ", "00 ", "10 ",  "1 ",  "\r\n",
                                   "\n", "x",   " ",   "A",   "0",  "\r",  "000 ", "A0 ", "AA"};
    const QByteArrayList patterns = {"\x0A",         QByteArray(1, '\0'), "\xAA\x0A",
                                     "\x0A\x0A\x10", "\x1A\x01",          QByteArray("\0\x0A", 2)};
    QRandomGenerator random(7);
    for (int round = 0; round < 3000; ++round) {
        QByteArray text;
        for (int n = int(random.bounded(40)); n > 0; --n)
            text += pieces[random.bounded(pieces.size())];
        const QByteArray pattern = patterns[random.bounded(patterns.size())];
        std::vector<LogMatch> expected;
        HexItemMatcher(pattern, HexItemMatcher::Scan::EveryItem)
            .feed(text.constData(), text.size(), 0, expected);
        std::vector<LogMatch> found;
        HexItemMatcher skipping(pattern);
        for (qint64 at = 0, block = 0; at < text.size(); at += block) {
            block = qMin<qint64>(random.bounded(1, 40), text.size() - at);
            skipping.feed(text.constData() + at, block, at, found);
        }
        QCOMPARE(matchList(found), matchList(expected));
    }
}

void TestLogSearch::startsAtTheLineThatHoldsItsStart()
{
    const auto reader = std::make_shared<MemoryLogTextReader>("41 43 \r\n44 43 44 \r\n43 44 ");
    const QList<std::pair<qint64, Matches>> cases = {
        {0, {3, 7, 11, 5, 19, 5}}, {12, {11, 5, 19, 5}}, {19, {19, 5}}, {25, {19, 5}}};
    for (const auto &[from, expected] : cases) {
        LogSearch search;
        QCOMPARE(searchAll(search, QByteArray("CD"), reader, from), expected);
    }
}

void TestLogSearch::goesOnOverAppendedTextAcrossTheLoadedLog()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("DE AD \r\nBE ");
    file.close();
    const auto text = openDiskText(path, dir.path());
    LogSearch search(nullptr, 4);
    Matches matches;
    connect(&search, &LogSearch::matchesFound, this,
            [&](const std::vector<LogMatch> &found) { matches << matchList(found); });
    search.start(QByteArray("\xBE\xEF"), text->reader());
    QTRY_COMPARE(search.searchedTo(), text->size());
    QVERIFY(matches.isEmpty());
    text->append("EF BE ");
    search.extend(text->reader());
    QTRY_COMPARE(search.searchedTo(), text->size());
    QCOMPARE(matches, (Matches{8, 5}));
    text->append("\r\nEF ");
    search.extend(text->reader());
    QTRY_COMPARE(search.searchedTo(), text->size());
    QCOMPARE(matches, (Matches{8, 5, 14, 7}));
}

void TestLogSearch::cancelStopsReporting()
{
    const QByteArray text = hexOf(QByteArray(200000, '\x55'));
    LogSearch search(nullptr, 3);
    QSignalSpy progress(&search, &LogSearch::progressed);
    search.start(QByteArray("\x55"), std::make_shared<MemoryLogTextReader>(text));
    QTRY_VERIFY(progress.count() > 0);
    search.cancel();
    QVERIFY(!search.isRunning());
    const qint64 reached = search.searchedTo();
    QVERIFY(reached < text.size());
    QTest::qWait(50);
    QCOMPARE(search.searchedTo(), reached);
}

QTEST_GUILESS_MAIN(TestLogSearch)
#include "tst_logsearch.moc"
