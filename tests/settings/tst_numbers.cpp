#include "numbers.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QTest>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <limits>

using namespace Numbers;

namespace {
constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double Fail = std::numeric_limits<double>::quiet_NaN();

// Exact comparison; QCOMPARE on doubles is fuzzy.
QByteArray mismatch(double actual, double expected)
{
    return QByteArray::number(actual, 'g', 17) + " != " + QByteArray::number(expected, 'g', 17);
}
} // namespace

class TestNumbers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void strictDouble_data();
    void strictDouble();
    void strictFloat_data();
    void strictFloat();
    void strictIntegers_data();
    void strictIntegers();
    void leading_data();
    void leading();
    void text_data();
    void text();
    void textRoundTrips();
};

// Everything below runs under a comma-decimal locale: the point must still be the separator.
void TestNumbers::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        qInfo("de_DE.UTF-8 is not installed; only the Qt default locale is German");
}

void TestNumbers::strictDouble_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected"); // NaN: the conversion fails
    const QString thousandNines = QString(1000, u'9');
    QTest::newRow("plain") << "9600" << 9600.0;
    QTest::newRow("blanks and tabs around") << " \t9600 \t" << 9600.0;
    QTest::newRow("point first") << ".5" << 0.5;
    QTest::newRow("point last") << "5." << 5.0;
    QTest::newRow("plus") << "+1.5" << 1.5;
    QTest::newRow("exponent") << "2.5E-1" << 0.25;
    QTest::newRow("exponent plus") << "1e+3" << 1000.0;
    QTest::newRow("exact 1e23") << "1e23" << 1e23;
    QTest::newRow("largest") << "1.7976931348623157e308" << DBL_MAX;
    QTest::newRow("past largest") << "1.7976931348623159e308" << Fail;
    QTest::newRow("overflow") << "1e400" << Fail;
    QTest::newRow("negative overflow") << "-1e400" << Fail;
    QTest::newRow("underflow to zero") << "1e-400" << 0.0;
    QTest::newRow("huge exponent") << "1e99999999999999999999" << Fail;
    QTest::newRow("thousand digits") << thousandNines << Fail;
    QTest::newRow("thousand fraction digits") << QString("0." + thousandNines) << 1.0;
    QTest::newRow("long tail exact") << QString("0.1" + QString(1000, u'0') + "1") << 0.1;
    QTest::newRow("empty") << "" << Fail;
    QTest::newRow("blank") << " " << Fail;
    QTest::newRow("lone sign") << "-" << Fail;
    QTest::newRow("lone point") << "." << Fail;
    QTest::newRow("two points") << "1.2.3" << Fail;
    QTest::newRow("exponent without digits") << "5e" << Fail;
    QTest::newRow("blank inside") << "96 00" << Fail;
    QTest::newRow("comma") << "1,5" << Fail;
    QTest::newRow("trailing letter") << "1x" << Fail;
    QTest::newRow("line feed around") << "1\n" << Fail;
    QTest::newRow("hex prefix") << "&H10" << Fail;
    QTest::newRow("C hex") << "0x10" << Fail;
    QTest::newRow("inf word") << "inf" << Fail;
    QTest::newRow("nan word") << "nan" << Fail;
    QTest::newRow("arabic digit") << QString(QChar(0x0661)) << Fail;
    QTest::newRow("fullwidth digit") << QString(QChar(0xFF11)) << Fail;
}

void TestNumbers::strictDouble()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    const auto value = strictToDouble(text);
    QCOMPARE(value.has_value(), !std::isnan(expected));
    if (value)
        QVERIFY2(*value == expected, mismatch(*value, expected));
}

void TestNumbers::strictFloat_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("half") << "1.5" << 1.5;
    QTest::newRow("tenth rounds once") << "0.1" << double(0.1f);
    QTest::newRow("largest") << "3.4028235e38" << double(FLT_MAX);
    QTest::newRow("overflow") << "3.5e38" << Fail;
    QTest::newRow("double overflow") << "1e400" << Fail;
    QTest::newRow("underflow to zero") << "1e-50" << 0.0;
    QTest::newRow("trailing letter") << "2x" << Fail;
}

void TestNumbers::strictFloat()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    const auto value = strictToFloat(text);
    QCOMPARE(value.has_value(), !std::isnan(expected));
    if (value)
        QVERIFY2(double(*value) == expected, mismatch(*value, expected));
}

void TestNumbers::strictIntegers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("int16"); // NaN: fails
    QTest::addColumn<double>("int32");
    QTest::newRow("half down to even") << "6.5" << 6.0 << 6.0;
    QTest::newRow("half up to even") << "7.5" << 8.0 << 8.0;
    QTest::newRow("negative half") << "-2.5" << -2.0 << -2.0;
    QTest::newRow("zero half") << "0.5" << 0.0 << 0.0;
    QTest::newRow("just over half") << "0.5000001" << 1.0 << 1.0;
    QTest::newRow("minus zero") << "-0" << 0.0 << 0.0;
    QTest::newRow("exponent") << " 1e4 " << 10000.0 << 10000.0;
    QTest::newRow("int16 max") << "32767.4" << 32767.0 << 32767.0;
    QTest::newRow("int16 max half") << "32767.5" << Fail << 32768.0;
    QTest::newRow("int16 min half") << "-32768.5" << -32768.0 << -32768.0;
    QTest::newRow("int16 below") << "-32769" << Fail << -32769.0;
    QTest::newRow("rate") << "115200" << Fail << 115200.0;
    QTest::newRow("int32 max half") << "2147483647.5" << Fail << Fail;
    QTest::newRow("int32 min half") << "-2147483648.5" << Fail << -2147483648.0;
    QTest::newRow("int32 above") << "2147483648" << Fail << Fail;
    QTest::newRow("overflow") << "1e400" << Fail << Fail;
    QTest::newRow("word") << "abc" << Fail << Fail;
}

void TestNumbers::strictIntegers()
{
    QFETCH(QString, text);
    QFETCH(double, int16);
    QFETCH(double, int32);
    const auto small = strictToInt16(text);
    QCOMPARE(small.has_value(), !std::isnan(int16));
    if (small)
        QCOMPARE(double(*small), int16);
    const auto large = strictToInt32(text);
    QCOMPARE(large.has_value(), !std::isnan(int32));
    if (large)
        QCOMPARE(double(*large), int32);
}

void TestNumbers::leading_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("blanks between digits") << " 9 6\t0\n0" << 9600.0;
    QTest::newRow("trailing junk") << "9600abc" << 9600.0;
    QTest::newRow("word") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("comma stops") << "9,600" << 9.0;
    QTest::newRow("second point stops") << "1.2.3" << 1.2;
    QTest::newRow("carriage return stops") << "1\r2" << 1.0;
    QTest::newRow("exponent") << "1 e 3" << 1000.0;
    QTest::newRow("exponent without digits") << "5e" << 5.0;
    QTest::newRow("exponent sign only") << "5e+x" << 5.0;
    QTest::newRow("lone sign") << "-" << 0.0;
    QTest::newRow("lone point") << "." << 0.0;
    QTest::newRow("signed point") << "+.5x" << 0.5;
    QTest::newRow("negative") << "-2.5" << -2.5;
    QTest::newRow("hex") << "&HFF" << 255.0;
    QTest::newRow("hex lower") << "&hfF" << 255.0;
    QTest::newRow("hex stops") << "&H1G" << 1.0;
    QTest::newRow("hex empty") << "&H" << 0.0;
    QTest::newRow("hex wide") << "&HFFFFFFFFFFFF" << 281474976710655.0;
    QTest::newRow("hex saturates") << QString("&H" + QString(40, u'F')) << 18446744073709551615.0;
    QTest::newRow("octal") << "&O17" << 15.0;
    QTest::newRow("octal lower") << "& o 17" << 15.0;
    QTest::newRow("octal stops at 8") << "&O78" << 7.0;
    QTest::newRow("signed hex") << "-&H10" << 0.0;
    QTest::newRow("overflow is infinite") << "1e400" << Inf;
    QTest::newRow("negative overflow") << "-1e400x" << -Inf;
    QTest::newRow("thousand digits") << QString(1000, u'9') << Inf;
    QTest::newRow("underflow") << "1e-400" << 0.0;
}

void TestNumbers::leading()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    const double value = leadingNumber(text);
    QVERIFY2(value == expected, mismatch(value, expected));
}

void TestNumbers::text_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("isFloat");
    QTest::addColumn<QString>("expected");
    QTest::newRow("rate") << 115200.0 << false << "115200";
    QTest::newRow("whole") << 2.0 << false << "2";
    QTest::newRow("half") << 1.5 << false << "1.5";
    QTest::newRow("negative") << -2.5 << false << "-2.5";
    QTest::newRow("minus zero") << -0.0 << false << "0";
    QTest::newRow("tenth") << 0.1 << false << "0.1";
    QTest::newRow("third") << 1 / 3.0 << false << "0.333333333333333";
    QTest::newRow("fifteen digits") << 123456789.123456789 << false << "123456789.123457";
    QTest::newRow("carry") << 0.9999999999999999 << false << "1";
    QTest::newRow("1e15") << 1e15 << false << "1000000000000000";
    QTest::newRow("1e16") << 1e16 << false << "1e+16";
    QTest::newRow("small") << 0.00001 << false << "0.00001";
    QTest::newRow("tiny") << 1.25e-6 << false << "1.25e-06";
    QTest::newRow("infinite") << Inf << false << "inf";
    QTest::newRow("float half") << 1.5 << true << "1.5";
    QTest::newRow("float tenth") << double(0.1f) << true << "0.1";
    QTest::newRow("float seven digits") << double(1.2345678f) << true << "1.234568";
    QTest::newRow("float grouping") << 1234567.0 << true << "1234567";
}

void TestNumbers::text()
{
    QFETCH(double, value);
    QFETCH(bool, isFloat);
    QFETCH(QString, expected);
    QCOMPARE(isFloat ? numberText(float(value)) : numberText(value), expected);
}

// Every value of up to 15 significant digits must come back unchanged through its text.
void TestNumbers::textRoundTrips()
{
    QRandomGenerator random(20261207);
    for (int i = 0; i < 20000; ++i) {
        const qint64 mantissa = random.bounded(Q_INT64_C(1), Q_INT64_C(1000000000000000));
        const int exponent = random.bounded(-40, 40);
        const QString source = QString::number(mantissa) + u'e' + QString::number(exponent);
        const double value = *strictToDouble(source);
        const auto back = strictToDouble(numberText(value));
        QVERIFY2(back && *back == value, qPrintable(source + " -> " + numberText(value)));
    }
    QCOMPARE(numberText(qint32(-2147483647 - 1)), QStringLiteral("-2147483648"));
}

QTEST_GUILESS_MAIN(TestNumbers)
#include "tst_numbers.moc"
