#include "app/viewsettings.h"

#include <QSettings>

namespace {

QSettings store()
{
    return QSettings(QStringLiteral("tavrel"), QStringLiteral("tavrel"));
}

const char *formatName(TimeFormat format)
{
    switch (format) {
    case TimeFormat::TimeOfDay:
        return "time-of-day";
    case TimeFormat::SinceStart:
        return "since-start";
    case TimeFormat::SincePrevious:
        return "since-previous-row";
    }
    return "time-of-day";
}

} // namespace

ViewSettings ViewSettings::load()
{
    const QSettings settings = store();
    ViewSettings view;
    view.arrivalTimes = settings.value("view/arrivalTimes", false).toBool();
    const QString format = settings.value("view/timeFormat").toString();
    for (const TimeFormat each :
         {TimeFormat::TimeOfDay, TimeFormat::SinceStart, TimeFormat::SincePrevious})
        if (format == QLatin1String(formatName(each)))
            view.format = each;
    view.quietGaps = settings.value("view/quietGaps", false).toBool();
    view.characters = settings.value("view/characters", false).toBool();
    bool ok = false;
    const int threshold = settings.value("view/quietGapMs", DefaultGapMs).toInt(&ok);
    // A value edited by hand out of range falls back to what the menu would allow.
    view.gapThresholdMs = ok ? std::clamp(threshold, MinimumGapMs, MaximumGapMs) : DefaultGapMs;
    return view;
}

void ViewSettings::save() const
{
    QSettings settings = store();
    settings.setValue("view/arrivalTimes", arrivalTimes);
    settings.setValue("view/timeFormat", QString::fromLatin1(formatName(format)));
    settings.setValue("view/quietGaps", quietGaps);
    settings.setValue("view/quietGapMs", gapThresholdMs);
    settings.setValue("view/characters", characters);
}
