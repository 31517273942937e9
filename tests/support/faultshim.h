#pragma once

#include <atomic>

// The test executable's own versions of the calls that change files. They do the real thing,
// except that flushes fail with EIO while told to (a dying USB stick, a lost NFS server), and
// that a process can be killed at the n-th of them, with writes and copies cut short on the way
// as the kernel may cut them, so that a kill lands anywhere inside a save or an append.
namespace FaultShim {
inline std::atomic<bool> flushFails{false};
// Renames fail with EIO while told to (the step that puts a saved file in place).
inline std::atomic<bool> renameFails{false};
// Calls of the thread that set it left before the process dies; 0: never. Other threads' calls
// (the journal's flushes) do not count, so that a run can be replayed.
void killAfterCalls(long calls);
// Exit status of a process killed by the shim.
inline constexpr int KilledStatus = 77;
} // namespace FaultShim
