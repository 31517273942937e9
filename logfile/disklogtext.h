#pragma once

#include "logfile/logtext.h"

#include <QString>
#include <map>
#include <memory>

// The log on disk: the loaded file as a read-only base, then appends in a tail region of a file
// (the journal's data, or an unnamed file of its own where there is no journal).
class DiskLogText final : public LogText
{
public:
    // Keeps duplicates of the descriptors (-1: no base); the tail already holds tailLength bytes.
    DiskLogText(int baseFd, qint64 baseSize, int tailFd, qint64 tailStart, qint64 tailLength = 0);
    ~DiskLogText() override;
    DiskLogText(const DiskLogText &) = delete;
    DiskLogText &operator=(const DiskLogText &) = delete;

    // A text with a tail file of its own, unnamed, in directory; null with errorText on failure.
    static std::unique_ptr<DiskLogText> create(const QString &directory, int baseFd = -1,
                                               qint64 baseSize = 0, QString *errorText = nullptr);

    qint64 size() const override;
    qint64 read(qint64 position, char *data, qint64 count) const override;
    void append(QByteArrayView bytes) override;
    void replace(QByteArray text) override;
    qint64 copyTo(int fd, qint64 position, qint64 count, qint64 fdOffset,
                  int *error) const override;
    // Reads what reached the files; bytes the disk refused so far come with a later reader.
    std::shared_ptr<const LogTextReader> reader() const override;
    // After a save the same text is wholly in baseFd: the tail starts again, empty, at tailStart.
    void rebase(int baseFd, qint64 baseSize, qint64 tailStart = 0);
    // Where another program cut the base file short, the text loses what it no longer holds;
    // returns how many bytes that was.
    qint64 cutBaseToFile();
    // Empties the text; what is appended next goes to the tail file at tailStart.
    void restartAt(qint64 tailStart);

    qint64 baseSize() const { return m_baseSize; }
    qint64 tailLength() const { return m_tailLength; }
    // Where the tail file ends: the next bytes that reach it go there.
    qint64 tailEnd() const { return m_tailStart + m_tailLength; }
    // What the tail file refused so far (a full disk) and the text keeps in memory.
    qint64 unwrittenSize() const { return m_unwritten.size(); }
    // Why the tail file refused the last bytes (errno), while some wait in memory.
    int writeError() const { return m_unwritten.isEmpty() ? 0 : m_writeError; }

    static constexpr qint64 BlockSize = qint64(64) * 1024;
    static constexpr size_t CachedBlocks = 32;

private:
    struct Block
    {
        QByteArray bytes; // shorter than BlockSize where the text ends or the file was cut short
        quint64 lastUse = 0;
    };

    qint64 readUncached(qint64 position, char *data, qint64 count) const;
    const Block &block(qint64 index) const;
    void writeUnwritten();
    void dropCacheFrom(qint64 position);
    void truncateOwnTail();

    int m_baseFd = -1;
    qint64 m_baseSize = 0;
    int m_tailFd = -1;
    qint64 m_tailStart = 0;
    qint64 m_tailLength = 0;
    bool m_ownsTail = false;
    // Appended bytes that the tail file refused (a full disk); they are kept and written later.
    QByteArray m_unwritten;
    int m_writeError = 0;
    mutable std::map<qint64, Block> m_cache;
    mutable quint64 m_useCount = 0;
};
