#include "app/logview/timecolumn.h"

#include <QDateTime>

namespace TimeColumn {

QString rowText(TimeFormat format, std::optional<qint64> timeMs, std::optional<qint64> previousMs,
                std::optional<qint64> originMs, bool showDate)
{
    if (!timeMs)
        return {};
    switch (format) {
    case TimeFormat::TimeOfDay: {
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(*timeMs);
        const bool dateChanged =
            !previousMs || QDateTime::fromMSecsSinceEpoch(*previousMs).date() != at.date();
        return at.toString(showDate || dateChanged ? QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")
                                                   : QStringLiteral("HH:mm:ss.zzz"));
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
    return QDateTime::fromMSecsSinceEpoch(timeMs).toString(
        QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
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
