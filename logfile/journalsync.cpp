#include "logfile/journalsync.h"
#include "posix/errortext.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <unistd.h>

namespace {

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

bool flushToDisk(int fd)
{
    // Some files (pipes, some special file systems) cannot be flushed; that is not a failure.
    return ::fdatasync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

JournalSync::JournalSync(int dataFd, int indexFd)
    : m_dataFd(dataFd), m_indexFd(indexFd), m_thread([this] { run(); })
{
}

JournalSync::~JournalSync()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void JournalSync::changed()
{
    const std::lock_guard lock(m_mutex);
    if (m_oldestChangeMs >= 0)
        return;
    m_oldestChangeMs = nowMs();
    m_wake.notify_one();
}

void JournalSync::emptyDataFile()
{
    const std::lock_guard lock(m_mutex);
    m_emptyData = true;
    m_wake.notify_one();
}

void JournalSync::awaitEmptyDataFile()
{
    std::unique_lock lock(m_mutex);
    m_dataEmptied.wait(lock, [this] { return !m_emptyData; });
}

void JournalSync::setErrorHandler(ErrorHandler handler)
{
    const std::lock_guard lock(m_mutex);
    m_onError = std::move(handler);
}

qint64 JournalSync::longestWaitMs() const
{
    const std::lock_guard lock(m_mutex);
    return m_longestWaitMs;
}

void JournalSync::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || m_emptyData || m_oldestChangeMs >= 0; });
        if (m_emptyData) {
            lock.unlock();
            const bool emptied = ::ftruncate(m_dataFd, 0) == 0;
            const int error = errno;
            lock.lock();
            m_emptyData = false;
            m_dataEmptied.notify_all();
            if (!emptied && m_onError)
                m_onError(errorText(error));
            continue;
        }
        if (m_stop)
            return;
        // Gathering a quarter of a second of changes into one flush keeps the disk quiet.
        const auto due = std::chrono::steady_clock::time_point(
            std::chrono::milliseconds(m_oldestChangeMs + kDelayMs));
        m_wake.wait_until(lock, due, [this] { return m_stop || m_emptyData; });
        const qint64 oldest = m_oldestChangeMs;
        m_oldestChangeMs = -1;
        lock.unlock();
        int error = 0;
        if (!flushToDisk(m_dataFd) || !flushToDisk(m_indexFd))
            error = errno;
        lock.lock();
        m_longestWaitMs = std::max(m_longestWaitMs, nowMs() - oldest);
        if (error != 0 && m_onError)
            m_onError(errorText(error));
        if (m_stop)
            return;
    }
}
