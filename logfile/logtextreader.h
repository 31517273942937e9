#pragma once

#include <QByteArray>
#include <QtGlobal>

// The stored part of a log's text: a region of one file followed by a region of another.
struct StoredRegions
{
    int baseFd = -1;
    qint64 baseSize = 0;
    int tailFd = -1;
    qint64 tailStart = 0;
    qint64 tailLength = 0;

    // Copies up to count bytes from position; fewer where the regions end or a file ends early.
    qint64 read(qint64 position, char *data, qint64 count) const;
};

// A read-only look at a log's text that another thread may use while the window appends: it
// reads the text as far as it was stored when the reader was made.
class LogTextReader
{
public:
    virtual ~LogTextReader() = default;

    virtual qint64 size() const = 0;
    // Copies up to count bytes from position; fewer where the reader's text ends.
    virtual qint64 read(qint64 position, char *data, qint64 count) const = 0;
};

// A reader over a copy of a text in memory (the copy shares the bytes until one side changes).
class MemoryLogTextReader final : public LogTextReader
{
public:
    explicit MemoryLogTextReader(QByteArray text) : m_text(std::move(text)) {}

    qint64 size() const override { return m_text.size(); }
    qint64 read(qint64 position, char *data, qint64 count) const override;

private:
    QByteArray m_text;
};

// A reader over a file region followed by another, through descriptors of its own.
class FileLogTextReader final : public LogTextReader
{
public:
    // Keeps duplicates of the descriptors (-1: that part is empty).
    FileLogTextReader(int baseFd, qint64 baseSize, int tailFd, qint64 tailStart, qint64 tailLength);
    ~FileLogTextReader() override;
    FileLogTextReader(const FileLogTextReader &) = delete;
    FileLogTextReader &operator=(const FileLogTextReader &) = delete;

    qint64 size() const override { return m_baseSize + m_tailLength; }
    qint64 read(qint64 position, char *data, qint64 count) const override;

private:
    int m_baseFd = -1;
    qint64 m_baseSize = 0;
    int m_tailFd = -1;
    qint64 m_tailStart = 0;
    qint64 m_tailLength = 0;
};
