#include "app/keepertimes.h"

#include "logfile/logkeeper.h"

ArrivalTimes::Chunk KeeperTimes::chunkAt(qint64 offset) const
{
    const qint64 size = m_keeper.size();
    if (offset < 0 || offset >= size)
        return {offset, offset, std::nullopt};
    const LogTimes::Chunk found = m_keeper.times().chunkAt(offset);
    // Entries past the text (none are kept, but a file may say otherwise) end at the text.
    const qint64 start = found.start >= 0 && found.start <= offset ? found.start : offset;
    const qint64 end = found.next > offset ? std::min(found.next, size) : size;
    if (found.start < 0 || found.timeMs == LogTimes::Unknown)
        return {start, end, std::nullopt};
    return {start, end, found.timeMs};
}

std::optional<qint64> KeeperTimes::originMs() const
{
    const qint64 first = m_keeper.times().firstKnownMs();
    return first == LogTimes::Unknown ? std::nullopt : std::optional(first);
}
