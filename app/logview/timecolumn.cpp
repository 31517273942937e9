#include "app/logview/timecolumn.h"

#include "logfile/civiltime.h"

#include <QDateTime>
#include <cstdio>
#include <limits>

namespace {

// Local fields of a time; the zone's offset is asked of the system once per quarter hour, as
// every change of offset falls on one.
CivilTime localTime(qint64 timeMs)
{
    constexpr qint64 QuarterHour = qint64(15) * 60 * 1000;
    static qint64 cachedQuarter = std::numeric_limits<qint64>::min();
    static qint64 cachedOffsetMs = 0;
    const qint64 quarter = timeMs >= 0 ? timeMs / QuarterHour : (timeMs + 1) / QuarterHour - 1;
    if (quarter != cachedQuarter) {
        cachedQuarter = quarter;
        cachedOffsetMs =
            qint64(QDateTime::fromMSecsSinceEpoch(quarter * QuarterHour).offsetFromUtc()) * 1000;
    }
    return CivilTime::fromMs(timeMs + cachedOffsetMs);
}

QString dateText(const CivilTime &time)
{
    return QStringLiteral("%1-%2-%3")
        .arg(time.year, 4, 10, QLatin1Char('0'))
        .arg(time.month, 2, 10, QLatin1Char('0'))
        .arg(time.day, 2, 10, QLatin1Char('0'));
}

QString clockText(const CivilTime &time)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", time.hour, time.minute, time.second,
                  time.millisecond);
    return QString::fromLatin1(text);
}

bool sameDay(const CivilTime &one, const CivilTime &other)
{
    return one.year == other.year && one.month == other.month && one.day == other.day;
}

} // namespace

namespace TimeColumn {

QString rowText(TimeFormat format, std::optional<qint64> timeMs, std::optional<qint64> previousMs,
                std::optional<qint64> originMs, bool showDate)
{
    if (!timeMs)
        return {};
    switch (format) {
    case TimeFormat::TimeOfDay: {
        const CivilTime at = localTime(*timeMs);
        const bool dateChanged = !previousMs || !sameDay(localTime(*previousMs), at);
        return showDate || dateChanged ? dateText(at) + QLatin1Char(' ') + clockText(at)
                                       : clockText(at);
    }
    case TimeFormat::SinceStart:
        return originMs ? seconds(*timeMs - *originMs) : QString();
    case TimeFormat::SincePrevious:
        return previousMs ? QLatin1Char('+') + seconds(*timeMs - *previousMs) : QString();
    }
    return {};
}

QString widestText(TimeFormat format)
{
    switch (format) {
    case TimeFormat::TimeOfDay:
        return QStringLiteral("0000-00-00 00:00:00.000");
    case TimeFormat::SinceStart:
        return QStringLiteral("000000.000");
    case TimeFormat::SincePrevious:
        return QStringLiteral("+00000.000");
    }
    return {};
}

QString dateTime(qint64 timeMs)
{
    const CivilTime at = localTime(timeMs);
    return dateText(at) + QLatin1Char(' ') + clockText(at);
}

QString seconds(qint64 durationMs)
{
    const qint64 magnitude = durationMs < 0 ? -durationMs : durationMs;
    return QStringLiteral("%1%2.%3")
        .arg(durationMs < 0 ? QStringLiteral("-") : QString())
        .arg(magnitude / 1000)
        .arg(magnitude % 1000, 3, 10, QLatin1Char('0'));
}

} // namespace TimeColumn
