#include "settings/portrules.h"

#include "settings/choices.h"
#include "settings/numbers.h"

#include <algorithm>

namespace {

using Numbers::leadingNumber;
using Numbers::numberText;

template <typename Values> bool isOneOf(double number, const Values &values)
{
    return std::find(values.begin(), values.end(), number) != values.end();
}

// A box whose leading number passes may still hold trailing junk that the strict conversion
// refuses; such an entry is undone like any other.
bool wholeNumber(const QString &text)
{
    return Numbers::strictToDouble(text).has_value();
}

// The stop-bit rule compares strict values; a text that is no number matches nothing.
bool equals(const QString &text, double value)
{
    const auto number = Numbers::strictToDouble(text);
    return number && *number == value;
}

bool differs(const QString &text, double value)
{
    const auto number = Numbers::strictToDouble(text);
    return number && *number != value;
}

bool isBaudRate(const QString &text)
{
    const auto number = Numbers::strictToDouble(text);
    return number && isOneOf(*number, Choices::kBaudRates);
}

} // namespace

namespace PortRules {

void validatePortNumber(QString &portText, qint16 &lastPortNumber)
{
    const double number = leadingNumber(portText);
    if (!isOneOf(number, Choices::kPortNumbers) || !wholeNumber(portText))
        portText = numberText(lastPortNumber);
    lastPortNumber = Numbers::strictToInt16(portText).value_or(lastPortNumber);
}

void validateDataBits(QString &dataBitsText, QString &stopBitsText, qint16 &lastDataBits,
                      float &lastStopBits)
{
    const double number = leadingNumber(dataBitsText);
    if (number < Choices::kDataBits.front() || number > Choices::kDataBits.back() ||
        !wholeNumber(dataBitsText))
        dataBitsText = numberText(lastDataBits);
    if (differs(dataBitsText, 5) && equals(stopBitsText, 1.5)) {
        stopBitsText = QStringLiteral("2");
        lastStopBits = 2;
    }
    if (equals(dataBitsText, 5) && equals(stopBitsText, 2)) {
        stopBitsText = QStringLiteral("1.5");
        lastStopBits = 1.5;
    }
    lastDataBits = Numbers::strictToInt16(dataBitsText).value_or(lastDataBits);
}

void validateParity(QString &parityText, QString &lastParity)
{
    if (std::none_of(Choices::kParities.begin(), Choices::kParities.end(),
                     [&](const char *parity) { return parityText == QLatin1String(parity); }))
        parityText = lastParity;
    lastParity = parityText;
}

void validateStopBits(const QString &dataBitsText, QString &stopBitsText, float &lastStopBits)
{
    const double number = leadingNumber(stopBitsText);
    if (!isOneOf(number, Choices::kStopBits) || !wholeNumber(stopBitsText))
        stopBitsText = numberText(lastStopBits);
    if (equals(dataBitsText, 5) && equals(stopBitsText, 2))
        stopBitsText = numberText(lastStopBits);
    if (differs(dataBitsText, 5) && equals(stopBitsText, 1.5))
        stopBitsText = numberText(lastStopBits);
    lastStopBits = Numbers::strictToFloat(stopBitsText).value_or(lastStopBits);
}

void validateBaudRate(QString &baudText, qint32 &lastBaudRate)
{
    baudText = numberText(leadingNumber(baudText));
    if (!isBaudRate(baudText))
        baudText = numberText(lastBaudRate);
    lastBaudRate = Numbers::strictToInt32(baudText).value_or(lastBaudRate);
}

} // namespace PortRules
