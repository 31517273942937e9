#pragma once

#include <QString>

class ArrivalTimes;
class LogText;

namespace TimedCopy {

// The text from..to as lines "time<TAB>items", one per received chunk: the time of day with
// milliseconds, empty for text without a time, whose lines stand on their own.
QString lines(const LogText &text, const ArrivalTimes &times, qint64 from, qint64 to);

} // namespace TimedCopy
