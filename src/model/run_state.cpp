#include "model/run_state.h"

#include <chrono>
#include <thread>

#include "platform/controls.h"
#include "simlink/connection.h"

std::atomic<std::uint32_t> g_RunState{kRunStopped};

namespace {
thread_local bool t_InCycleThread = false;
}

CycleThreadScope::CycleThreadScope() : m_Previous(t_InCycleThread) { t_InCycleThread = true; }
CycleThreadScope::~CycleThreadScope() { t_InCycleThread = m_Previous; }
bool InCycleThread() { return t_InCycleThread; }

void StopUpdateCycle() {
  // Only one caller gets to request the stop; a second one returns at once.
  std::uint32_t state = g_RunState.load();
  do {
    if (state & kRunStopMask) return;
  } while (!g_RunState.compare_exchange_weak(state, kRunStopRequested));

  if (InCycleThread()) {
    // The monitor to wait for is this thread or is not running; the other thread of the cycle,
    // if any, sees the stop bits and ends by itself.
    g_RunState.store(kRunStopped);
    DisconnectSimulator();
    EnableStartButton(true);
    EnableEndButton(false);
    return;
  }

  while (true) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kStopPollMs));
    std::uint32_t now = g_RunState.load();
    if ((now & kRunMonitorMask) == kRunMonitorEnded) break;
  }
  g_RunState.store(kRunStopped);
  DisconnectSimulator();
}
