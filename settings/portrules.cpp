#include "portrules.h"
// Placeholder until the rules land.
namespace PortRules {
void validatePortNumber(QString &, qint16 &) {}
void validateDataBits(QString &, QString &, qint16 &, float &) {}
void validateParity(QString &, QString &) {}
void validateStopBits(const QString &, QString &, float &) {}
void validateBaudRate(QString &, qint32 &) {}
} // namespace PortRules
