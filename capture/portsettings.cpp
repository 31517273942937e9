#include "capture/portsettings.h"

#include "settings/numbers.h"

#include <QStringList>
#include <cmath>

namespace {

std::optional<qint32> wholeNumber(const QString &text)
{
    const std::optional<double> value = Numbers::strictToDouble(text);
    if (!value || *value != std::floor(*value) || *value < 1 || *value > 2147483647.0)
        return std::nullopt;
    return static_cast<qint32>(*value);
}

std::optional<QSerialPort::Parity> parityFromLetter(const QString &field)
{
    if (field.size() != 1)
        return std::nullopt;
    switch (field.at(0).toUpper().unicode()) {
    case 'N':
        return QSerialPort::NoParity;
    case 'E':
        return QSerialPort::EvenParity;
    case 'O':
        return QSerialPort::OddParity;
    case 'M':
        return QSerialPort::MarkParity;
    case 'S':
        return QSerialPort::SpaceParity;
    }
    return std::nullopt;
}

// A UART sends one and a half stop bits only with 5 data bits, when it is set to two.
std::optional<QSerialPort::StopBits> stopBitsFor(const QString &field, qint32 dataBits)
{
    const std::optional<double> value = Numbers::strictToDouble(field);
    if (!value)
        return std::nullopt;
    if (*value == 1)
        return QSerialPort::OneStop;
    if (*value == 2)
        return QSerialPort::TwoStop;
    if (*value == 1.5 && dataBits == 5)
        return QSerialPort::TwoStop;
    return std::nullopt;
}

} // namespace

QString composeSettingsString(const QString &baudText, const QString &parityText,
                              const QString &dataBitsText, const QString &stopBitsText)
{
    return baudText + u',' + parityText.left(1) + u',' + dataBitsText + u',' + stopBitsText;
}

std::optional<LineSettings> parseSettingsString(const QString &settings)
{
    const QStringList fields = settings.split(u',');
    if (fields.size() != 4)
        return std::nullopt;
    const std::optional<qint32> baud = wholeNumber(fields[0]);
    const std::optional<QSerialPort::Parity> parity = parityFromLetter(fields[1]);
    const std::optional<qint32> dataBits = wholeNumber(fields[2]);
    if (!baud || !parity || !dataBits || *dataBits < 5 || *dataBits > 8)
        return std::nullopt;
    const std::optional<QSerialPort::StopBits> stopBits = stopBitsFor(fields[3], *dataBits);
    if (!stopBits)
        return std::nullopt;
    return LineSettings{*baud, *parity, static_cast<QSerialPort::DataBits>(*dataBits), *stopBits};
}

QString portUnavailableNotice(const QString &portText)
{
    return QStringLiteral("\r\nCommPort") + portText +
           QStringLiteral(" not available. Change the 'Serial Port No:' property to another "
                          "port.\r\n");
}
