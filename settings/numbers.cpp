#include "numbers.h"
// Placeholder until the conversions land.
namespace Numbers {
std::optional<double> strictToDouble(QStringView) { return std::nullopt; }
std::optional<float> strictToFloat(QStringView) { return std::nullopt; }
std::optional<qint16> strictToInt16(QStringView) { return std::nullopt; }
std::optional<qint32> strictToInt32(QStringView) { return std::nullopt; }
double leadingNumber(QStringView) { return 0; }
QString numberText(double) { return {}; }
QString numberText(float) { return {}; }
QString numberText(qint32 v) { return QString::number(v); }
} // namespace Numbers
