#pragma once

#include "app/logview/timecolumn.h"

// What the View menu shows, remembered between runs.
struct ViewSettings
{
    static constexpr int DefaultGapMs = 100;
    // FTDI-class adapters hand bytes over every 16 ms: a shorter silence is no gap.
    static constexpr int MinimumGapMs = 20;
    static constexpr int MaximumGapMs = 3600 * 1000;

    bool arrivalTimes = false;
    TimeFormat format = TimeFormat::TimeOfDay;
    bool quietGaps = false;
    int gapThresholdMs = DefaultGapMs;
    bool characters = false;

    static ViewSettings load();
    void save() const;
};
