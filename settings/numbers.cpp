#include "settings/numbers.h"

#include <QtGlobal>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

// A decimal number found in a text: its digits as plain ASCII for std::from_chars (which
// ignores the locale), its sign apart because from_chars refuses a '+', and the power of ten
// of its first significant digit, which tells overflow from underflow when from_chars refuses.
struct DecimalScan
{
    std::string ascii;
    bool negative = false;
    qint64 magnitude = 0;
    qsizetype end = 0;
};

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// Far beyond any double's range: the power of ten only has to tell overflow from underflow.
constexpr qint64 ExponentLimit = 1000000;

// Reads an exponent at i only when digits follow its marker, appends it to ascii, moves i past it
// and gives its value, saturated so that a thousand exponent digits cannot overflow.
qint64 scanExponent(QStringView text, qsizetype &i, std::string &ascii)
{
    qsizetype j = i;
    if (j >= text.size() || (text[j] != u'e' && text[j] != u'E'))
        return 0;
    ++j;
    const bool negative = j < text.size() && text[j] == u'-';
    if (j < text.size() && (text[j] == u'+' || text[j] == u'-'))
        ++j;
    if (j >= text.size() || !isDigit(text[j]))
        return 0;
    ascii += negative ? "e-" : "e+";
    qint64 exponent = 0;
    for (; j < text.size() && isDigit(text[j]); ++j) {
        ascii.push_back(char(text[j].unicode()));
        exponent = qMin(exponent * 10 + (text[j].unicode() - '0'), ExponentLimit);
    }
    i = j;
    return negative ? -exponent : exponent;
}

// Reads sign, digits with at most one point, and an exponent.
std::optional<DecimalScan> scanDecimal(QStringView text)
{
    DecimalScan scan;
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        scan.negative = text[i++] == u'-';
    qint64 significantInteger = 0;
    qint64 fractionZeros = 0;
    bool nonZeroSeen = false;
    bool digitSeen = false;
    bool pointSeen = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'.' && !pointSeen) {
            pointSeen = true;
        } else if (isDigit(c)) {
            digitSeen = true;
            nonZeroSeen = nonZeroSeen || c != u'0';
            if (!pointSeen && nonZeroSeen)
                ++significantInteger;
            else if (pointSeen && !nonZeroSeen)
                ++fractionZeros;
        } else {
            break;
        }
        scan.ascii.push_back(char(c.unicode()));
    }
    if (!digitSeen)
        return std::nullopt;
    const qint64 exponent = scanExponent(text, i, scan.ascii);
    scan.end = i;
    scan.magnitude = (significantInteger > 0 ? significantInteger - 1 : -(fractionZeros + 1));
    scan.magnitude += exponent;
    return scan;
}

// Correctly rounded value; beyond the type's range it is an infinity, below it a zero.
template <typename T> T valueOf(const DecimalScan &scan)
{
    T value = 0;
    const char *first = scan.ascii.data();
    const auto result = std::from_chars(first, first + scan.ascii.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        value = scan.magnitude > 0 ? std::numeric_limits<T>::infinity() : T(0);
    return scan.negative ? -value : value;
}

std::optional<DecimalScan> scanWhole(QStringView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    const QStringView core = text.sliced(first, last - first);
    auto scan = scanDecimal(core);
    if (!scan || scan->end != core.size())
        return std::nullopt;
    return scan;
}

// Nearest integer, an exact half going to the even neighbour, whatever the FPU rounding mode.
double roundHalfEven(double value)
{
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction < 0.5)
        return below;
    if (fraction > 0.5)
        return below + 1;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

template <typename Int> std::optional<Int> strictToInteger(QStringView text)
{
    const auto value = Numbers::strictToDouble(text);
    if (!value)
        return std::nullopt;
    const double rounded = roundHalfEven(*value);
    if (rounded < double(std::numeric_limits<Int>::min()) ||
        rounded > double(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return Int(rounded);
}

int digitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Saturates instead of wrapping, so a long run of digits stays a huge value.
double hexOrOctal(QStringView digits, int base)
{
    quint64 value = 0;
    constexpr quint64 Max = std::numeric_limits<quint64>::max();
    for (const QChar c : digits) {
        const int digit = digitValue(c);
        if (digit < 0 || digit >= base)
            break;
        value = value > (Max - quint64(digit)) / quint64(base) ? Max : value * base + digit;
    }
    return double(value);
}

// Rounds to the given significant digits and writes them plainly, or with an exponent when the
// value is too large or too small for plain digits to read well.
QString decimalText(double value, int significantDigits)
{
    if (!std::isfinite(value))
        return QString::number(value);
    if (value == 0)
        return QStringLiteral("0");
    const QString scientific = QString::number(value, 'e', significantDigits - 1);
    const qsizetype marker = scientific.indexOf(u'e');
    const int exponent = scientific.sliced(marker + 1).toInt();
    const bool negative = scientific.startsWith(u'-');
    QString digits = scientific.first(marker).remove(u'.').remove(u'-');
    while (digits.size() > 1 && digits.endsWith(u'0'))
        digits.chop(1);
    QString text;
    if (exponent > significantDigits || exponent < -5) {
        text = digits.first(1);
        if (digits.size() > 1)
            text += u'.' + digits.sliced(1);
        text += scientific.sliced(marker);
    } else if (exponent < 0) {
        text = QStringLiteral("0.") + QString(-exponent - 1, u'0') + digits;
    } else if (digits.size() <= exponent + 1) {
        text = digits + QString(exponent + 1 - digits.size(), u'0');
    } else {
        text = digits.first(exponent + 1) + u'.' + digits.sliced(exponent + 1);
    }
    return negative ? u'-' + text : text;
}

// Overflow of the target type fails; underflow gives zero.
template <typename Floating> std::optional<Floating> strictToFloating(QStringView text)
{
    const auto scan = scanWhole(text);
    if (!scan)
        return std::nullopt;
    const Floating value = valueOf<Floating>(*scan);
    if (std::isinf(value))
        return std::nullopt;
    return value;
}

} // namespace

namespace Numbers {

std::optional<double> strictToDouble(QStringView text)
{
    return strictToFloating<double>(text);
}

std::optional<float> strictToFloat(QStringView text)
{
    return strictToFloating<float>(text);
}

std::optional<qint16> strictToInt16(QStringView text)
{
    return strictToInteger<qint16>(text);
}

std::optional<qint32> strictToInt32(QStringView text)
{
    return strictToInteger<qint32>(text);
}

double leadingNumber(QStringView text)
{
    QString packed = text.toString();
    packed.remove(u' ').remove(u'\t').remove(u'\n');
    if (packed.size() >= 2 && packed[0] == u'&') {
        const QChar kind = packed[1].toUpper();
        if (kind == u'H')
            return hexOrOctal(QStringView(packed).sliced(2), 16);
        if (kind == u'O')
            return hexOrOctal(QStringView(packed).sliced(2), 8);
    }
    const auto scan = scanDecimal(packed);
    return scan ? valueOf<double>(*scan) : 0.0;
}

QString numberText(double value)
{
    return decimalText(value, 15);
}

QString numberText(float value)
{
    return decimalText(double(value), 7);
}

QString numberText(qint32 value)
{
    return QString::number(value);
}

} // namespace Numbers
