#pragma once

#include <QString>
#include <functional>

class LogText;
class LogTimes;

// The log written for other tools: as CSV, one row per received chunk (its time, offset in the
// log, byte count and hex items), or as the raw bytes the hex items stand for.
namespace LogExport {

enum class Format { Csv, Binary };

struct Result
{
    bool ok = false;
    bool cancelled = false;
    QString errorText;
    qint64 bytes = 0;      // received bytes written
    qint64 rows = 0;       // CSV rows, the head not counted
    qint64 otherWords = 0; // words that are not hex items (a notice), left out
};

// Called with the bytes of text done and the total; false cancels the export.
using Progress = std::function<bool(qint64 done, qint64 total)>;

// Writes the text from..to, with the times where known (times may be null), to target; the
// target is replaced only once all of it is on disk.
Result write(Format format, const LogText &text, const LogTimes *times, qint64 from, qint64 to,
             const QString &target, const Progress &progress = {});

// The log file as it is on disk, with its times where the times file speaks for it; a journal's
// unsaved text is not part of it.
Result writeFile(Format format, const QString &logPath, const QString &target);

// Exporting onto the log or a file kept beside it would destroy what is being read.
bool isLogsOwnFile(const QString &target, const QString &logPath);

// A row's time: UTC, ISO 8601 with milliseconds.
QByteArray isoTime(qint64 timeMs);

} // namespace LogExport
