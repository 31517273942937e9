#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

class LogText;

// Loading and saving the log file: its bytes are the log view's Latin-1 text, unchanged.
namespace LogStore {

// Larger files are refused rather than loaded or truncated.
inline constexpr qint64 kMaxLogBytes = qint64(1) << 30;

struct LoadResult
{
    enum class Status { Loaded, Missing, Failed };
    Status status = Status::Missing;
    QByteArray bytes;  // the whole file when Loaded
    QString errorText; // names the file and the real cause when Failed
};

LoadResult load(const QString &fileName);

struct SaveResult
{
    bool ok = true;
    QString errorText; // names the file and the real cause when !ok
};

// Writes the pieces, in order, as the file's whole content; the old file stays intact unless
// every byte reached the disk.
SaveResult save(const QString &fileName, const QList<QByteArrayView> &pieces);
SaveResult save(const QString &fileName, QByteArrayView bytes);
// Streams the text from wherever it is kept, a megabyte at a time; a part that cannot be read
// back fails the save.
SaveResult save(const QString &fileName, const LogText &text);

// Moves the file out of the way to the first free name of fileName.bak, fileName.bak.2, ...
// so that a log that could not be loaded is never overwritten.
struct SetAsideResult
{
    bool ok = true;
    QString newName;   // when ok
    QString errorText; // names the file and the real cause when !ok
};
SetAsideResult setAside(const QString &fileName);

} // namespace LogStore
