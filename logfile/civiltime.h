#pragma once

#include <QtGlobal>

// Date and time fields of milliseconds since the epoch, without a time zone lookup: the
// exports and the time column format many of them.
struct CivilTime
{
    qint64 year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    // Fields of the time as UTC; add a zone's offset first for its local time.
    static CivilTime fromMs(qint64 ms)
    {
        // Days to a civil date: Howard Hinnant's algorithm, exact for every proleptic year.
        const qint64 days = (ms >= 0 ? ms : ms - 86399999) / 86400000;
        const qint64 msOfDay = ms - days * 86400000;
        const qint64 z = days + 719468;
        const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
        const qint64 doe = z - era * 146097;
        const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const qint64 mp = (5 * doy + 2) / 153;
        CivilTime time;
        time.day = int(doy - (153 * mp + 2) / 5 + 1);
        time.month = int(mp < 10 ? mp + 3 : mp - 9);
        time.year = yoe + era * 400 + (time.month <= 2 ? 1 : 0);
        time.hour = int(msOfDay / 3600000);
        time.minute = int(msOfDay / 60000 % 60);
        time.second = int(msOfDay / 1000 % 60);
        time.millisecond = int(msOfDay % 1000);
        return time;
    }
};
