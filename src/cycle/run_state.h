#pragma once
// The run state word of the update cycle and its stop.
//
//   0x8000 stopped -> 0 running (StartUpdateCycle) -> 0x1000 stop requested (StopUpdateCycle)
//   -> 0x1001 the position monitor has ended (it sets bit 0) -> 0x8000 stopped, link closed.
//
// The word is always written whole; the monitor's bit 0 is the only read-modify-write.
#include <atomic>
#include <cstdint>
#include <functional>

inline constexpr std::uint32_t kRunRunning = 0;
inline constexpr std::uint32_t kRunStopRequested = 0x1000;
inline constexpr std::uint32_t kRunStopped = 0x8000;
inline constexpr std::uint32_t kRunStopMask = 0xF000;  // any bit: a stop is requested or done
inline constexpr std::uint32_t kRunMonitorEnded = 0x0001;
inline constexpr std::uint32_t kRunMonitorMask = 0x000F;
inline constexpr unsigned kStopPollMs = 500;

extern std::atomic<std::uint32_t> g_RunState;

// True when a stop is requested or done.
inline bool StopRequested() { return (g_RunState.load() & kRunStopMask) != 0; }

// Called by the position monitor as it leaves its loop.
inline void MarkMonitorEnded() { g_RunState.fetch_or(kRunMonitorEnded); }

// Stops the update cycle and closes the simulator link.
//
// From outside the cycle it returns only when no thread of the cycle is alive any more, so the
// caller may change or delete the catalogue: it requests the stop (0x1000), waits until the
// position monitor has ended (bit 0) and the cycle's threads have all returned, writes 0x8000
// and closes the link. A cycle already stopped from inside, whose threads are still winding
// down, is only waited for; a stop that finds another one waiting returns when that one ends.
// The wait is bounded by what the running thread is doing: a frozen simulator costs it at most
// one IPC operation (nine sends of 2 s), as the link is dropped once the stop is requested.
//
// From a thread of the cycle itself (see CycleThreadScope) it cannot wait for that monitor,
// which is the caller or not running: it marks the cycle stopped at once, closes the link,
// enables "Start" and disables "End"; the caller then winds down on its own.
void StopUpdateCycle();

// What a stop does to the simulator link: the connection hands in its disconnect when it makes
// a link (the seam that keeps the run state below the connection).
void SetLinkCloser(void (*close)());

// Waits while a stop from outside the cycle is in progress, then runs `then` (the start of a
// cycle, which writes 0 into the word) before any new stop can begin: a start never erases a
// stop request that is being waited for.
void WaitForStopInProgress(const std::function<void()>& then);

// Marks the calling thread as a thread of the update cycle (update pass, position monitor) for
// its lifetime.
class CycleThreadScope {
 public:
  CycleThreadScope();
  ~CycleThreadScope();
  CycleThreadScope(const CycleThreadScope&) = delete;
  CycleThreadScope& operator=(const CycleThreadScope&) = delete;

 private:
  bool m_Previous;
};
bool InCycleThread();
