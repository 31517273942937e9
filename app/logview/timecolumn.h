#pragma once

#include <QString>
#include <optional>

enum class TimeFormat { TimeOfDay, SinceStart, SincePrevious };

// The texts of the time column and of the time tooltips.
namespace TimeColumn {

// A row's text: empty when the row has no time, or the format has nothing to count from.
QString rowText(TimeFormat format, std::optional<qint64> timeMs, std::optional<qint64> previousMs,
                std::optional<qint64> originMs, bool showDate);
// The widest text the format gives in ordinary use, to size the column.
QString widestText(TimeFormat format);
// Local date and time with milliseconds.
QString dateTime(qint64 timeMs);
// A duration in seconds with milliseconds, signed: "12.034", "-0.500".
QString seconds(qint64 durationMs);

} // namespace TimeColumn
