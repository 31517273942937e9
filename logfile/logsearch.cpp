#include "logfile/logsearch.h"
#include "logfile/logtextreader.h"

#include <QMetaObject>
#include <cstring>

LogSearch::LogSearch(QObject *parent, qint64 blockSize)
    : QObject(parent), m_blockSize(std::max<qint64>(1, blockSize))
{
}

LogSearch::~LogSearch()
{
    cancel();
}

void LogSearch::start(const QByteArray &pattern, std::shared_ptr<const LogTextReader> reader,
                      qint64 from)
{
    cancel();
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_reader = std::move(reader);
        m_cancelled = false;
    }
    m_searchedTo = 0;
    m_worker = std::thread(&LogSearch::run, this, pattern, ++m_generation, from);
}

void LogSearch::extend(std::shared_ptr<const LogTextReader> reader)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_reader = std::move(reader);
    }
    m_wake.notify_one();
}

void LogSearch::cancel()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_cancelled = true;
    }
    m_wake.notify_one();
    if (m_worker.joinable())
        m_worker.join();
    // Reports already queued belong to the old generation and are dropped on arrival.
    ++m_generation;
}

void LogSearch::run(QByteArray pattern, quint64 generation, qint64 from)
{
    HexItemMatcher matcher(std::move(pattern));
    QByteArray block(qsizetype(m_blockSize), Qt::Uninitialized);
    qint64 position = 0;
    if (from > 0) {
        std::shared_ptr<const LogTextReader> reader;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            reader = m_reader;
        }
        position = lineStart(*reader, std::min(from, reader->size()), block);
    }
    for (;;) {
        std::shared_ptr<const LogTextReader> reader;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [&] { return m_cancelled || m_reader->size() > position; });
            if (m_cancelled)
                return;
            reader = m_reader;
        }
        const qint64 got = reader->read(position, block.data(), m_blockSize);
        if (got <= 0) {
            // The stored text ends early (cut by another program): wait for a new reader.
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_reader == reader)
                m_reader = std::make_shared<MemoryLogTextReader>(QByteArray());
            continue;
        }
        std::vector<LogMatch> found;
        matcher.feed(block.constData(), got, position, found);
        position += got;
        report(generation, std::move(found), position);
    }
}

// Every line starts afresh: a match that begins in it is found from its start.
qint64 LogSearch::lineStart(const LogTextReader &reader, qint64 position, QByteArray &block) const
{
    const qint64 begin = std::max<qint64>(0, position - m_blockSize);
    const qint64 got = reader.read(begin, block.data(), position - begin);
    const void *lineEnd = got > 0 ? ::memrchr(block.constData(), '\n', size_t(got)) : nullptr;
    return lineEnd ? begin + (static_cast<const char *>(lineEnd) - block.constData()) + 1 : 0;
}

void LogSearch::report(quint64 generation, std::vector<LogMatch> matches, qint64 position)
{
    QMetaObject::invokeMethod(
        this,
        [this, generation, matches = std::move(matches), position] {
            if (generation != m_generation)
                return;
            m_searchedTo = position;
            if (!matches.empty())
                Q_EMIT matchesFound(matches);
            Q_EMIT progressed(position);
        },
        Qt::QueuedConnection);
}
