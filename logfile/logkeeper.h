#pragma once

#include "logfile/disklogtext.h"
#include "logfile/journal.h"
#include "logfile/logstore.h"
#include "logfile/logtimes.h"

#include <QString>
#include <memory>
#include <optional>

// The one owner of the log: log.txt as loaded, the text added since (in the journal's data file,
// read where it lies), the journal, the arrival times and the identity of the file last saved.
// The window asks it to open, append, clear and save, and turns its answers into messages; the
// log view reads the text through it.
class LogKeeper final : public LogText
{
public:
    explicit LogKeeper(const QString &logFileName);
    ~LogKeeper() override;
    LogKeeper(const LogKeeper &) = delete;
    LogKeeper &operator=(const LogKeeper &) = delete;

    // Claims the folder's log for this program, before anything is opened.
    Journal::Claim claim();

    struct Opened
    {
        LogStore::LoadResult::Status status = LogStore::LoadResult::Status::Missing;
        QString errorText;         // when Failed
        bool willSetAside = false; // when Failed: the next save moves the log aside first
        // What a run that ended without saving left, shown now and kept in the journal until
        // the next save; -1 when there was nothing.
        qint64 recoveredBytes = -1;
        // The run had cleared the log: the recovered text replaces log.txt at the next save.
        bool recoveredClear = false;
        // What the journal held past the part it vouches for: kept aside (journalSetAside).
        qint64 uncheckedBytes = 0;
        // A journal that cannot be read is moved aside, never deleted: where it went, or why not.
        QString journalSetAside;
        QString journalSetAsideError;
    };
    // Loads the log, and what a run that ended without saving left in the journal, without
    // copying either: the text is read where it lies.
    Opened open();

    qint64 size() const override;
    qint64 read(qint64 position, char *data, qint64 count) const override;
    qint64 copyTo(int fd, qint64 position, qint64 count, qint64 fdOffset,
                  int *error) const override;
    std::shared_ptr<const LogTextReader> reader() const override { return m_text->reader(); }
    // Received text, stamped with the wall clock now.
    void append(QByteArrayView bytes) override;
    // Empties the text and appends the new one: a Clear when it is empty.
    void replace(QByteArray text) override;

    void append(QByteArrayView bytes, qint64 timeMs);
    void clear();

    struct Saved
    {
        bool ok = true;
        QString errorText;
        QString setAsideAs;          // the log that could not be loaded was moved there first
        bool folderUnusable = false; // then a rescue copy was tried:
        QString rescueFile;          // where it went, when it could be written
        QString rescueError;         // why not, when it could not
        // Another program's version of log.txt, kept before the save replaced it.
        QString changedLogKeptAs;
        // Bytes of the loaded log that another program cut off: no longer in the text.
        qint64 cutBytes = 0;
    };
    // Makes log.txt equal the text: only the new part when log.txt is still the file last
    // loaded or saved, else the whole text in a new file put in its place.
    Saved save();

    // When the byte at offset arrived (milliseconds since the epoch), or LogTimes::Unknown.
    qint64 arrivalMs(qint64 offset) const;
    const LogTimes &times() const { return m_times; }
    // Bytes the disk refused so far, kept in memory until it takes them.
    qint64 unwrittenBytes() const { return m_text->unwrittenSize(); }
    // Why the disk refuses them (errno), or 0.
    int unwrittenCause() const { return m_text->writeError(); }
    // Where the unsaved text is kept on disk.
    QString unsavedTextPath() const;

    // Ends the run's use of the journal: gone when everything was saved, else flushed for the
    // next start to recover.
    void close();

    Journal &journal() { return m_journal; }
    const Journal &journal() const { return m_journal; }
    QString fileName() const { return m_fileName; }

private:
    // An append in place that a kill interrupted: finished, cut back, or left to its new owner.
    void settleUnfinishedAppend(Journal::Recovery &recovery);
    bool logContinuesWith(const Journal::Recovery &recovery, qint64 from, qint64 count) const;
    void showText(int baseFd, qint64 baseSize, const Journal::Recovery *recovered);
    LogStore::SaveResult writeLog();
    void noteSaved();
    void noteCutBack();
    qint64 dropWhatWasCut();
    LogStore::SaveResult keepChangedLog(Saved &saved);
    void saveRescueCopy(Saved &saved);
    void setJournalAside(Opened &opened);

    QString m_fileName;
    Journal m_journal;
    LogTimes m_times;
    std::unique_ptr<DiskLogText> m_text;
    // The log file as it was when the text last began with all of it.
    std::optional<FileIdentity> m_savedIdentity;
    // How much of the text log.txt holds, when the rest was only appended since; else -1.
    qint64 m_savedSize = -1;
    // log.txt as this program last loaded or saved it, and another program's version kept.
    std::optional<FileIdentity> m_lastSeenLog;
    std::optional<FileIdentity> m_keptLog;
    bool m_setAsideBeforeSave = false;
    QString m_rescueFile;
};
