#include "fuzzinput.h"
#include "numbers.h"

#include <QRegularExpression>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>

// Checks the number conversions against the C library on any text: the strict conversions
// accept exactly the number grammar, the leading-number parse reads the longest number at the
// front, and the text of a number converts back to the number.
namespace {

const QString kNumber = QStringLiteral("[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?");

// No character beyond ASCII can belong to a number; the patterns must not see broken UTF-16.
QString asciiOnly(QString text)
{
    for (QChar &c : text)
        if (c.unicode() > 0x7F)
            c = QChar(u'\x01');
    return text;
}

bool isWholeNumberText(const QString &text)
{
    static const QRegularExpression whole(u"\\A[ \\t]*(" + kNumber + u")[ \\t]*\\z");
    return whole.match(asciiOnly(text)).hasMatch();
}

QString trimmedBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && (text[first] == u' ' || text[first] == u'\t'))
        ++first;
    while (last > first && (text[last - 1] == u' ' || text[last - 1] == u'\t'))
        --last;
    return text.sliced(first, last - first);
}

// The C library's value, with the tiny values that the conversions may flush to zero allowed.
template <typename T> bool agrees(T value, T reference)
{
    if (value == reference)
        return true;
    return std::fabs(reference) < std::numeric_limits<T>::min() && value == 0;
}

double cDouble(const QString &ascii)
{
    return std::strtod(ascii.toLatin1().constData(), nullptr);
}

template <typename Int> void checkInteger(std::optional<Int> converted, std::optional<double> value)
{
    if (!value) {
        FUZZ_CHECK(!converted, QStringLiteral("integer from a text that is no number"));
        return;
    }
    // The default rounding mode takes halves to the even neighbour.
    const double rounded = std::nearbyint(*value);
    const bool fits =
        rounded >= std::numeric_limits<Int>::min() && rounded <= std::numeric_limits<Int>::max();
    FUZZ_CHECK(converted.has_value() == fits, QString::number(*value, 'g', 17));
    if (fits)
        FUZZ_CHECK(double(*converted) == rounded, QString::number(*value, 'g', 17));
}

void checkStrict(const QString &text)
{
    const std::optional<double> asDouble = Numbers::strictToDouble(text);
    const std::optional<float> asFloat = Numbers::strictToFloat(text);
    if (!isWholeNumberText(text)) {
        FUZZ_CHECK(!asDouble && !asFloat, text);
    } else {
        const QString core = trimmedBlanks(text);
        const double reference = cDouble(core);
        const float referenceFloat = std::strtof(core.toLatin1().constData(), nullptr);
        FUZZ_CHECK(asDouble.has_value() == std::isfinite(reference), text);
        FUZZ_CHECK(asFloat.has_value() == std::isfinite(referenceFloat), text);
        if (asDouble)
            FUZZ_CHECK(agrees(*asDouble, reference), text);
        if (asFloat)
            FUZZ_CHECK(agrees(*asFloat, referenceFloat), text);
        if (asDouble)
            FUZZ_CHECK(Numbers::leadingNumber(text) == *asDouble, text);
    }
    checkInteger(Numbers::strictToInt16(text), asDouble);
    checkInteger(Numbers::strictToInt32(text), asDouble);
}

double hexOrOctalReference(const QString &digits, int base)
{
    const QString allowed = QStringLiteral("0123456789abcdef").first(base);
    qsizetype end = 0;
    while (end < digits.size() && allowed.contains(digits[end].toLower()))
        ++end;
    if (end == 0)
        return 0;
    bool ok = false;
    const qulonglong value = digits.first(end).toULongLong(&ok, base);
    return ok ? double(value) : double(std::numeric_limits<quint64>::max());
}

void checkLeading(const QString &text)
{
    const double value = Numbers::leadingNumber(text);
    QString packed = text;
    packed.remove(u' ').remove(u'\t').remove(u'\n');
    const QString kind = packed.mid(0, 2).toUpper();
    if (kind == u"&H" || kind == u"&O") {
        FUZZ_CHECK(value == hexOrOctalReference(packed.sliced(2), kind == u"&H" ? 16 : 8), text);
        return;
    }
    static const QRegularExpression front(u"\\A" + kNumber);
    const QRegularExpressionMatch match = front.match(asciiOnly(packed));
    if (!match.hasMatch()) {
        FUZZ_CHECK(value == 0, text);
        return;
    }
    const double reference = cDouble(match.captured(0));
    FUZZ_CHECK(agrees(value, reference), text);
}

void checkNumberText(double value)
{
    const QString text = Numbers::numberText(value);
    FUZZ_CHECK(isWholeNumberText(text) && !text.contains(u' ') && !text.startsWith(u'+'), text);
    const std::optional<double> back = Numbers::strictToDouble(text);
    if (!back) {
        // Fifteen digits round the largest doubles up beyond the range.
        FUZZ_CHECK(std::fabs(value) >= 1.797693134862315e308, text);
        return;
    }
    FUZZ_CHECK(std::fabs(*back - value) <= 1e-14 * std::fabs(value) + DBL_TRUE_MIN, text);
    FUZZ_CHECK(Numbers::numberText(*back) == text, text);
}

void checkNumberText(float value)
{
    const QString text = Numbers::numberText(value);
    FUZZ_CHECK(isWholeNumberText(text) && !text.contains(u' ') && !text.startsWith(u'+'), text);
    const std::optional<float> back = Numbers::strictToFloat(text);
    FUZZ_CHECK(back.has_value(), text);
    FUZZ_CHECK(std::fabs(*back - value) <= 1e-6f * std::fabs(value) + FLT_TRUE_MIN, text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const QString text = input.text();
    checkStrict(text);
    checkLeading(text);
    if (const auto value = Numbers::strictToDouble(text))
        checkNumberText(*value);
    if (const auto value = Numbers::strictToFloat(text))
        checkNumberText(*value);
    const auto bits = input.value<double>();
    if (std::isfinite(bits))
        checkNumberText(bits);
    const auto floatBits = input.value<float>();
    if (std::isfinite(floatBits))
        checkNumberText(floatBits);
    return 0;
}
