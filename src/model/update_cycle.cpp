#include "model/update_cycle.h"

#include <algorithm>
#include <system_error>

#include "platform/controls.h"
#include "platform/thread_priority.h"

namespace {

// The monitor looks at the stop bits this often while it sleeps, so a stop does not wait for
// the rest of its period.
constexpr std::chrono::milliseconds kStopLookInterval{100};

}  // namespace

UpdateCycle::UpdateCycle(CycleBackend& backend) : m_Backend(backend) {}

UpdateCycle::~UpdateCycle() {
  std::unique_lock lock(m_Mutex);
  m_Closing = true;
  ++m_Generation;
  m_PassWaiting = false;
  m_Changed.notify_all();
  m_Changed.wait(lock, [this] { return m_ThreadsAlive == 0; });
  ReapLocked();
}

void UpdateCycle::Start(bool background) {
  std::lock_guard lock(m_Mutex);
  if (m_Closing) return;
  const std::uint64_t generation = ++m_Generation;
  m_Backend.ResetRunState();
  m_Current = AircraftPosition{};
  m_LastUpdate = AircraftPosition{};
  const CyclePriority priority = background ? CyclePriority::kBelowNormal : CyclePriority::kNormal;
  m_Changed.notify_all();  // a sleeping monitor of the cycle before ends now
  if (m_PassRunning) {
    // The running pass belongs to the cycle before; it leaves its walk at the next station
    // and starts this one instead of a monitor.
    m_PassWaiting = true;
    m_WaitingPriority = priority;
    return;
  }
  Launch(Kind::kPass, priority, generation);
}

void UpdateCycle::Launch(Kind kind, CyclePriority priority, std::uint64_t generation) {
  ReapLocked();
  if (kind == Kind::kPass) m_PassRunning = true;
  ++m_ThreadsAlive;
  try {
    m_Threads.emplace_back([this, kind, priority, generation] {
      SetCurrentThreadBelowNormal(priority == CyclePriority::kBelowNormal);
      if (kind == Kind::kPass) {
        PassThread(generation);
      } else {
        MonitorThread(generation);
      }
    });
  } catch (const std::system_error&) {
    // No thread to go on with: the cycle ends here, and a stop must not wait for a monitor.
    --m_ThreadsAlive;
    if (kind == Kind::kPass) m_PassRunning = false;
    if (generation == m_Generation) m_Backend.MarkMonitorEnded();
    m_Changed.notify_all();
  }
}

bool UpdateCycle::Stopping(std::uint64_t generation) {
  if (m_Backend.StopRequested()) return true;
  std::lock_guard lock(m_Mutex);
  return m_Closing || generation != m_Generation;
}

void UpdateCycle::ThreadEnded() {
  m_Finished.push_back(std::this_thread::get_id());
  --m_ThreadsAlive;
  m_Changed.notify_all();
}

void UpdateCycle::ReapLocked() {
  for (auto it = m_Threads.begin(); it != m_Threads.end();) {
    auto done = std::find(m_Finished.begin(), m_Finished.end(), it->get_id());
    if (done == m_Finished.end()) {
      ++it;
      continue;
    }
    // The thread has done its last work under the lock; joining only waits for its return.
    it->join();
    m_Finished.erase(done);
    it = m_Threads.erase(it);
  }
}

void UpdateCycle::PassThread(std::uint64_t generation) {
  if (!Stopping(generation)) {
    EnableStartButton(false);
    EnableEndButton(true);
  }
  bool havePosition = false;
  double latitude = 0.0;
  double longitude = 0.0;
  if (!Stopping(generation)) {
    m_Backend.Connect();
    // A failed read is repeated at once; it gives up only when the run is being stopped or
    // the link is gone, as no read can succeed then.
    while (!Stopping(generation)) {
      if (m_Backend.ReadPosition(latitude, longitude)) {
        havePosition = true;
        break;
      }
      if (m_Backend.LinkClosed()) break;
    }
  }
  StationWalkResult result;
  result.m_Stopped = true;
  if (havePosition) {
    {
      std::lock_guard lock(m_Mutex);
      m_Current = AircraftPosition{latitude, longitude};
      m_LastUpdate = m_Current;
    }
    result = m_Backend.SetStations(latitude, longitude, m_Candidates,
                                   [this, generation] { return Stopping(generation); });
  }
  // After a stop the buttons are the stopping side's: a stop from inside the link has just
  // enabled "Start".
  if (!Stopping(generation)) {
    EnableStartButton(false);
    EnableEndButton(true);
  }
  std::lock_guard lock(m_Mutex);
  ++m_PassesEnded;
  m_LastResult = result;
  if (m_PassWaiting && !m_Closing) {
    m_PassWaiting = false;
    Launch(Kind::kPass, m_WaitingPriority, m_Generation);
  } else {
    // Cleared before the monitor starts, in one step under the lock: no stale handle.
    m_PassRunning = false;
    if (!m_Closing) Launch(Kind::kMonitor, CyclePriority::kBelowNormal, generation);
  }
  ThreadEnded();
}

void UpdateCycle::MonitorThread(std::uint64_t generation) {
  bool stopped = Stopping(generation);
  if (!stopped) m_Backend.Connect();
  for (;;) {
    {
      std::lock_guard lock(m_Mutex);
      if (m_PassRunning) break;  // a pass has taken over; it starts the next monitor
    }
    if (Stopping(generation)) {
      stopped = true;
      break;
    }
    double latitude = 0.0;
    double longitude = 0.0;
    const bool read = m_Backend.ReadPosition(latitude, longitude);
    {
      std::lock_guard lock(m_Mutex);
      ++m_MonitorPolls;
      m_Changed.notify_all();
    }
    if (read) {
      std::lock_guard lock(m_Mutex);
      m_Current = AircraftPosition{latitude, longitude};
      if (!m_PassRunning && !m_Closing && generation == m_Generation &&
          MovedFarEnough(m_Backend.SquaredDistance(m_LastUpdate.m_Latitude, m_LastUpdate.m_Longitude,
                                                   latitude, longitude))) {
        m_LastUpdate = m_Current;
        Launch(Kind::kPass, CyclePriority::kNormal, generation);
        break;
      }
    }
    std::unique_lock lock(m_Mutex);
    const auto deadline = std::chrono::steady_clock::now() + m_MonitorPeriod;
    while (!m_Closing && generation == m_Generation && !m_PassRunning && !m_Backend.StopRequested()) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) break;
      m_Changed.wait_until(lock, std::min(deadline, now + kStopLookInterval));
    }
  }
  std::lock_guard lock(m_Mutex);
  // Bit 0 tells a waiting stop that the cycle has ended. A monitor of a superseded cycle
  // leaves the word to the new one.
  if (stopped && generation == m_Generation) m_Backend.MarkMonitorEnded();
  ThreadEnded();
}

bool UpdateCycle::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_Mutex);
  const bool idle = m_Changed.wait_for(lock, timeout, [this] { return m_ThreadsAlive == 0; });
  ReapLocked();
  return idle;
}

bool UpdateCycle::WaitForPasses(std::uint64_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_Mutex);
  return m_Changed.wait_for(lock, timeout, [this, count] { return m_PassesEnded >= count; });
}

bool UpdateCycle::WaitForMonitorPolls(std::uint64_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_Mutex);
  return m_Changed.wait_for(lock, timeout, [this, count] { return m_MonitorPolls >= count; });
}

std::uint64_t UpdateCycle::MonitorPolls() const {
  std::lock_guard lock(m_Mutex);
  return m_MonitorPolls;
}

std::uint64_t UpdateCycle::PassesEnded() const {
  std::lock_guard lock(m_Mutex);
  return m_PassesEnded;
}

bool UpdateCycle::PassRunning() const {
  std::lock_guard lock(m_Mutex);
  return m_PassRunning;
}

void UpdateCycle::SetMonitorPeriod(std::chrono::milliseconds period) {
  std::lock_guard lock(m_Mutex);
  m_MonitorPeriod = period;
}

AircraftPosition UpdateCycle::CurrentPosition() const {
  std::lock_guard lock(m_Mutex);
  return m_Current;
}

AircraftPosition UpdateCycle::LastUpdatePosition() const {
  std::lock_guard lock(m_Mutex);
  return m_LastUpdate;
}

StationWalkResult UpdateCycle::LastPassResult() const {
  std::lock_guard lock(m_Mutex);
  return m_LastResult;
}
