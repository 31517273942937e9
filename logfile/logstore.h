#pragma once

#include "logfile/logtext.h"
#include "posix/fdguard.h"
#include "posix/fileidentity.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

// Loading and saving the log file: its bytes are the log view's Latin-1 text, unchanged.
namespace LogStore {

struct LoadResult
{
    enum class Status { Loaded, Missing, Failed };
    Status status = Status::Missing;
    // When Loaded: the file open for reading, to be read where it lies however long it is.
    FdGuard file;
    QString errorText;     // names the file and the real cause when Failed
    FileIdentity identity; // the file as it was opened, when Loaded
};

LoadResult load(const QString &fileName);

// The log as saved, open for reading, when it still holds exactly size bytes (another program
// may have written to it since).
struct Reopened
{
    FdGuard file;
    FileIdentity identity;
};
std::optional<Reopened> reopen(const QString &fileName, qint64 size);

struct SaveResult
{
    bool ok = true;
    QString errorText;           // names the file and the real cause when !ok
    bool folderUnusable = false; // the folder was deleted or cannot be written
    bool logChanged = false;     // the log is not the file it was: write it whole instead
};

// Called with the new file, complete on disk, just before it replaces the old one.
using BeforeReplace = std::function<void(const FileIdentity &)>;

// Writes the text as the file's whole content, streamed from wherever it is kept a megabyte at
// a time; the old file stays intact unless every byte reached the disk, and a part that cannot
// be read back fails the save. Anything but a regular file (a FIFO, a device) is never replaced.
SaveResult save(const QString &fileName, const LogText &text,
                const BeforeReplace &beforeReplace = {});

// Called with the log and the length it will have, before anything is appended to it.
using BeforeAppend = std::function<void(const FileIdentity &, qint64)>;

// Appends the text from position `from` on to the log in place, as long as the log is still the
// file `expected` (else logChanged). The log is cut back to its old length when anything fails,
// so a failed append leaves it exactly as it was.
SaveResult appendTo(const QString &fileName, const FileIdentity &expected, const LogText &text,
                    qint64 from, const BeforeAppend &beforeAppend = {});

// Cuts the log back to the length it had before an append that did not finish.
bool cutBack(const QString &fileName, qint64 size);

// The file a chain of symbolic links ends at (it may not exist yet), or fileName itself: the
// log's companions live beside the file the log really is.
QString realName(const QString &fileName);

// Where a log may go that its own folder cannot take, best first: a new file under the user's
// state folder, else under the temporary folders.
QStringList rescueFileNames();

// Moves the file out of the way to the first free name of fileName + suffix, then with .2, ...
// so that a file that could not be read is never overwritten.
struct SetAsideResult
{
    bool ok = true;
    QString newName;   // when ok
    QString errorText; // names the file and the real cause when !ok
};
SetAsideResult setAside(const QString &fileName, const QString &suffix = QStringLiteral(".bak"));
// Keeps the file as it is now under the same kind of name, and leaves it where it is.
SetAsideResult keepCopy(const QString &fileName, const QString &suffix = QStringLiteral(".bak"));

} // namespace LogStore
