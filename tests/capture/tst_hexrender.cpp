#include "capture/hexrender.h"
#include "support/hexreference.h"

#include <QTest>

class TestHexRender : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void items_data();
    void items();
    void lineBreaksFollowTheWidth_data();
    void lineBreaksFollowTheWidth();
};

void TestHexRender::items_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<int>("columnBefore");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("columnAfter");

    QTest::newRow("no leading zeros")
        << QByteArray("\x00\x0F\x10\x80\xFF", 5) << 1 << QByteArray("0 F 10 80 FF ") << 6;
    QTest::newRow("empty chunk") << QByteArray() << 7 << QByteArray() << 7;
    QTest::newRow("count carried from an earlier line")
        << QByteArray("\x01\x02", 2) << 28 << QByteArray("1 \r\n2 ") << 2;
    QByteArray everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte.append(char(b));
    QTest::newRow("every byte value") << everyByte << 1 << hexOf(everyByte) << 256 % 28 + 1;
    // Past the 16-bit range of a chunk length: every byte still rendered.
    const QByteArray large(70000, '\x7F');
    QTest::newRow("large chunk") << large << 1 << hexOf(large) << 70000 % 28 + 1;
}

void TestHexRender::items()
{
    QFETCH(QByteArray, chunk);
    QFETCH(int, columnBefore);
    qint16 column = static_cast<qint16>(columnBefore);
    QByteArray out = "kept ";
    appendHexItems(out, chunk, column, lineCapacity(7215));
    QTEST(out.mid(5), "expected");
    QTEST(int(column), "columnAfter");
}

void TestHexRender::lineBreaksFollowTheWidth_data()
{
    QTest::addColumn<float>("widthTwips");
    QTest::addColumn<int>("itemsPerLine");
    QTest::newRow("exactly 6000") << 6000.0f << 24;
    QTest::newRow("just below 6000") << 5999.0f << 23;
    QTest::newRow("narrower than one item") << 100.0f << 1;
    QTest::newRow("wider than the 16-bit count") << 1.0e7f << 32767;
}

void TestHexRender::lineBreaksFollowTheWidth()
{
    QFETCH(float, widthTwips);
    QFETCH(int, itemsPerLine);
    qint16 column = 1;
    QByteArray out;
    appendHexItems(out, QByteArray(2 * itemsPerLine + 1, 'A'), column, lineCapacity(widthTwips));
    const QByteArray line = QByteArray("41 ").repeated(itemsPerLine) + "\r\n";
    QCOMPARE(out, line + line + "41 " + (itemsPerLine == 1 ? "\r\n" : ""));
    QCOMPARE(int(column), itemsPerLine == 1 ? 1 : 2);
}

QTEST_APPLESS_MAIN(TestHexRender)
#include "tst_hexrender.moc"
