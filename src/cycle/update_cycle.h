#pragma once
// The update cycle: the update pass and the position monitor, two worker threads that take
// turns. A pass reads the aircraft position, sets the stations around it nearest first and
// hands over to a monitor; the monitor polls the position once a second and hands over to a
// new pass when the aircraft has moved more than 15 nm. The run state word (run_state.h)
// stops them; the monitor sets its bit 0 when it ends on a stop.
//
// Hand-over: the update-pass handle is set when a pass is started and cleared by the pass
// itself, under the cycle's lock, in the same step that starts the next monitor, so a monitor
// never sees a stale handle. At most one pass runs at a time: a pass requested while one runs
// waits, and the running pass starts it instead of a monitor when it ends.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cycle/candidates.h"
#include "cycle/cycle_rules.h"

// What the cycle does to the simulator and the run state word. The program's own works on the
// link in g_Link and the catalogue in g_pStations; tests put in fakes.
class CycleBackend {
 public:
  virtual ~CycleBackend() = default;
  // A stop bit (0xF000) of the run state word is set.
  virtual bool StopRequested() = 0;
  // The run state word at the start of a cycle: 0.
  virtual void ResetRunState() = 0;
  // Sets bit 0 of the run state word (read-modify-write).
  virtual void MarkMonitorEnded() = 0;
  // Opens the link, waiting for the simulator (ConnectSimulator).
  virtual void Connect() = 0;
  // Reads the aircraft position (0x0564 then 0x056C in one batch), in degrees. On failure
  // reports the link error and returns false.
  virtual bool ReadPosition(double& latitude, double& longitude) = 0;
  // True when there is no link or it is not open: a position read cannot succeed any more.
  virtual bool LinkClosed() = 0;
  // Squared distance in square nautical miles.
  virtual double SquaredDistance(double lat1, double lon1, double lat2, double lon2) = 0;
  // Steps 5 to 8 of a pass around the given position: builds and sorts the candidates into
  // the list, shows "Weather station update started!", walks the stations and commits.
  // stopRequested is looked at between stations.
  virtual StationWalkResult SetStations(double latitude, double longitude, CandidateList& candidates,
                                        const std::function<bool()>& stopRequested) = 0;
};

// Thread priority hints; a platform may ignore them.
enum class CyclePriority { kNormal, kBelowNormal };

struct AircraftPosition {
  double m_Latitude = 0.0;
  double m_Longitude = 0.0;
};

class UpdateCycle {
 public:
  explicit UpdateCycle(CycleBackend& backend);
  // Ends every thread of the cycle: they see a superseded cycle at their next look and end.
  ~UpdateCycle();
  UpdateCycle(const UpdateCycle&) = delete;
  UpdateCycle& operator=(const UpdateCycle&) = delete;

  // Starts a cycle: run state word 0, current and last update positions cleared, and an update
  // pass at normal priority (background false: "Start") or below normal (background true:
  // "Update Now", the periodic refresh). The threads of an earlier cycle see it superseded
  // and end; a pass still running is waited for (the new pass starts when it ends).
  void Start(bool background);

  // Waits until no pass or monitor thread is alive (all joined). False on time-out.
  bool WaitIdle(std::chrono::milliseconds timeout);
  // Waits until at least count passes have ended since construction. False on time-out.
  bool WaitForPasses(std::uint64_t count, std::chrono::milliseconds timeout);

  // Waits until the monitors have polled the position count times in all. False on time-out.
  bool WaitForMonitorPolls(std::uint64_t count, std::chrono::milliseconds timeout);

  std::uint64_t PassesEnded() const;
  std::uint64_t MonitorPolls() const;
  // The update-pass handle is set.
  bool PassRunning() const;
  // The monitor's movement threshold is looked at once per period; tests shorten it.
  void SetMonitorPeriod(std::chrono::milliseconds period);
  AircraftPosition CurrentPosition() const;
  AircraftPosition LastUpdatePosition() const;
  // Result of the last pass that ended.
  StationWalkResult LastPassResult() const;

 private:
  enum class Kind { kPass, kMonitor };
  void Launch(Kind kind, CyclePriority priority, std::uint64_t generation);  // lock held
  void PassThread(std::uint64_t generation);
  void MonitorThread(std::uint64_t generation);
  // The stop bits are set, or this thread's cycle has been superseded.
  bool Stopping(std::uint64_t generation);
  void ThreadEnded();  // lock held
  void ReapLocked();   // lock held

  CycleBackend& m_Backend;
  CandidateList m_Candidates;  // used by the one running pass only

  mutable std::mutex m_Mutex;
  std::condition_variable m_Changed;
  std::uint64_t m_Generation = 0;
  bool m_Closing = false;
  bool m_PassRunning = false;  // the update-pass handle
  bool m_PassWaiting = false;  // a pass requested while one ran
  CyclePriority m_WaitingPriority = CyclePriority::kNormal;
  std::uint64_t m_PassesEnded = 0;
  std::uint64_t m_MonitorPolls = 0;
  StationWalkResult m_LastResult;
  AircraftPosition m_Current;
  AircraftPosition m_LastUpdate;
  std::chrono::milliseconds m_MonitorPeriod{kMonitorPeriodMs};
  int m_ThreadsAlive = 0;
  std::vector<std::thread> m_Threads;
  std::vector<std::thread::id> m_Finished;
};

// The backend over the simulator link (g_Link) and the process-wide catalogue (g_pStations).
CycleBackend& SimulatorCycleBackend();
// The program's one cycle, over SimulatorCycleBackend(). Never destroyed.
UpdateCycle& ProcessUpdateCycle();

// The start operation behind the main window's StartUpdateCycle: run state word 0, current and
// last update positions cleared, and an update pass started at normal priority ("Start"), or
// below normal when background is true ("Update Now", the periodic refresh). Returns at once.
// The caller stops a running cycle first (StopUpdateCycle) and, for "Start", prepares the
// simulator (PrepareWeatherRun); a pass still running from before is waited for, never run
// beside. StopUpdateCycle ends the cycle.
void StartUpdatePass(bool background);
