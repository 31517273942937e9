#pragma once

#include <QtGlobal>
#include <algorithm>
#include <optional>
#include <vector>

// When the parts of a log's text arrived, as the log view asks for them: it knows nothing of
// where they are kept.
class ArrivalTimes
{
public:
    virtual ~ArrivalTimes() = default;

    struct Chunk
    {
        qint64 start = 0;
        qint64 end = 0; // where the next chunk starts
        std::optional<qint64> timeMs;
    };
    // The received chunks that hold the text from..to, in order, with their times (ms since the
    // epoch) where known: one pass for a whole screen.
    virtual std::vector<Chunk> chunksIn(qint64 from, qint64 to) const = 0;
    // The earliest known time: where the seconds since the capture started count from.
    virtual std::optional<qint64> originMs() const = 0;

    Chunk chunkAt(qint64 offset) const
    {
        const std::vector<Chunk> found = chunksIn(offset, offset + 1);
        return found.empty() ? Chunk{offset, offset, std::nullopt} : found.front();
    }
};

// The chunks of a stretch of text, fetched at once and looked up by offset.
class ChunkSpan
{
public:
    ChunkSpan() = default;
    ChunkSpan(const ArrivalTimes &times, qint64 from, qint64 to)
        : m_chunks(times.chunksIn(from, to))
    {
    }

    // The chunk that holds the offset; outside the stretch, one without a time.
    ArrivalTimes::Chunk at(qint64 offset) const
    {
        const auto after = std::upper_bound(
            m_chunks.begin(), m_chunks.end(), offset,
            [](qint64 at, const ArrivalTimes::Chunk &chunk) { return at < chunk.start; });
        if (after == m_chunks.begin() || std::prev(after)->end <= offset)
            return {offset, offset, std::nullopt};
        return *std::prev(after);
    }
    // The chunks that start in from..to.
    std::vector<ArrivalTimes::Chunk> startingIn(qint64 from, qint64 to) const
    {
        std::vector<ArrivalTimes::Chunk> found;
        for (const ArrivalTimes::Chunk &chunk : m_chunks)
            if (chunk.start >= from && chunk.start < to)
                found.push_back(chunk);
        return found;
    }

private:
    std::vector<ArrivalTimes::Chunk> m_chunks;
};
