#pragma once

#include <QString>
#include <QStringList>
#include <array>

// What the settings row offers, in the order its boxes list it, and what each box shows at
// start-up. The rules accept exactly these values; data bits also anything between the first
// and the last.
namespace Choices {

inline constexpr std::array<qint16, 2> kPortNumbers{1, 2};
inline constexpr std::array<qint16, 4> kDataBits{5, 6, 7, 8};
inline constexpr std::array<const char *, 3> kParities{"Even", "Odd", "None"};
inline constexpr std::array<float, 3> kStopBits{1, 1.5f, 2};
inline constexpr std::array<qint32, 10> kBaudRates{1200,  2400,  4800,  9600,  14400,
                                                   19200, 28800, 38400, 57600, 115200};

inline constexpr qint16 kStartPortNumber = 1;
inline constexpr qint16 kStartDataBits = 8;
inline constexpr const char *kStartParity = "None";
inline constexpr float kStartStopBits = 1;
inline constexpr qint32 kStartBaudRate = 9600;

// The items of each box, as the box lists them.
QStringList portNumberTexts();
QStringList dataBitsTexts();
QStringList parityTexts();
QStringList stopBitsTexts();
QStringList baudRateTexts();

} // namespace Choices
