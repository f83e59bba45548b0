#include "cycle/update_cycle.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <system_error>

#include "model/blending.h"
#include "model/prepare.h"
#include "cycle/run_state.h"
#include "view/view_file.h"
#include "view/weather_view.h"
#include "base/bytes.h"
#include "platform/controls.h"
#include "platform/thread_priority.h"
#include "cycle/connection.h"
#include "stations/sim_folder.h"
#include "stations/metar_stations.h"

namespace {

// The monitor looks at the stop bits this often while it sleeps, so a stop does not wait for
// the rest of its period.
constexpr std::chrono::milliseconds kStopLookInterval{100};
// Pause between two failed position reads of a pass while the link stays open.
constexpr std::chrono::milliseconds kFailedReadPause{100};

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
      // A stop from inside the link (it gives up) must not wait for this thread.
      CycleThreadScope cycleThread;
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
    // A failed read is repeated until it succeeds; it gives up only when the run is being
    // stopped or the link is gone, as no read can succeed then. A simulator that answers at
    // once with bad data would make this spin, so each retry waits a little first.
    while (!Stopping(generation)) {
      if (m_Backend.ReadPosition(latitude, longitude)) {
        havePosition = true;
        break;
      }
      if (m_Backend.LinkClosed()) break;
      std::unique_lock lock(m_Mutex);
      m_Changed.wait_for(lock, kFailedReadPause, [this, generation] {
        return m_Closing || generation != m_Generation || m_Backend.StopRequested();
      });
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
    result =
        m_Backend.SetStations(latitude, longitude, m_Candidates, [this, generation] { return Stopping(generation); });
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
          MovedFarEnough(
              m_Backend.SquaredDistance(m_LastUpdate.m_Latitude, m_LastUpdate.m_Longitude, latitude, longitude))) {
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

// ---- The program's backend: the simulator link and the process-wide catalogue. ----

namespace {

void WriteApplyCommand() {
  std::uint8_t command[2];
  StoreU16(command, kWeatherApply);
  std::shared_ptr<FSUIPC_Client> link = g_Link.Get();
  if (!link || !link->WriteAndProcess(kOffsetWeatherWrite, sizeof command, command)) ReportLinkError();
}

void ShowCycleMessage(const char* format, int value) {
  char text[kMessageTextSize];
  std::snprintf(text, sizeof text, format, value);
  ShowSimulatorMessage(text, kCycleMessageLevel);
}

// The station walk over the link.
class LinkWalkSink : public StationWalkSink {
 public:
  LinkWalkSink(METAR_Stations& stations, PassView& view, const std::function<bool()>& stopRequested)
      : m_Stations(stations), m_View(view), m_StopRequested(stopRequested), m_Sources(CountWeatherSources(stations)) {}
  bool HasWeather(const METAR_Station& station) override { return m_Sources.GiveWeatherTo(station); }
  bool HoldsAnyWeather() const { return m_Sources.Any(); }
  void SendNew(METAR_Station& station) override {
    WriteWeatherBlock(PrepareStationWeather(m_Stations, station, m_View), kWriteSetPending);
  }
  void SendRefresh(METAR_Station& station) override {
    m_View.Refreshed(station);
    WriteWeatherBlock(station.m_WeatherBlock.bytes, kWriteRefresh);
  }
  void CommitRadius(int radius) override {
    m_View.Committed(radius);
    WriteApplyCommand();
    ShowCycleMessage("Weather Stations in %d nm radius set!", radius);
  }
  void CommitAll(int stationsSet) override {
    WriteApplyCommand();
    ShowCycleMessage("%d Weather stations set!", stationsSet);
  }
  bool StopRequested() override { return m_StopRequested(); }

 private:
  METAR_Stations& m_Stations;
  PassView& m_View;
  const std::function<bool()>& m_StopRequested;
  const WeatherSources m_Sources;
};

class SimulatorBackend : public CycleBackend {
 public:
  bool StopRequested() override { return ::StopRequested(); }
  void ResetRunState() override { g_RunState.store(kRunRunning); }
  void MarkMonitorEnded() override { ::MarkMonitorEnded(); }
  void Connect() override { ConnectSimulator(); }
  bool ReadPosition(double& latitude, double& longitude) override {
    std::shared_ptr<FSUIPC_Client> link = g_Link.Get();
    if (!link) return false;
    std::uint8_t rawLatitude[4] = {};
    std::uint8_t rawLongitude[4] = {};
    if (!link->Read(kOffsetAircraftLatitude, 4, rawLatitude) ||
        !link->ReadAndProcess(kOffsetAircraftLongitude, 4, rawLongitude)) {
      ReportLinkError();
      return false;
    }
    latitude = LatitudeFromRaw(LoadI32(rawLatitude));
    longitude = LongitudeFromRaw(LoadI32(rawLongitude));
    return true;
  }
  bool LinkClosed() override {
    std::shared_ptr<FSUIPC_Client> link = g_Link.Get();
    return !link || !link->IsOpen();
  }
  double SquaredDistance(double lat1, double lon1, double lat2, double lon2) override {
    return static_cast<double>(::SquaredDistance(lat1, lon1, lat2, lon2));
  }
  StationWalkResult SetStations(double latitude, double longitude, CandidateList& candidates,
                                const std::function<bool()>& stopRequested) override {
    METAR_Stations* stations = g_pStations.load();
    static const std::vector<METAR_Station*> kNone;
    BuildCandidateList(candidates, stations ? stations->m_SimStations : kNone, latitude, longitude);
    if (!stations) {
      ShowSimulatorMessage("Weather station update started!", kCycleMessageLevel);
      return StationWalkResult{};
    }
    LinkWalkSink sink(*stations, m_View, stopRequested);
    // Nothing read yet: cleared blocks would give the simulator 0 hPa and no visibility.
    if (!sink.HoldsAnyWeather()) {
      SetStatusText(kNoWeatherLoaded);
      return StationWalkResult{};
    }
    ShowSimulatorMessage("Weather station update started!", kCycleMessageLevel);
    m_View.Begin(latitude, longitude);
    const StationWalkResult result = WalkStations(candidates, sink);
    if (!result.m_Stopped && result.m_StationsSet > 0) {
      for (int i = 0; i < candidates.Count(); ++i) {
        if (candidates[i].m_Station->m_State == kStateSent) {
          SetStatusText(PassResultText(*stations, *candidates[i].m_Station, result.m_StationsSet));
          break;
        }
      }
    }
    // The weather view of what this pass wrote, next to the weather files (after the result
    // line, so that a window telling the view's place once is not overwritten at once).
    if (result.m_StationsSet > 0) {
      const std::filesystem::path path = WeatherViewPath(g_SimFolder + "Altivane\\Weather\\");
      if (WriteWeatherView(path, RenderWeatherView(m_View.Page()))) NotifyWeatherViewWritten(path.string());
    }
    return result;
  }

 private:
  PassView m_View;  // used by the one running pass only
};

}  // namespace

CycleBackend& SimulatorCycleBackend() {
  static SimulatorBackend backend;
  return backend;
}

UpdateCycle& ProcessUpdateCycle() {
  // Never destroyed: its threads may outlive static destruction at exit; every stop ends them.
  static UpdateCycle* cycle = new UpdateCycle(SimulatorCycleBackend());
  return *cycle;
}

void StartUpdatePass(bool background) {
  WaitForStopInProgress([background] { ProcessUpdateCycle().Start(background); });
}
