#pragma once
// The run state word of the update cycle and its stop.
//
//   0x8000 stopped -> 0 running (StartUpdateCycle) -> 0x1000 stop requested (StopUpdateCycle)
//   -> 0x1001 the position monitor has ended (it sets bit 0) -> 0x8000 stopped, link closed.
//
// The word is always written whole; the monitor's bit 0 is the only read-modify-write.
#include <atomic>
#include <cstdint>

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

// Stops the update cycle and closes the simulator link. Returns at once when a stop is already
// requested or done. From any other thread it waits, in 500 ms steps, until the position
// monitor has ended. From a thread of the cycle itself (see CycleThreadScope) it cannot wait for
// that monitor, which is the caller or not running: it marks the cycle stopped at once, closes
// the link, enables "Start" and disables "End"; the caller then winds down on its own.
void StopUpdateCycle();

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
