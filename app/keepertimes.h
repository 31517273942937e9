#pragma once

#include "app/logview/arrivaltimes.h"

class LogKeeper;

// The arrival times the log keeper records, as the log view asks for them.
class KeeperTimes final : public ArrivalTimes
{
public:
    explicit KeeperTimes(const LogKeeper &keeper) : m_keeper(keeper) {}

    std::vector<Chunk> chunksIn(qint64 from, qint64 to) const override;
    std::optional<qint64> originMs() const override;

private:
    const LogKeeper &m_keeper;
};
