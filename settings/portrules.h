#pragma once

#include <QString>

// The rules that accept or undo an entry in one of the five settings boxes. Each takes the
// box texts and remembered settings it may change; a refused entry gets the remembered
// setting's text back. Afterwards the remembered setting holds an accepted value.
namespace PortRules {

void validatePortNumber(QString &portText, qint16 &lastPortNumber);
void validateDataBits(QString &dataBitsText, QString &stopBitsText, qint16 &lastDataBits,
                      float &lastStopBits);
void validateParity(QString &parityText, QString &lastParity);
void validateStopBits(const QString &dataBitsText, QString &stopBitsText, float &lastStopBits);
void validateBaudRate(QString &baudText, qint32 &lastBaudRate);

} // namespace PortRules
