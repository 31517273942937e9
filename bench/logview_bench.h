#pragma once

#include <QString>

class LogView;

// Shared by the log view benchmark's parts: one table row, and where the big files go.
namespace LogViewBench {

void row(const char *figure, double value, const char *unit, const char *goal);
void textRow(const char *figure, const QString &value, const char *goal);

struct DiskSizes
{
    qint64 logBytes = qint64(2) << 30;  // the log opened and scrolled
    qint64 lineBytes = qint64(1) << 30; // the log of one line
    qint64 appendBytes = qint64(2) << 30;
    QString directory;
};

// The rows that read the log from disk: opening, scrolling, one long line, appending.
void runDiskRows(const DiskSizes &sizes);

} // namespace LogViewBench
