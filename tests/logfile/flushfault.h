#pragma once

#include <atomic>
#include <cerrno>

// The test executable's own fdatasync and fsync: they fail with EIO while told to, as a dying
// USB stick or a lost NFS server does, and otherwise do the real thing.
namespace FlushFault {
inline std::atomic<bool> failing{false};
inline std::atomic<int> calls{0};
} // namespace FlushFault
