#pragma once

#include "posix/fileidentity.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <unordered_map>

// When each part of the log's text arrived, kept in NAME.times beside the log: one entry per
// received chunk, the text offset where it starts and the wall-clock time in milliseconds.
// The file is trusted only while it names the log as it is on disk; otherwise it starts afresh
// and the text it cannot speak for has no time.
class LogTimes
{
public:
    static constexpr qint64 Unknown = -1;

    explicit LogTimes(const QString &logFileName);
    ~LogTimes();
    LogTimes(const LogTimes &) = delete;
    LogTimes &operator=(const LogTimes &) = delete;

    static QString pathFor(const QString &logFileName);

    // Opens the file for a text of textSize bytes that starts with the log as loaded (nothing:
    // no log); entries past the text, left by a run that ended without saving, are dropped.
    void open(const std::optional<FileIdentity> &log, qint64 textSize);
    // Opens the file without changing it, for reading the times of log as it is on disk; false
    // (and no times) when the file does not speak for that log.
    bool openToRead(const FileIdentity &log);
    bool isOpen() const { return m_fd >= 0; }

    // A chunk of text starts at offset; offsets only grow.
    void add(qint64 offset, qint64 timeMs);
    // The text starts again from nothing.
    void clear();
    // The text was saved as log: from now on the entries are trusted for that file.
    void seal(const FileIdentity &log);

    // When the byte at offset arrived, or Unknown. A few reads of the file: O(log n).
    qint64 arrivalMs(qint64 offset) const;

    // One received chunk: where it starts, where the next one starts (-1: none yet), and when
    // it arrived (Unknown for text loaded without times).
    struct Chunk
    {
        qint64 start = -1;
        qint64 next = -1;
        qint64 timeMs = Unknown;
    };
    Chunk chunkAt(qint64 offset) const;
    // Calls visit(start, timeMs) for each chunk in order, from the one holding offset on, until
    // it returns false; the pages are read one after the other.
    void forEachChunkFrom(qint64 offset, const std::function<bool(qint64, qint64)> &visit) const;
    // The earliest time the file holds, or Unknown.
    qint64 firstKnownMs() const;

    static constexpr qint64 PageSize = 4096;

private:
    struct Entry
    {
        qint64 offset = -1;
        qint64 timeMs = 0;
    };
    struct Page
    {
        qint64 index = -1;
        QByteArray bytes;
    };

    Entry firstEntryOf(qint64 page) const;
    QByteArray readPage(qint64 page) const;
    qint64 lastPageStartingBefore(qint64 offset) const;
    void cutTo(qint64 textSize);
    void restart();
    void writeHeader(const std::optional<FileIdentity> &log, qint64 lastStart);
    struct Header
    {
        FileIdentity log;
        qint64 lastStart = -1; // the start of the log's last chunk when sealed, or -1
    };
    std::optional<Header> readHeader() const;
    bool holdsSealedEntries(const Header &header) const;
    void loadPages();
    void startPage(const Entry &first);
    void writeTail(int from);

    QString m_path;
    int m_fd = -1;
    qint64 m_pages = 0;
    // The page being filled, as it is in the file.
    QByteArray m_last;
    int m_lastUsed = 0;
    Entry m_lastEntry;
    mutable Page m_read;
    // The first entries of full pages, as the binary search has read them.
    mutable std::unordered_map<qint64, Entry> m_firstEntries;
};
