#include "app/keepertimes.h"

#include "logfile/logkeeper.h"

std::vector<ArrivalTimes::Chunk> KeeperTimes::chunksIn(qint64 from, qint64 to) const
{
    std::vector<Chunk> chunks;
    const qint64 size = m_keeper.size();
    from = std::max<qint64>(from, 0);
    to = std::min(to, size);
    if (from >= to)
        return chunks;
    m_keeper.times().forEachChunkFrom(from, [&](qint64 start, qint64 timeMs) {
        // Entries past the text (none are kept, but a file may say otherwise) end at the text.
        if (start >= size)
            return false;
        if (!chunks.empty())
            chunks.back().end = start;
        if (start >= to)
            return false;
        chunks.push_back(
            {start, size, timeMs == LogTimes::Unknown ? std::nullopt : std::optional(timeMs)});
        return true;
    });
    // Text that no entry speaks for has no time.
    if (chunks.empty() || chunks.front().start > from)
        chunks.insert(chunks.begin(),
                      {from, chunks.empty() ? size : chunks.front().start, std::nullopt});
    return chunks;
}

std::optional<qint64> KeeperTimes::originMs() const
{
    const qint64 first = m_keeper.times().firstKnownMs();
    return first == LogTimes::Unknown ? std::nullopt : std::optional(first);
}
