#pragma once

#include <QString>
#include <QStringView>
#include <optional>

// The number conversions behind the settings row and the port set-up.
// The point is always the decimal separator, whatever the locale.
namespace Numbers {

// Whole text must be a number: blanks around it, optional sign, digits with at most one
// point, optional exponent. Integers take the nearest value, halves to the even neighbour.
// Fails (nullopt) on any other text and on overflow of the target type.
std::optional<double> strictToDouble(QStringView text);
std::optional<float> strictToFloat(QStringView text);
std::optional<qint16> strictToInt16(QStringView text);
std::optional<qint32> strictToInt32(QStringView text);

// Reads the number that begins the text, skipping blanks, tabs and line feeds wherever they
// stand; also &H (hex) and &O (octal) whole numbers. Never fails: no number gives 0.
// Beyond the double range it gives an infinity, which no rule accepts; &H and &O saturate at
// 2^64-1.
double leadingNumber(QStringView text);

// Shortest decimal text: up to 15 significant digits for double, 7 for float; no point for
// whole values, no grouping, no leading blank.
QString numberText(double value);
QString numberText(float value);
QString numberText(qint32 value);

} // namespace Numbers
