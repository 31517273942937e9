#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>
#include <memory>

class LogTextReader;

// The log's text wherever it is kept, in memory or on disk: the log view reads it by position,
// and the program only appends to it or replaces it whole.
class LogText
{
public:
    virtual ~LogText() = default;

    virtual qint64 size() const = 0;
    // Copies up to count bytes from position; fewer when the text ends first or the storage
    // cannot be read (a file cut short by another program).
    virtual qint64 read(qint64 position, char *data, qint64 count) const = 0;
    virtual void append(QByteArrayView bytes) = 0;
    virtual void replace(QByteArray text) = 0;

    // Writes count bytes from position into the file at fdOffset; returns the count written,
    // with error set when the file refused the rest (0: the text could not be read further).
    virtual qint64 copyTo(int fd, qint64 position, qint64 count, qint64 fdOffset, int *error) const;

    // A reader for another thread: the text as far as it is stored now. This one copies the text,
    // which suits texts kept in memory.
    virtual std::shared_ptr<const LogTextReader> reader() const;

    // The range as a byte array, as far as it can be read.
    QByteArray mid(qint64 position, qint64 count) const;
};

// The text held in memory: for small logs and tests.
class MemoryLogText final : public LogText
{
public:
    explicit MemoryLogText(QByteArray text = {}) : m_text(std::move(text)) {}

    qint64 size() const override { return m_text.size(); }
    qint64 read(qint64 position, char *data, qint64 count) const override;
    void append(QByteArrayView bytes) override { m_text.append(bytes); }
    void replace(QByteArray text) override { m_text = std::move(text); }

private:
    QByteArray m_text;
};
