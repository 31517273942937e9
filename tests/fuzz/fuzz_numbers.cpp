#include "fuzzinput.h"
#include "settings/numbers.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>
#include <optional>

// The strict conversions against the C library: a text in the number grammar converts to what
// strtod and strtof give, anything else is refused, and the integers round the same value.
namespace {

std::optional<QByteArray> numberCore(const QString &text)
{
    static const QRegularExpression grammar(QStringLiteral(
        "\\A[ \\t]*([+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?)[ \\t]*\\z"));
    // No character beyond ASCII belongs to a number, and the pattern must not see broken UTF-16.
    for (const QChar c : text)
        if (c.unicode() > 0x7F)
            return std::nullopt;
    const QRegularExpressionMatch match = grammar.match(text);
    return match.hasMatch() ? std::optional(match.captured(1).toLatin1()) : std::nullopt;
}

// Values below the normal range may be flushed to zero.
template <typename T> bool agrees(std::optional<T> value, T reference)
{
    if (!std::isfinite(reference))
        return !value;
    return value && (*value == reference ||
                     (std::fabs(reference) < std::numeric_limits<T>::min() && *value == 0));
}

// The default rounding mode takes halves to the even neighbour.
template <typename Int> bool roundsLike(std::optional<Int> value, std::optional<double> number)
{
    const double rounded = number ? std::nearbyint(*number) : NAN;
    const bool fits =
        rounded >= std::numeric_limits<Int>::min() && rounded <= std::numeric_limits<Int>::max();
    return fits ? value == Int(rounded) : !value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = FuzzInput(data, size).text();
    const std::optional<double> asDouble = Numbers::strictToDouble(text);
    const std::optional<float> asFloat = Numbers::strictToFloat(text);
    if (const std::optional<QByteArray> core = numberCore(text)) {
        FUZZ_CHECK(agrees(asDouble, std::strtod(core->constData(), nullptr)), text);
        FUZZ_CHECK(agrees(asFloat, std::strtof(core->constData(), nullptr)), text);
        FUZZ_CHECK(!asDouble || Numbers::leadingNumber(text) == *asDouble, text);
    } else {
        FUZZ_CHECK(!asDouble && !asFloat, text);
    }
    FUZZ_CHECK(roundsLike(Numbers::strictToInt16(text), asDouble), text);
    FUZZ_CHECK(roundsLike(Numbers::strictToInt32(text), asDouble), text);
    return 0;
}
