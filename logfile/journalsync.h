#pragma once

#include <QString>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Flushes the journal's two files to stable storage a short while after they change, on a thread
// of its own so that a slow disk never stalls the window; it sleeps while nothing changes.
class JournalSync
{
public:
    using ErrorHandler = std::function<void(const QString &)>;

    JournalSync(int dataFd, int indexFd);
    ~JournalSync();
    JournalSync(const JournalSync &) = delete;
    JournalSync &operator=(const JournalSync &) = delete;

    // Something was written: it reaches the disk within the delay plus the flush.
    void changed();
    // Empties the data file on the thread; awaitEmptyDataFile() returns once it is done.
    void emptyDataFile();
    void awaitEmptyDataFile();
    void setErrorHandler(ErrorHandler handler);
    qint64 longestWaitMs() const;

    static constexpr int kDelayMs = 250;

private:
    void run();

    const int m_dataFd;
    const int m_indexFd;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_emptyData = false;
    std::condition_variable m_dataEmptied;
    qint64 m_oldestChangeMs = -1;
    qint64 m_longestWaitMs = 0;
    ErrorHandler m_onError;
    std::thread m_thread;
};

// The flush the journal and the save use; fails with errno set.
bool flushToDisk(int fd);
