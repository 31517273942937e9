#pragma once

#include "logfile/hexitemmatcher.h"

#include <QObject>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class LogTextReader;

// Searches a log's text for a byte pattern in a thread of its own, block by block where the text
// lies, and reports matches as it finds them; it waits for more text until it is cancelled.
class LogSearch : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 DefaultBlockSize = qint64(1) << 20;

    explicit LogSearch(QObject *parent = nullptr, qint64 blockSize = DefaultBlockSize);
    ~LogSearch() override;
    LogSearch(const LogSearch &) = delete;
    LogSearch &operator=(const LogSearch &) = delete;

    // Searches the reader's text from the start of the line that holds from (from its start when
    // no line break lies within a block before from); a running search is cancelled first.
    void start(const QByteArray &pattern, std::shared_ptr<const LogTextReader> reader,
               qint64 from = 0);
    // The text grew: the search goes on over what the new reader holds past the old one.
    void extend(std::shared_ptr<const LogTextReader> reader);
    void cancel();

    bool isRunning() const { return m_worker.joinable(); }
    // How far the search has looked, as last reported.
    qint64 searchedTo() const { return m_searchedTo; }

Q_SIGNALS:
    void matchesFound(const std::vector<LogMatch> &matches);
    // The search has looked at the text up to position; it holds nothing back from before it.
    void progressed(qint64 position);

private:
    void run(QByteArray pattern, quint64 generation, qint64 from);
    qint64 lineStart(const LogTextReader &reader, qint64 position, QByteArray &block) const;
    void report(quint64 generation, std::vector<LogMatch> matches, qint64 position);

    const qint64 m_blockSize;
    std::thread m_worker;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::shared_ptr<const LogTextReader> m_reader; // guarded by m_mutex
    bool m_cancelled = false;                      // guarded by m_mutex
    quint64 m_generation = 0;
    qint64 m_searchedTo = 0;
};
