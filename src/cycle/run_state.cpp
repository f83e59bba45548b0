#include "cycle/run_state.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "cycle/update_cycle.h"
#include "platform/controls.h"

std::atomic<std::uint32_t> g_RunState{kRunStopped};

namespace {

// The connection's disconnect, handed in when it makes a link: before that there is none to close.
std::atomic<void (*)()> s_CloseLink{nullptr};

void CloseLink() {
  if (auto close = s_CloseLink.load()) close();
}

thread_local bool t_InCycleThread = false;

// Who is stopping. Starts wait while a stop from outside the cycle is in progress, so a start
// never erases a stop request; a stop that joins one in progress returns when that one ends.
struct StopControl {
  std::mutex m_Mutex;
  std::condition_variable m_Changed;
  bool m_InProgress = false;
  std::uint64_t m_Finished = 0;  // stops from outside the cycle that have ended
};

StopControl& Control() {
  static StopControl control;
  return control;
}

// Waits until the position monitor has ended (bit 0), or the word was already stopped, and no
// thread of the cycle is alive any more, so nothing can still reach the catalogue or the link.
void WaitForTheCycle(bool needMonitorEnd) {
  UpdateCycle& cycle = ProcessUpdateCycle();
  for (;;) {
    const bool idle = cycle.WaitIdle(std::chrono::milliseconds(kStopPollMs));
    const bool monitorEnded = (g_RunState.load() & kRunMonitorMask) == kRunMonitorEnded;
    if (idle && (monitorEnded || !needMonitorEnd)) return;
    // The cycle is idle but the monitor to wait for is not one of its threads.
    if (idle) std::this_thread::sleep_for(std::chrono::milliseconds(kStopPollMs));
  }
}

}  // namespace

void SetLinkCloser(void (*close)()) { s_CloseLink.store(close); }

CycleThreadScope::CycleThreadScope() : m_Previous(t_InCycleThread) { t_InCycleThread = true; }
CycleThreadScope::~CycleThreadScope() { t_InCycleThread = m_Previous; }
bool InCycleThread() { return t_InCycleThread; }

void StopUpdateCycle() {
  if (InCycleThread()) {
    // The monitor to wait for is this thread or is not running; the other thread of the cycle,
    // if any, sees the stop bits and ends by itself. A stop from outside that comes later waits
    // for both to end.
    std::uint32_t state = g_RunState.load();
    do {
      if (state & kRunStopMask) return;
    } while (!g_RunState.compare_exchange_weak(state, kRunStopped));
    CloseLink();
    EnableStartButton(true);
    EnableEndButton(false);
    return;
  }

  StopControl& control = Control();
  bool requested = false;
  {
    std::unique_lock lock(control.m_Mutex);
    if (control.m_InProgress) {
      // Another stop is waiting: this one returns when that one has ended, whatever starts
      // after it.
      const std::uint64_t finished = control.m_Finished;
      control.m_Changed.wait(lock, [&] { return control.m_Finished != finished; });
      return;
    }
    control.m_InProgress = true;
    std::uint32_t state = g_RunState.load();
    do {
      requested = (state & kRunStopMask) == 0;
      if (!requested) break;
    } while (!g_RunState.compare_exchange_weak(state, kRunStopRequested));
  }

  // Stopped already (possibly from inside, with its threads still winding down): only wait for
  // them, and leave the link alone.
  WaitForTheCycle(requested);
  if (requested) {
    g_RunState.store(kRunStopped);
    CloseLink();
  }
  std::lock_guard lock(control.m_Mutex);
  control.m_InProgress = false;
  ++control.m_Finished;
  control.m_Changed.notify_all();
}

void WaitForStopInProgress(const std::function<void()>& then) {
  StopControl& control = Control();
  std::unique_lock lock(control.m_Mutex);
  control.m_Changed.wait(lock, [&] { return !control.m_InProgress; });
  then();  // under the lock: no stop can begin before it has run
}
