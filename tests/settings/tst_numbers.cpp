#include "settings/numbers.h"

#include <QLocale>
#include <QTest>
#include <clocale>
#include <cmath>
#include <limits>

using namespace Numbers;

namespace {
constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double Fail = std::numeric_limits<double>::quiet_NaN();

// Exact, a refusal as NaN; QCOMPARE on doubles is fuzzy.
template <typename T> void checkExact(std::optional<T> value, double expected)
{
    const double actual = value ? double(*value) : Fail;
    const bool same = actual == expected || (std::isnan(actual) && std::isnan(expected));
    QVERIFY2(same, QByteArray(QByteArray::number(actual, 'g', 17) +
                              " != " + QByteArray::number(expected, 'g', 17)));
}
} // namespace

class TestNumbers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void strict_data();
    void strict();
    void text_data();
    void text();
};

// A comma-decimal locale: the point must stay the separator.
void TestNumbers::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::setlocale(LC_ALL, "de_DE.UTF-8");
}

// Strict conversions to each type (NaN: refused) and the leading number of the same text.
void TestNumbers::strict_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("asDouble");
    QTest::addColumn<double>("asFloat");
    QTest::addColumn<double>("asInt16");
    QTest::addColumn<double>("asInt32");
    QTest::addColumn<double>("leading");
    const auto row = [](const char *name, const QString &text, double d, double f, double i16,
                        double i32, double lead) {
        QTest::newRow(name) << text << d << f << i16 << i32 << lead;
    };
    const auto refused = [&](const char *name, const QString &text, double lead) {
        row(name, text, Fail, Fail, Fail, Fail, lead);
    };
    const QString nines(1000, u'9');
    row("blanks, plus, half up to even", " \t+1.5 \t", 1.5, 1.5, 2, 2, 1.5);
    row("point first, half down to even", ".5", 0.5, 0.5, 0, 0, 0.5);
    row("exponent", "2.5E-1", 0.25, 0.25, 0, 0, 0.25);
    row("negative half", "-2.5", -2.5, -2.5, -2, -2, -2.5);
    row("just over half", "0.5000001", 0.5000001, double(0.5000001f), 1, 1, 0.5000001);
    row("int16 max half", "32767.5", 32767.5, 32767.5, Fail, 32768, 32767.5);
    row("int32 max half", "2147483647.5", 2147483647.5, 2147483648.0, Fail, Fail, 2147483647.5);
    row("int32 min half", "-2147483648.5", -2147483648.5, -2147483648.0, Fail, -2147483648.0,
        -2147483648.5);
    row("float overflow", "3.5e38", 3.5e38, Fail, Fail, Fail, 3.5e38);
    row("float underflow", "1e-50", 1e-50, 0, 0, 0, 1e-50);
    row("long exponent", "1e" + QString(1000, u'0') + "5", 1e5, 1e5, Fail, 1e5, 1e5);
    row("long tiny exponent", "1e-" + nines, 0, 0, 0, 0, 0);
    row("long tail rounds once", "0.1" + QString(1000, u'0') + "1", 0.1, double(0.1f), 0, 0, 0.1);
    refused("negative overflow", "-1e400", -Inf);
    refused("huge exponent", "1e99999999999999999999", Inf);
    refused("thousand digits", nines, Inf);
    refused("lone point", ".", 0);
    refused("second point", "1.2.3", 1.2);
    refused("exponent without digits", "5e", 5);
    refused("blanks between digits", " 9 6\t0\n0", 9600);
    refused("spaced exponent", "1 e 3", 1000);
    refused("line feed after", "1\n", 1);
    refused("carriage return", "1\r2", 1);
    refused("comma", "1,5", 1);
    refused("signed point, junk", "+.5x", 0.5);
    refused("inf word", "inf", 0);
    refused("arabic digit", QString(QChar(0x0661)), 0);
    refused("hex, stops at G", "&hfF1G", 0xff1);
    refused("hex saturates", "&H10000000000000000", 18446744073709551615.0);
    refused("octal, stops at 8", "& o 178", 15);
    refused("signed hex", "-&H10", 0);
}

void TestNumbers::strict()
{
    QFETCH(QString, text);
    QFETCH(double, asDouble);
    QFETCH(double, asFloat);
    QFETCH(double, asInt16);
    QFETCH(double, asInt32);
    QFETCH(double, leading);
    checkExact(strictToDouble(text), asDouble);
    checkExact(strictToFloat(text), asFloat);
    checkExact(strictToInt16(text), asInt16);
    checkExact(strictToInt32(text), asInt32);
    checkExact(std::optional(leadingNumber(text)), leading);
}

void TestNumbers::text_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("asDouble");
    QTest::addColumn<QString>("asFloat");
    const auto row = [](const char *name, double value, const char *d, const char *f) {
        QTest::newRow(name) << value << QString(d) << QString(f);
    };
    row("negative third", -1 / 3.0, "-0.333333333333333", "-0.3333333");
    row("minus zero", -0.0, "0", "0");
    row("rounded", 123456789.123456789, "123456789.123457", "1.234568e+08");
    row("1e15", 1e15, "1000000000000000", "1e+15");
    row("1e16", 1e16, "1e+16", "1e+16");
    row("tiny", 1.25e-6, "1.25e-06", "1.25e-06");
}
void TestNumbers::text()
{
    QFETCH(double, value);
    QFETCH(QString, asDouble);
    QFETCH(QString, asFloat);
    QCOMPARE(numberText(value), asDouble);
    QCOMPARE(numberText(float(value)), asFloat);
}

QTEST_GUILESS_MAIN(TestNumbers)
#include "tst_numbers.moc"
