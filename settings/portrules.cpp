#include "portrules.h"

#include "numbers.h"

#include <algorithm>
#include <array>

namespace {

using Numbers::leadingNumber;
using Numbers::numberText;

constexpr std::array<double, 10> BaudRates{1200,  2400,  4800,  9600,  14400,
                                           19200, 28800, 38400, 57600, 115200};

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
    return number && std::find(BaudRates.begin(), BaudRates.end(), *number) != BaudRates.end();
}

} // namespace

namespace PortRules {

void validatePortNumber(QString &portText, qint16 &lastPortNumber)
{
    const double number = leadingNumber(portText);
    if ((number != 1 && number != 2) || !wholeNumber(portText))
        portText = numberText(lastPortNumber);
    lastPortNumber = Numbers::strictToInt16(portText).value_or(lastPortNumber);
}

void validateDataBits(QString &dataBitsText, QString &stopBitsText, qint16 &lastDataBits,
                      float &lastStopBits)
{
    const double number = leadingNumber(dataBitsText);
    if (number < 5 || number > 8 || !wholeNumber(dataBitsText))
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
    if (parityText != u"Odd" && parityText != u"Even" && parityText != u"None")
        parityText = lastParity;
    lastParity = parityText;
}

void validateStopBits(const QString &dataBitsText, QString &stopBitsText, float &lastStopBits)
{
    const double number = leadingNumber(stopBitsText);
    if ((number != 1 && number != 2 && number != 1.5) || !wholeNumber(stopBitsText))
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
