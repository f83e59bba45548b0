#include "app/main_dialog.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "acquire/weather_files.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "stations/sim_folder.h"
#include "stations/sim_map.h"
#include "stations/station_list.h"

#include "platform/locale_time.h"

#include "stations/metar_stations.h"

std::atomic<bool> g_bAutoUpdate{false};
std::atomic<CALTIVANEDlg*> g_pMainDlg{nullptr};

namespace {
constexpr const char* kNeedsStations = "No station catalogue: the FS2004 folder was not found.";

// Names every way to give the folder, so that the user can act on it.
std::string NoSimulatorFolderText() {
  std::string text = "FS2004 folder not found: no stations loaded, weather buttons disabled. Give it with ";
#if !defined(_WIN32)
  text += "--sim-folder DIR or with ";
#endif
  return text + "the registry value HKEY_LOCAL_MACHINE\\" + kSimRegistryKey + "\\" + kSimRegistryValue +
         RegistryStoreSuffix() + ".";
}

// What loading the stations could not do, or "" when both files gave stations.
std::string StationLoadProblem(const METAR_Stations& stations) {
  const std::string list = g_SimFolder + kStationListPath;
  const std::string map = g_SimFolder + kSimMapPath;
  if (!CanOpenForReading(list)) return "Station list " + NativePath(list).string() + " is missing.";
  if (!CanOpenForReading(map)) return "Simulator map " + NativePath(map).string() + " is missing.";
  // Every record that is not a simulator station comes from the list; a line that gave no
  // identifier gave no station.
  const std::set<const Weather_Station*> simulator(stations.m_SimStations.begin(), stations.m_SimStations.end());
  for (const auto& [key, record] : stations.Records()) {
    if (simulator.count(record.get())) continue;
    if (std::any_of(key.begin(), key.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
      return {};
  }
  return "No station could be read from " + NativePath(list).string() + ".";
}
}  // namespace

CALTIVANEDlgAutoProxy::CALTIVANEDlgAutoProxy(CALTIVANEDlg* dialog) : m_pDialog(dialog) {
  if (m_pDialog) m_pDialog->m_pAutoProxy.store(this);
}

CALTIVANEDlgAutoProxy::~CALTIVANEDlgAutoProxy() {
  if (m_pDialog) {
    CALTIVANEDlgAutoProxy* self = this;
    m_pDialog->m_pAutoProxy.compare_exchange_strong(self, nullptr);
  }
}

namespace {

WeatherTime ToWeatherTime(const DateTimeFields& f) {
  using namespace std::chrono;
  return WeatherTime{
             sys_days{year{f.year} / month{static_cast<unsigned>(f.month)} / day{static_cast<unsigned>(f.day)}}} +
         hours{f.hour} + minutes{f.minute} + seconds{f.second};
}

}  // namespace

// The weather time starts as the time value 0 as the local clock shows it.
CALTIVANEDlg::CALTIVANEDlg(Controls controls, DialogServices services)
    : m_Controls(controls), m_Services(std::move(services)), m_WeatherTime(ToWeatherTime(LocalTimeOfEpoch())) {}

CALTIVANEDlg::~CALTIVANEDlg() {
  Shutdown();
  // An attached automation object must not keep a reference to a destroyed window.
  if (CALTIVANEDlgAutoProxy* proxy = m_pAutoProxy.exchange(nullptr)) proxy->m_pDialog = nullptr;
  CALTIVANEDlg* self = this;
  g_pMainDlg.compare_exchange_strong(self, nullptr);
}

std::string FormatWeatherTime(WeatherTime time) {
  const std::chrono::year_month_day date{std::chrono::floor<std::chrono::days>(time)};
  const std::chrono::hh_mm_ss clock{time - std::chrono::floor<std::chrono::days>(time)};
  return FormatUserDateTime(static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
                            static_cast<int>(static_cast<unsigned>(date.day())),
                            static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                            static_cast<int>(clock.seconds().count()));
}

void CALTIVANEDlg::SetWeatherTime(WeatherTime time) {
  m_WeatherTime.store(time);
  if (m_Controls.time) m_Controls.time->SetText(FormatWeatherTime(time));
}

WeatherTime CALTIVANEDlg::GetWeatherTime() const { return m_WeatherTime.load(); }

bool CALTIVANEDlg::ReadTimeField(const std::string& text) {
  DateTimeFields fields;
  if (!ParseUserDateTime(text, fields)) return false;
  using namespace std::chrono;
  const year_month_day date{year{fields.year} / month{static_cast<unsigned>(fields.month)} /
                            day{static_cast<unsigned>(fields.day)}};
  if (!date.ok() || fields.hour > 23 || fields.minute > 59 || fields.second > 59) return false;
  SetWeatherTime(ToWeatherTime(fields));
  return true;
}

bool CALTIVANEDlg::OnInitDialog() {
  g_pMainDlg.store(this);
  g_pStatusField.store(m_Controls.status);
  g_pStartButton.store(m_Controls.start);
  g_pEndButton.store(m_Controls.end);
  g_pTimeField.store(m_Controls.time);
  SetWeatherTime(m_WeatherTime.load());
  EnableStartButton(false);
  EnableEndButton(false);

  if (m_Services.readSimulatorFolder() != 0) {
    m_WeatherButtonsEnabled = false;
    SetStatusText(NoSimulatorFolderText());
    return false;
  }
  auto* stations = new METAR_Stations();
  g_pStations.store(stations);
  m_Services.loadStations(*stations);
  if (const std::string problem = StationLoadProblem(*stations); !problem.empty()) SetStatusText(problem);
  m_WeatherButtonsEnabled = true;
  return true;
}

void CALTIVANEDlg::OnStart() {
  // No acquisition may be filling the catalogue while the cycle starts.
  std::lock_guard catalogue(CatalogueLock());
  m_Services.stopUpdateCycle();
  // What the field says about an earlier run (a link error) does not hold for this one.
  SetStatusText("");
  m_Services.prepareWeatherRun();
  EnableStartButton(false);
  EnableEndButton(true);
  StartUpdateCycle(false);
}

void CALTIVANEDlg::OnEnd() {
  // Without the catalogue lock: End answers at once, also while a refresh is fetching. The
  // refresh belongs to the cycle that ends here; cancelled first, it cannot start the cycle
  // again after the stop below.
  {
    std::lock_guard lock(m_RefreshMutex);
    ++m_RefreshGeneration;
  }
  m_RefreshWake.notify_all();
  m_Services.stopUpdateCycle();
  EnableStartButton(true);
  EnableEndButton(false);
}

void CALTIVANEDlg::OnGetCurrentWeather() {
  if (!m_WeatherButtonsEnabled) return SetStatusText(kNeedsStations);
  m_Services.getCurrentWeather(this);
}

void CALTIVANEDlg::OnGetWeatherFromFile() {
  if (!m_WeatherButtonsEnabled) return SetStatusText(kNeedsStations);
  m_Services.getWeatherFromFile(*this);
}

void CALTIVANEDlg::OnUpdateNow() {
  if (!m_WeatherButtonsEnabled) return SetStatusText(kNeedsStations);
  std::lock_guard catalogue(CatalogueLock());
  m_Services.getCurrentWeather(this);
  EnableStartButton(false);
  EnableEndButton(true);
  StartUpdateCycle(true);
}

void CALTIVANEDlg::OnUpdateToggle() { g_bAutoUpdate.store(!g_bAutoUpdate.load()); }

bool CALTIVANEDlg::OnClose() {
  m_Services.stopUpdateCycle();
  return CanExit();
}

bool CALTIVANEDlg::CanExit() {
  if (m_pAutoProxy.load()) {
    m_Hidden.store(true);
    return false;
  }
  return true;
}

void CALTIVANEDlg::StartUpdateCycle(bool background) {
  std::lock_guard catalogue(CatalogueLock());
  std::lock_guard lock(m_RefreshMutex);
  StartUpdateCycleLocked(background);
}

// Called with the catalogue lock and m_RefreshMutex held, so that End, which takes
// m_RefreshMutex before it stops the cycle, comes either before (and is seen) or after.
void CALTIVANEDlg::StartUpdateCycleLocked(bool background) {
  if (m_Closing) return;  // a refresh finishing its fetch during shut-down starts nothing
  m_Services.startUpdatePass(background);
  if (!g_bAutoUpdate.load()) return;
  ReapRefreshThreads(false);
  const std::uint64_t generation = ++m_RefreshGeneration;
  m_RefreshWake.notify_all();  // the refresh before this one stops waiting and ends
  m_RefreshThreads.emplace_back([this, generation] { AutoUpdateThread(generation); });
}

bool CALTIVANEDlg::RefreshCancelled(std::uint64_t generation) { return m_Closing || generation != m_RefreshGeneration; }

void CALTIVANEDlg::AutoUpdateThread(std::uint64_t generation) {
  auto finish = [this] {
    std::lock_guard lock(m_RefreshMutex);
    m_FinishedRefreshes.push_back(std::this_thread::get_id());
  };
  if (m_Services.stopRequested()) return finish();
  for (int waits = 0;;) {
    if (!g_bAutoUpdate.load()) return finish();
    if (waits == m_Services.refreshWaits) break;
    {
      std::unique_lock lock(m_RefreshMutex);
      if (m_RefreshWake.wait_for(lock, m_Services.refreshWait, [&] { return RefreshCancelled(generation); })) {
        lock.unlock();
        return finish();
      }
    }
    ++waits;
    if (m_Services.stopRequested()) return finish();
  }
  // The fetch and the restart after it hold the catalogue lock: no button starts the cycle
  // in between, and no file acquisition fills the catalogue once the cycle runs again.
  std::unique_lock catalogue(CatalogueLock());
  {
    std::lock_guard lock(m_RefreshMutex);
    if (RefreshCancelled(generation)) {
      m_FinishedRefreshes.push_back(std::this_thread::get_id());
      return;
    }
  }
  m_Services.getCurrentWeather(nullptr);
  {
    std::lock_guard lock(m_RefreshMutex);
    if (RefreshCancelled(generation)) {
      // End came during the fetch, which set the buttons for a restart that is not coming:
      // they show the ended cycle again. At shut-down they are left alone.
      if (!m_Closing) {
        EnableStartButton(true);
        EnableEndButton(false);
      }
    } else {
      EnableStartButton(false);
      EnableEndButton(true);
      StartUpdateCycleLocked(true);
    }
  }
  catalogue.unlock();
  finish();
}

// Joins refresh threads that have ended (all of them when closing). Called with the lock held
// unless all is true.
void CALTIVANEDlg::ReapRefreshThreads(bool all) {
  if (all) {
    std::vector<std::thread> threads;
    {
      std::lock_guard lock(m_RefreshMutex);
      threads.swap(m_RefreshThreads);
      m_FinishedRefreshes.clear();
    }
    for (auto& t : threads)
      if (t.joinable() && t.get_id() != std::this_thread::get_id()) t.join();
    return;
  }
  for (auto it = m_RefreshThreads.begin(); it != m_RefreshThreads.end();) {
    auto done = std::find(m_FinishedRefreshes.begin(), m_FinishedRefreshes.end(), it->get_id());
    if (done != m_FinishedRefreshes.end() && it->get_id() != std::this_thread::get_id()) {
      m_FinishedRefreshes.erase(done);
      it->join();
      it = m_RefreshThreads.erase(it);
    } else {
      ++it;
    }
  }
}

void CALTIVANEDlg::Shutdown() {
  if (m_ShutDown) return;
  m_ShutDown = true;
  {
    std::lock_guard lock(m_RefreshMutex);
    m_Closing = true;
  }
  m_RefreshWake.notify_all();
  // A refresh still fetching is waited for, so it never reads a deleted catalogue; from here
  // on nothing starts the cycle again, so the stop below is final.
  ReapRefreshThreads(true);
  m_Services.stopUpdateCycle();
  if (METAR_Stations* stations = g_pStations.exchange(nullptr)) delete stations;
}
