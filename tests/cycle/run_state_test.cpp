#include "cycle/run_state.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "simlink/link_fixture.h"
#include "cycle/update_cycle.h"

namespace altivane::test {
namespace {

using Clock = std::chrono::steady_clock;

class RunStateTest : public LinkTest {
 protected:
  RecordingControls m_Controls;
};

// A position monitor as the update cycle runs it: polls once a second, writes to the controls,
// and sets bit 0 when it leaves.
class FakeMonitor {
 public:
  FakeMonitor() {
    m_Thread = std::thread([this] {
      CycleThreadScope scope;
      {
        std::lock_guard lock(m_Mutex);
        m_Started = true;
      }
      m_Changed.notify_all();
      while (!StopRequested()) {
        SetStatusText("monitor polling");
        EnableEndButton(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
      }
      MarkMonitorEnded();
    });
    std::unique_lock lock(m_Mutex);
    m_Changed.wait(lock, [this] { return m_Started; });
  }
  ~FakeMonitor() { m_Thread.join(); }

 private:
  std::mutex m_Mutex;
  std::condition_variable m_Changed;
  bool m_Started = false;
  std::thread m_Thread;
};

TEST_F(RunStateTest, StopWhenStoppedReturnsAtOnceAndKeepsTheLink) {
  StartHost();
  ConnectSimulator();
  auto link = g_Link.Get();
  // No monitor runs: a stop that waited for one would never return.
  for (std::uint32_t state : {kRunStopped, kRunStopRequested, kRunStopped | kRunMonitorEnded}) {
    g_RunState = state;
    StopUpdateCycle();
    EXPECT_EQ(g_RunState.load(), state);
    EXPECT_EQ(g_Link.Get(), link);
  }
}

TEST_F(RunStateTest, StopWaitsForTheMonitorAndClosesTheLink) {
  StartHost();
  ConnectSimulator();
  g_RunState = kRunRunning;
  auto start = Clock::now();
  {
    FakeMonitor monitor;
    StopUpdateCycle();
    // The rest of the monitor's second plus at most one 500 ms step, with room for a slow machine.
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(3000));
  }
  EXPECT_EQ(g_RunState.load(), kRunStopped);
  EXPECT_FALSE(g_Link.Get());
  auto kinds = Host().JournalKinds();
  EXPECT_NE(std::find(kinds.begin(), kinds.end(), "disconnect"), kinds.end());
}

// A second stop while the first waits returns when the first has ended, not before: its
// caller may be about to change the catalogue.
TEST_F(RunStateTest, ASecondStopReturnsWhenTheFirstHasEnded) {
  g_RunState = kRunRunning;
  FakeMonitor monitor;
  std::thread first([] { StopUpdateCycle(); });
  // The first stop has written its request once the word carries it.
  while ((g_RunState.load() & kRunStopMask) == 0) std::this_thread::yield();
  StopUpdateCycle();
  // The first stop's last write: the monitor has ended and the cycle is stopped.
  EXPECT_EQ(g_RunState.load(), kRunStopped);
  first.join();
}

// "Start" (or the periodic refresh) while "End" waits in its stop: the start waits for the
// stop to end instead of writing 0 over its request, so neither waits for good.
TEST_F(RunStateTest, StartDuringAWaitingStopWaitsForIt) {
  using namespace std::chrono_literals;
  StartHost();
  ConnectSimulator();
  g_RunState = kRunRunning;
  auto monitor = std::make_unique<FakeMonitor>();
  auto stop = std::async(std::launch::async, [] { StopUpdateCycle(); });
  while ((g_RunState.load() & kRunStopMask) == 0) std::this_thread::yield();
  // Counted before the start: its pass may well have ended by the time this thread looks again.
  const std::uint64_t passesBefore = ProcessUpdateCycle().PassesEnded();
  auto start = std::async(std::launch::async, [] { StartUpdatePass(true); });
  const bool stopReturned = stop.wait_for(10s) == std::future_status::ready;
  const bool startReturned = start.wait_for(10s) == std::future_status::ready;
  if (!stopReturned || !startReturned) g_RunState = kRunStopRequested | kRunMonitorEnded;  // let them go
  monitor.reset();
  ASSERT_TRUE(stopReturned);
  ASSERT_TRUE(startReturned);
  EXPECT_EQ(g_RunState.load() & kRunStopMask, 0u);  // the new cycle runs
  // The stop closed the link before the new cycle's pass opened one.
  ASSERT_TRUE(ProcessUpdateCycle().WaitForPasses(passesBefore + 1, 10s));
  auto kinds = Host().JournalKinds();
  auto disconnect = std::find(kinds.begin(), kinds.end(), "disconnect");
  EXPECT_NE(disconnect, kinds.end());
  EXPECT_NE(std::find(disconnect, kinds.end(), "handshake"), kinds.end());
  StopUpdateCycle();
  EXPECT_TRUE(ProcessUpdateCycle().WaitIdle(0ms));
  EXPECT_EQ(g_RunState.load(), kRunStopped);
}

TEST_F(RunStateTest, StopFromInsideTheCycleDoesNotWaitForItself) {
  StartHost();
  ConnectSimulator();
  g_RunState = kRunRunning;
  m_Controls.start.Enable(false);
  m_Controls.end.Enable(true);
  std::thread pass([] {
    CycleThreadScope scope;
    // A stop that waited for the cycle's threads would wait for this one: it would never return.
    StopUpdateCycle();
    // The thread itself then winds down: a monitor it starts ends at once.
    EXPECT_TRUE(StopRequested());
    MarkMonitorEnded();
  });
  pass.join();
  EXPECT_EQ(g_RunState.load() & kRunStopMask, kRunStopped);
  EXPECT_FALSE(g_Link.Get());
  EXPECT_TRUE(m_Controls.start.IsEnabled());
  EXPECT_FALSE(m_Controls.end.IsEnabled());
  // A stop from the user interface afterwards has nothing left to do: the link was closed once.
  StopUpdateCycle();
  EXPECT_EQ(g_RunState.load() & kRunStopMask, kRunStopped);
  EXPECT_TRUE(m_Controls.start.IsEnabled());
  const auto kinds = Host().JournalKinds();
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "disconnect"), 1);
}

}  // namespace
}  // namespace altivane::test
