#pragma once

#include <QtGlobal>
#include <optional>

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
    // The received chunk that holds the offset, with its time (ms since the epoch) when known.
    virtual Chunk chunkAt(qint64 offset) const = 0;
    // The earliest known time: where the seconds since the capture started count from.
    virtual std::optional<qint64> originMs() const = 0;
};
