#include "posix/pathname.h"

#include <QTest>

// Names are bytes: every byte string comes back whole, and UTF-8 names read as Qt reads them.
class TestPathName : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void bytesComeBackWhole_data();
    void bytesComeBackWhole();
};

void TestPathName::bytesComeBackWhole_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("utf8");
    QTest::newRow("ascii") << QByteArray("/dev/ttyUSB0") << true;
    QTest::newRow("two, three and four bytes")
        << QByteArray("/tmp/\xC3\xA9t\xC3\xA9/\xE2\x82\xAC/\xF0\x9F\x98\x80") << true;
    QTest::newRow("latin-1 byte") << QByteArray("/tmp/caf\xE9/tty") << false;
    QTest::newRow("0xFF alone") << QByteArray("\xFF") << false;
    QTest::newRow("continuation byte alone") << QByteArray("a\x80z") << false;
    QTest::newRow("sequence cut short") << QByteArray("x\xE2\x82") << false;
    QTest::newRow("overlong slashes") << QByteArray("\xC0\xAF\xE0\x80\xAF") << false;
    QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80") << false;
    QTest::newRow("past Unicode") << QByteArray("\xF4\x90\x80\x80") << false;
    // U+10080 ends in the surrogate that stands for the byte 0x80.
    QTest::newRow("pair that ends like an escape") << QByteArray("\xF0\x90\x82\x80\xFF") << false;
}

void TestPathName::bytesComeBackWhole()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, utf8);
    const QString path = PathName::decodePath(bytes);
    QCOMPARE(PathName::encodePath(path), bytes);
    QCOMPARE(path == QString::fromUtf8(bytes), utf8);
}

QTEST_APPLESS_MAIN(TestPathName)
#include "tst_pathname.moc"
