#pragma once

#include "logfile/fileidentity.h"
#include "logfile/journalformat.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
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
    qint64 recordsEnd = 0; // the intact records in the index
    qint64 cutLogTo = -1;  // an append to the log that did not finish: cut it back first
    bool hasText() const { return cleared || textEnd > textStart; }
};

// The recovery journal beside the log: every text the log view gains reaches it in the same event,
// and a thread flushes it to stable storage within a second, so that a killed or crashed program
// loses nothing. It also claims the folder's log for one program at a time.
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

    Claim claim();
    bool isOpen() const { return m_indexFd >= 0; }
    // Nothing since the last start: no text, no Clear.
    bool isEmpty() const { return m_indexEnd <= JournalFormat::kRecordSize; }

    // Reads what the journal holds, as far as it is intact; log is the log file as it is now.
    Recovery recover(const std::optional<FileIdentity> &log) const;
    // The recovered text from offset on, at most count bytes of it.
    QByteArray recoveredText(const Recovery &recovery, qint64 offset = 0,
                             qint64 count = std::numeric_limits<qint64>::max()) const;

    // Starts afresh on a log view that equals the base (the log file as loaded or saved, or
    // nothing when it could not be loaded).
    void start(const std::optional<FileIdentity> &base);
    // Goes on after the recovered text, so that the journal still describes the view.
    void resume(const Recovery &recovery);

    void append(QByteArrayView text);
    void clear();
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
    void writeRecord(JournalFormat::Type type, std::array<qint64, 6> fields);
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
