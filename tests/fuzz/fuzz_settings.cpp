#include "capture/portsettings.h"
#include "fuzzinput.h"
#include "settings/settingsinvariant.h"

#include <QRegularExpression>
#include <cmath>
#include <limits>
#include <optional>

// The settings' texts, picked by the first byte: one text through the strict number conversions,
// texts typed into the five boxes, or a settings string.
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

// A text in the number grammar converts to what strtod and strtof give, anything else is
// refused, and the integers round the same value.
void checkNumber(const QString &text)
{
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
}

// What parses is a line a port can take, each field agrees with its text, and written out
// plainly it parses the same.
void checkSettingsString(const QString &text)
{
    const std::optional<LineSettings> settings = parseSettingsString(text);
    if (!settings)
        return;
    const QStringList fields = text.split(u',');
    FUZZ_CHECK(fields.size() == 4, text);
    const auto number = [&](int field) { return Numbers::strictToDouble(fields[field]); };
    const std::optional<double> stop = number(3);
    FUZZ_CHECK(settings->baudRate >= 1 && number(0) == double(settings->baudRate), text);
    FUZZ_CHECK(fields[1].size() == 1 && QStringLiteral("NEOMS").contains(fields[1][0].toUpper()),
               text);
    FUZZ_CHECK(settings->dataBits >= QSerialPort::Data5 &&
                   settings->dataBits <= QSerialPort::Data8 &&
                   number(2) == double(settings->dataBits),
               text);
    FUZZ_CHECK(stop == 1.0 || stop == 2.0 || (stop == 1.5 && settings->dataBits == 5), text);
    FUZZ_CHECK(settings->stopBits == (stop == 1.0 ? QSerialPort::OneStop : QSerialPort::TwoStop),
               text);
    const QString plain = composeSettingsString(
        QString::number(settings->baudRate), fields[1], QString::number(int(settings->dataBits)),
        stop == 1.5 ? QStringLiteral("1.5") : QString::number(int(*stop)));
    FUZZ_CHECK(parseSettingsString(plain) == settings, text + u" -> " + plain);
}

// A row typed only through the rules gives Start a settings string that parses to the remembered
// settings, unless the data bits hold a fraction.
void checkRowSettings(const SettingsRow &row, const QString &state)
{
    const std::optional<LineSettings> parsed = parseSettingsString(
        composeSettingsString(row.box[SettingsRow::Baud], row.box[SettingsRow::Parity],
                              row.box[SettingsRow::DataBits], row.box[SettingsRow::StopBits]));
    const double dataBits = *Numbers::strictToDouble(row.box[SettingsRow::DataBits]);
    FUZZ_CHECK(parsed.has_value() == (dataBits == std::floor(dataBits)), state);
    if (!parsed)
        return;
    const QSerialPort::Parity parity = row.parity == u"Odd"    ? QSerialPort::OddParity
                                       : row.parity == u"Even" ? QSerialPort::EvenParity
                                                               : QSerialPort::NoParity;
    FUZZ_CHECK(parsed->baudRate == row.baud && int(parsed->dataBits) == row.dataBits &&
                   parsed->parity == parity &&
                   parsed->stopBits ==
                       (row.stopBits == 1 ? QSerialPort::OneStop : QSerialPort::TwoStop),
               state);
}

// Random texts in the boxes, most left through their rule, some as the focus leaves the window:
// after every step the row keeps its invariant.
void typeIntoTheRow(FuzzInput &input)
{
    SettingsRow row;
    for (int step = 0; step < 64 && !input.left.isEmpty(); ++step) {
        const uint8_t action = input.byte();
        const auto box = SettingsRow::Box(action % 5);
        if (action & 0x80)
            row.type(box, input.text());
        else
            row.enter(box, input.text());
        const QString state = row.box.join(u'|') + u' ' + QString::number(row.stopBits);
        FUZZ_CHECK(row.fault().isEmpty(), row.fault() + u' ' + state);
        if (row.onlyThroughRules)
            checkRowSettings(row, state);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    switch (input.byte() % 3) {
    case 0:
        checkNumber(input.text());
        break;
    case 1:
        typeIntoTheRow(input);
        break;
    default:
        checkSettingsString(input.text());
    }
    return 0;
}
