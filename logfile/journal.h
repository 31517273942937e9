#pragma once

#include "logfile/journalformat.h"
#include "posix/fileidentity.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <functional>
#include <limits>
#include <memory>

class JournalSync;

// What a program that ended without saving left behind.
struct JournalRecovery
{
    bool cleared = false;      // the view was cleared since the base
    bool alreadySaved = false; // a save had replaced the log before the program ended
    qint64 textStart = 0;      // the recovered text in the data file
    qint64 textEnd = 0;
    qint64 recordsEnd = 0;  // the intact records in the index
    qint64 textRecords = 0; // where the records of the recovered text start in the index
    // An append in place to the log was under way, from this length to that: the log holds
    // none, part or all of the recovered text after appendingFrom.
    qint64 appendingFrom = -1;
    qint64 appendingTo = -1;
    // Files that hold something but no header this version reads: never to be thrown away.
    bool unreadable = false;
    // Text, or records, past the intact part (a write cut short by a kill, damage): not shown,
    // since nothing vouches for it, but never to be thrown away either.
    qint64 uncheckedBytes = 0;
    bool uncheckedRecords = false;
    bool hasUnchecked() const { return uncheckedBytes > 0 || uncheckedRecords; }
    bool hasText() const { return cleared || textEnd > textStart; }
};

// The recovery journal beside the log: its data file is where the log view's unsaved text is
// kept, and its index records every piece of it with its arrival time, every Clear and every
// save; a thread flushes both within 250 ms, so that a killed program loses nothing. It also
// claims the folder's log for one program at a time.
class Journal
{
public:
    struct Claim
    {
        enum class Status { Claimed, HeldByOther, Unavailable };
        Status status = Status::Unavailable;
        qint64 otherPid = 0;
        QString otherProgram;
        QString errorText; // when Unavailable
    };

    using Recovery = JournalRecovery;

    explicit Journal(const QString &logFileName);
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    static QString dataPathFor(const QString &logFileName);
    static QString indexPathFor(const QString &logFileName);
    QString dataPath() const { return m_dataPath; }
    QString indexPath() const { return m_indexPath; }
    // The data file, written by the text that keeps it; the journal records what reached it.
    int dataFd() const { return m_dataFd; }

    Claim claim();
    bool isOpen() const { return m_indexFd >= 0; }
    // Its files are still where the next start looks for them (not deleted with their folder).
    bool isFindable() const;
    // Nothing since the last start: no text, no Clear.
    bool isEmpty() const { return m_indexEnd <= JournalFormat::kRecordSize; }

    // Reads what the journal holds, as far as it is intact; log is the log file as it is now.
    Recovery recover(const std::optional<FileIdentity> &log) const;
    // The recovered text from offset on, at most count bytes of it.
    QByteArray recoveredText(const Recovery &recovery, qint64 offset = 0,
                             qint64 count = std::numeric_limits<qint64>::max()) const;
    // Calls visit(offset in the recovered text, arrival time) for each recovered piece, in order.
    void forEachPiece(const Recovery &recovery,
                      const std::function<void(qint64, qint64)> &visit) const;

    // Keeps what the journal holds under names of its own (NAME.unread, or the next free
    // NAME.unread.N) and goes on with empty files; the names it used, or errorText().
    QStringList setAside();

    // Starts afresh on a log view that equals the base (the log file as loaded or saved, or
    // nothing when it could not be loaded).
    void start(const std::optional<FileIdentity> &base);
    // Goes on after the recovered text, so that the journal still describes the view.
    void resume(const Recovery &recovery);

    // Called before the data file is written to: a start may still be emptying it.
    void awaitEmptyDataFile() const;
    // The text now lies in the data file at offset; it arrived at timeMs.
    void noteAppended(qint64 offset, QByteArrayView text, qint64 timeMs);
    // The view starts again, empty, where the data file ends now.
    void clear();
    qint64 dataEnd() const { return m_dataEnd; }
    // Called with the file about to replace the log, just before it does.
    void noteSaving(const FileIdentity &replacement);
    // Called before the new text is appended to the log in place.
    void noteAppending(const FileIdentity &log, qint64 newSize);

    // Forces everything to stable storage now; false with errorText() when it fails.
    bool syncNow();
    // Removes both files: after a clean save nothing is left to recover.
    void discard();

    QString errorText() const { return m_errorText; }
    // Called from the sync thread when a write or flush fails.
    void setErrorHandler(std::function<void(const QString &)> handler);
    // The longest a text waited for stable storage so far, in milliseconds.
    qint64 longestWaitMs() const;

private:
    void writeRecord(JournalFormat::Type type, std::array<qint64, 6> fields, qint64 timeMs = 0);
    bool fail(const QString &what, int errorNumber);

    QString m_dataPath;
    QString m_indexPath;
    int m_indexFd = -1;
    int m_dataFd = -1;
    qint64 m_dataEnd = 0;
    qint64 m_indexEnd = 0;
    bool m_failed = false;
    QString m_errorText;
    std::unique_ptr<JournalSync> m_sync;
};
