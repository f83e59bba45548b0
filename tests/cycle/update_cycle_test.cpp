// The pass/monitor hand-over against a fake simulator: no link, no catalogue, just the threads.
#include "cycle/update_cycle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "support/recording_controls.h"

namespace {

using namespace std::chrono_literals;
constexpr auto kWait = 10s;

class FakeBackend : public CycleBackend {
 public:
  bool StopRequested() override { return (m_Word.load() & 0xF000u) != 0; }
  void ResetRunState() override { m_Word.store(0); }
  void MarkMonitorEnded() override {
    m_Word.fetch_or(1u);
    Notify();
  }
  void Connect() override { ++m_Connects; }
  bool ReadPosition(double& latitude, double& longitude) override {
    std::lock_guard lock(m_Mutex);
    ++m_Reads;
    m_Changed.notify_all();
    if (m_FailReads != 0) {
      if (m_FailReads != kForever) --m_FailReads;
      return false;
    }
    latitude = m_Latitude;
    longitude = m_Longitude;
    return true;
  }
  bool LinkClosed() override { return m_LinkClosed.load(); }
  double SquaredDistance(double lat1, double lon1, double lat2, double lon2) override {
    const double y = (lat1 - lat2) * 60.0;
    const double x = (lon1 - lon2) * 60.0;
    return x * x + y * y;
  }
  StationWalkResult SetStations(double, double, CandidateList&, const std::function<bool()>& stop) override {
    std::unique_lock lock(m_Mutex);
    ++m_Passes;
    ++m_InPass;
    m_MaxInPass = std::max(m_MaxInPass, m_InPass);
    m_Changed.notify_all();
    // A held pass waits for release or for its stop, looking at the stop as a walk would
    // (never under this lock: the cycle calls in here under its own).
    bool stopped = false;
    while (m_HoldPasses) {
      lock.unlock();
      stopped = stop();
      lock.lock();
      if (stopped) break;
      m_Changed.wait_for(lock, 5ms, [this] { return !m_HoldPasses; });
    }
    lock.unlock();
    stopped = stop();
    lock.lock();
    if (m_StopFromInside) {
      // The link gives up inside the pass: stopped at once, "Start" enabled, no waiting.
      m_Word.store(0x8000);
      EnableStartButton(true);
      EnableEndButton(false);
    }
    --m_InPass;
    StationWalkResult result;
    result.m_Stopped = stopped || m_StopFromInside;
    result.m_StationsSet = result.m_Stopped ? 0 : 3;
    return result;
  }

  // Like StopUpdateCycle: request, wait for the monitor's bit 0, then stopped.
  bool Stop() {
    m_Word.store(0x1000);
    std::unique_lock lock(m_Mutex);
    const bool ended = m_Changed.wait_for(lock, kWait, [this] { return (m_Word.load() & 0xF) == 1; });
    m_Word.store(0x8000);
    return ended;
  }
  void Notify() {
    std::lock_guard lock(m_Mutex);
    m_Changed.notify_all();
  }
  template <class Pred>
  bool WaitFor(Pred pred) {
    std::unique_lock lock(m_Mutex);
    return m_Changed.wait_for(lock, kWait, pred);
  }
  void MoveTo(double latitude, double longitude) {
    std::lock_guard lock(m_Mutex);
    m_Latitude = latitude;
    m_Longitude = longitude;
  }

  static constexpr int kForever = -1;
  std::atomic<std::uint32_t> m_Word{0x8000};
  std::atomic<int> m_Connects{0};
  std::atomic<bool> m_LinkClosed{false};
  std::mutex m_Mutex;
  std::condition_variable m_Changed;
  double m_Latitude = 50.0;
  double m_Longitude = 8.0;
  int m_FailReads = 0;
  int m_Reads = 0;
  int m_Passes = 0;
  int m_InPass = 0;
  int m_MaxInPass = 0;
  bool m_HoldPasses = false;
  bool m_StopFromInside = false;
};

struct CycleFixture : ::testing::Test {
  CycleFixture() { cycle.SetMonitorPeriod(5ms); }
  ~CycleFixture() override {
    if ((backend.m_Word.load() & 0xF000) == 0) backend.Stop();
    EXPECT_TRUE(cycle.WaitIdle(kWait));
  }
  int Passes() {
    std::lock_guard lock(backend.m_Mutex);
    return backend.m_Passes;
  }
  // Lets the monitor poll a few more times.
  void WaitForPolls(int polls) {
    int target = 0;
    {
      std::lock_guard lock(backend.m_Mutex);
      target = backend.m_Reads + polls;
    }
    ASSERT_TRUE(backend.WaitFor([&] { return backend.m_Reads >= target; }));
  }

  altivane::test::RecordingControls controls;
  FakeBackend backend;
  UpdateCycle cycle{backend};
};

TEST_F(CycleFixture, PassHandsOverToMonitorWhichStartsANewPassOnlyAfterMoreThan15Nm) {
  cycle.Start(false);
  ASSERT_TRUE(cycle.WaitForPasses(1, kWait));
  EXPECT_EQ(backend.m_Word.load(), 0u);
  EXPECT_FALSE(controls.start.IsEnabled());
  EXPECT_TRUE(controls.end.IsEnabled());
  EXPECT_DOUBLE_EQ(cycle.LastUpdatePosition().m_Latitude, 50.0);

  backend.MoveTo(50.0 + 14.99 / 60.0, 8.0);  // not far enough
  WaitForPolls(5);
  EXPECT_EQ(Passes(), 1);
  EXPECT_NEAR(cycle.CurrentPosition().m_Latitude, 50.0 + 14.99 / 60.0, 1e-12);

  backend.MoveTo(50.0 + 16.0 / 60.0, 8.0);
  ASSERT_TRUE(cycle.WaitForPasses(2, kWait));
  EXPECT_NEAR(cycle.LastUpdatePosition().m_Latitude, 50.0 + 16.0 / 60.0, 1e-12);
  WaitForPolls(5);  // the new monitor measures from the new position
  EXPECT_EQ(Passes(), 2);
  EXPECT_EQ(cycle.LastPassResult().m_StationsSet, 3);

  EXPECT_TRUE(backend.Stop());
  EXPECT_TRUE(cycle.WaitIdle(kWait));
  EXPECT_EQ(backend.m_Word.load(), 0x8000u);
}

TEST_F(CycleFixture, StopDuringAPassEndsThroughTheMonitorWithBitZero) {
  backend.m_HoldPasses = true;
  cycle.Start(false);
  ASSERT_TRUE(backend.WaitFor([&] { return backend.m_InPass == 1; }));
  EXPECT_TRUE(cycle.PassRunning());
  EXPECT_TRUE(backend.Stop());  // the pass leaves, its monitor ends at once and sets bit 0
  EXPECT_TRUE(cycle.WaitIdle(kWait));
  EXPECT_TRUE(cycle.LastPassResult().m_Stopped);
  EXPECT_FALSE(cycle.PassRunning());
  EXPECT_EQ(backend.m_Connects.load(), 1);  // the stopped monitor did not connect
}

TEST_F(CycleFixture, StartWhileAPassRunsWaitsForItInsteadOfRunningBesideIt) {
  backend.m_HoldPasses = true;
  cycle.Start(false);
  ASSERT_TRUE(backend.WaitFor([&] { return backend.m_InPass == 1; }));
  cycle.Start(true);  // the held pass is superseded and leaves; the new one waits for it
  cycle.Start(true);  // a third request folds into the waiting one
  ASSERT_TRUE(backend.WaitFor([&] { return backend.m_Passes == 2 && backend.m_InPass == 1; }));
  {
    std::lock_guard lock(backend.m_Mutex);
    backend.m_HoldPasses = false;
    backend.m_Changed.notify_all();
  }
  ASSERT_TRUE(cycle.WaitForPasses(2, kWait));
  EXPECT_TRUE(cycle.LastPassResult().m_StationsSet == 3);
  WaitForPolls(3);
  EXPECT_EQ(Passes(), 2);
  std::lock_guard lock(backend.m_Mutex);
  EXPECT_EQ(backend.m_MaxInPass, 1);
}

TEST_F(CycleFixture, PositionReadRepeatsUntilItSucceeds) {
  backend.m_FailReads = 3;
  cycle.Start(false);
  ASSERT_TRUE(cycle.WaitForPasses(1, kWait));
  std::lock_guard lock(backend.m_Mutex);
  EXPECT_GE(backend.m_Reads, 4);
  EXPECT_EQ(backend.m_Passes, 1);
}

TEST_F(CycleFixture, PositionReadEndsWhenTheLinkIsGoneOrAStopComes) {
  struct Case {
    const char* name;
    bool linkClosed;
  };
  for (Case c : {Case{"link closed", true}, Case{"stop requested", false}}) {
    SCOPED_TRACE(c.name);
    {
      std::lock_guard lock(backend.m_Mutex);
      backend.m_FailReads = FakeBackend::kForever;
      backend.m_Reads = 0;
    }
    backend.m_LinkClosed = c.linkClosed;
    cycle.Start(false);
    if (!c.linkClosed) {
      // The pass keeps reading while the link is there, but not in a hot loop: a simulator
      // answering bad data at once must not cost a whole core.
      WaitForPolls(1);
      const auto before = std::chrono::steady_clock::now();
      WaitForPolls(3);
      EXPECT_GE(std::chrono::steady_clock::now() - before, 250ms);
    }
    EXPECT_TRUE(backend.Stop());
    EXPECT_TRUE(cycle.WaitIdle(kWait));
    EXPECT_TRUE(cycle.LastPassResult().m_Stopped);
    EXPECT_EQ(Passes(), 0);  // no position, no stations
  }
}

TEST_F(CycleFixture, StopFromInsideThePassLeavesStartEnabled) {
  backend.m_StopFromInside = true;
  cycle.Start(false);
  ASSERT_TRUE(cycle.WaitForPasses(1, kWait));
  EXPECT_TRUE(cycle.WaitIdle(kWait));
  EXPECT_TRUE(controls.start.IsEnabled());
  EXPECT_FALSE(controls.end.IsEnabled());
  EXPECT_EQ(backend.m_Word.load() & 0xF000u, 0x8000u);
}

TEST_F(CycleFixture, ANewCycleSupersedesTheMonitorOfTheOldOne) {
  cycle.Start(false);
  ASSERT_TRUE(cycle.WaitForPasses(1, kWait));
  WaitForPolls(2);
  cycle.Start(true);  // "Update Now" without a stop first
  ASSERT_TRUE(cycle.WaitForPasses(2, kWait));
  WaitForPolls(3);
  EXPECT_EQ(Passes(), 2);
  EXPECT_EQ(backend.m_Word.load(), 0u);  // the old monitor left the new cycle's word alone
  EXPECT_TRUE(backend.Stop());
}

}  // namespace
