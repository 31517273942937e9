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
    void strict_data();
    void strict();
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

void TestNumbers::strict_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("asDouble"); // NaN: the conversion fails
    QTest::addColumn<double>("asFloat");
    QTest::addColumn<double>("asInt16");
    QTest::addColumn<double>("asInt32");
    const auto row = [](const char *name, const QString &text, double d, double f, double i16,
                        double i32) { QTest::newRow(name) << text << d << f << i16 << i32; };
    const QString nines = QString(1000, u'9');
    row("blanks and tabs around", " \t9600 \t", 9600, 9600, 9600, 9600);
    row("point first", ".5", 0.5, 0.5, 0, 0);
    row("point last", "5.", 5, 5, 5, 5);
    row("plus", "+1.5", 1.5, 1.5, 2, 2);
    row("exponent", "2.5E-1", 0.25, 0.25, 0, 0);
    row("tenth rounds once", "0.1", 0.1, double(0.1f), 0, 0);
    row("half down to even", "6.5", 6.5, 6.5, 6, 6);
    row("half up to even", "7.5", 7.5, 7.5, 8, 8);
    row("negative half", "-2.5", -2.5, -2.5, -2, -2);
    row("just over half", "0.5000001", 0.5000001, double(0.5000001f), 1, 1);
    row("minus zero", "-0", 0, 0, 0, 0);
    row("int16 max half", "32767.5", 32767.5, 32767.5, Fail, 32768);
    row("int16 min half", "-32768.5", -32768.5, -32768.5, -32768, -32768);
    row("int16 below", "-32769", -32769, -32769, Fail, -32769);
    row("rate", "115200", 115200, 115200, Fail, 115200);
    row("int32 max half", "2147483647.5", 2147483647.5, 2147483648.0, Fail, Fail);
    row("int32 min half", "-2147483648.5", -2147483648.5, -2147483648.0, Fail, -2147483648.0);
    row("float largest", "3.4028235e38", 3.4028235e38, FLT_MAX, Fail, Fail);
    row("float overflow", "3.5e38", 3.5e38, Fail, Fail, Fail);
    row("float underflow", "1e-50", 1e-50, 0, 0, 0);
    row("double largest", "1.7976931348623157e308", DBL_MAX, Fail, Fail, Fail);
    row("past largest", "1.7976931348623159e308", Fail, Fail, Fail, Fail);
    row("overflow", "1e400", Fail, Fail, Fail, Fail);
    row("negative overflow", "-1e400", Fail, Fail, Fail, Fail);
    row("underflow to zero", "1e-400", 0, 0, 0, 0);
    row("huge exponent", "1e99999999999999999999", Fail, Fail, Fail, Fail);
    row("long exponent", "1e" + QString(1000, u'0') + "5", 1e5, 1e5, Fail, 1e5);
    row("long tiny exponent", "1e-" + nines, 0, 0, 0, 0);
    row("thousand digits", nines, Fail, Fail, Fail, Fail);
    row("thousand fraction digits", "0." + nines, 1, 1, 1, 1);
    row("long tail exact", "0.1" + QString(1000, u'0') + "1", 0.1, double(0.1f), 0, 0);
    row("empty", "", Fail, Fail, Fail, Fail);
    row("lone sign", "-", Fail, Fail, Fail, Fail);
    row("two points", "1.2.3", Fail, Fail, Fail, Fail);
    row("exponent without digits", "5e", Fail, Fail, Fail, Fail);
    row("blank inside", "96 00", Fail, Fail, Fail, Fail);
    row("comma", "1,5", Fail, Fail, Fail, Fail);
    row("trailing letter", "2x", Fail, Fail, Fail, Fail);
    row("line feed around", "1\n", Fail, Fail, Fail, Fail);
    row("hex prefix", "&H10", Fail, Fail, Fail, Fail);
    row("inf word", "inf", Fail, Fail, Fail, Fail);
    row("arabic digit", QString(QChar(0x0661)), Fail, Fail, Fail, Fail);
}

void TestNumbers::strict()
{
    QFETCH(QString, text);
    QFETCH(double, asDouble);
    QFETCH(double, asFloat);
    QFETCH(double, asInt16);
    QFETCH(double, asInt32);
    const auto check = [](auto value, double expected, const char *type) {
        const double actual = value ? double(*value) : Fail;
        const bool same = actual == expected || (std::isnan(actual) && std::isnan(expected));
        const QByteArray message = type + QByteArray(": ") + mismatch(actual, expected);
        QVERIFY2(same, message.constData());
    };
    check(strictToDouble(text), asDouble, "double");
    check(strictToFloat(text), asFloat, "float");
    check(strictToInt16(text), asInt16, "int16");
    check(strictToInt32(text), asInt32, "int32");
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
    QTest::newRow("lone sign") << "-" << 0.0;
    QTest::newRow("lone point") << "." << 0.0;
    QTest::newRow("signed point") << "+.5x" << 0.5;
    QTest::newRow("hex") << "&HFF" << 255.0;
    QTest::newRow("hex lower") << "&hfF" << 255.0;
    QTest::newRow("hex stops") << "&H1G" << 1.0;
    QTest::newRow("hex wide") << "&HFFFFFFFFFFFF" << 281474976710655.0;
    QTest::newRow("hex saturates") << QString("&H" + QString(40, u'F')) << 18446744073709551615.0;
    QTest::newRow("hex saturates, not wraps") << "&H10000000000000000" << 18446744073709551615.0;
    QTest::newRow("octal lower") << "& o 17" << 15.0;
    QTest::newRow("octal stops at 8") << "&O78" << 7.0;
    QTest::newRow("signed hex") << "-&H10" << 0.0;
    QTest::newRow("overflow is infinite") << "1e400" << Inf;
    QTest::newRow("negative overflow") << "-1e400x" << -Inf;
    QTest::newRow("thousand digits") << QString(1000, u'9') << Inf;
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
    QTest::newRow("half") << 1.5 << false << "1.5";
    QTest::newRow("negative") << -2.5 << false << "-2.5";
    QTest::newRow("minus zero") << -0.0 << false << "0";
    QTest::newRow("tenth") << 0.1 << false << "0.1";
    QTest::newRow("third") << 1 / 3.0 << false << "0.333333333333333";
    QTest::newRow("fifteen digits") << 123456789.123456789 << false << "123456789.123457";
    QTest::newRow("1e15") << 1e15 << false << "1000000000000000";
    QTest::newRow("1e16") << 1e16 << false << "1e+16";
    QTest::newRow("tiny") << 1.25e-6 << false << "1.25e-06";
    QTest::newRow("float half") << 1.5 << true << "1.5";
    QTest::newRow("float tenth") << double(0.1f) << true << "0.1";
    QTest::newRow("float seven digits") << double(1.2345678f) << true << "1.234568";
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
