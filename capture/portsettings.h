#pragma once

#include <QSerialPort>
#include <QString>
#include <optional>

// The settings string of a capture: baud rate, parity letter, data bits and stop bits,
// joined by commas ("9600,N,8,1").
struct LineSettings
{
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    bool operator==(const LineSettings &other) const
    {
        return baudRate == other.baudRate && parity == other.parity && dataBits == other.dataBits &&
               stopBits == other.stopBits;
    }
};

QString composeSettingsString(const QString &baudText, const QString &parityText,
                              const QString &dataBitsText, const QString &stopBitsText);

// Nothing when a field is not one a serial port on this platform can take.
std::optional<LineSettings> parseSettingsString(const QString &settings);

// The line the log view gets when a port cannot be set up.
QString portUnavailableNotice(const QString &portText);
