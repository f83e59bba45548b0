// altivane-demo: one weather run without a window. Loads the catalogue of a simulator folder,
// reads weather files into it, presses "Start", waits for the first update pass, presses
// "End", and prints what the status field said along the way and the stations set nearest
// the aircraft.
#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "model/blending.h"
#include "model/run_state.h"
#include "model/update_cycle.h"
#include "platform/controls.h"
#include "simlink/connection.h"
#include "simlink/sim_folder.h"
#include "stations/metar_stations.h"

namespace {

const char* const kUsage =
    "usage: altivane-demo --sim-folder DIR [--temp FILE]... [--metar FILE]... [--nearest N]\n"
    "                     [--timeout SECONDS]\n"
    "  Reads the simulator folder's station list and map, the upper-air files and then the METAR\n"
    "  files (in the order given), runs one weather run against the simulator and ends it.\n"
    "  Prints the status texts, then the N (default 5) stations set nearest the aircraft.\n";

// The status field of the demo: keeps the text; the phases print the last one they left.
class DemoStatus : public IStatusField {
 public:
  void SetText(const std::string& text) override {
    std::lock_guard lock(m_Mutex);
    m_Text = text;
    m_History.push_back(text);
  }
  std::string GetText() const override {
    std::lock_guard lock(m_Mutex);
    return m_Text;
  }
  // Texts set since the last call.
  std::vector<std::string> TakeNew() {
    std::lock_guard lock(m_Mutex);
    std::vector<std::string> out = std::move(m_History);
    m_History.clear();
    return out;
  }

 private:
  mutable std::mutex m_Mutex;
  std::string m_Text;
  std::vector<std::string> m_History;
};

class DemoButton : public IButton {
 public:
  void Enable(bool enabled) override {
    std::lock_guard lock(m_Mutex);
    m_Enabled = enabled;
  }
  bool IsEnabled() const override {
    std::lock_guard lock(m_Mutex);
    return m_Enabled;
  }

 private:
  mutable std::mutex m_Mutex;
  bool m_Enabled = false;
};

DemoStatus g_DemoStatus;
DemoButton g_DemoStart;
DemoButton g_DemoEnd;

// Prints what the status field said during a phase: of the texts that differ only in their
// numbers (progress counts), the last one.
void PrintStatus(const char* phase) {
  std::vector<std::pair<std::string, std::string>> kinds;  // (text without digits, last text)
  for (const std::string& text : g_DemoStatus.TakeNew()) {
    std::string kind;
    for (char c : text) {
      if (c < '0' || c > '9') kind += c;
    }
    auto it = std::find_if(kinds.begin(), kinds.end(), [&](const auto& k) { return k.first == kind; });
    if (it == kinds.end()) {
      kinds.emplace_back(kind, text);
    } else {
      it->second = text;
    }
  }
  for (const auto& k : kinds) std::printf("status (%s): %s\n", phase, k.second.c_str());
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "altivane-demo: %s\n%s", message.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder;
  std::vector<std::string> temps, metars;
  int nearest = 5;
  int timeoutSeconds = 120;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--sim-folder") {
      if (!value(folder) || folder.empty()) return Fail("--sim-folder needs a folder");
    } else if (arg == "--temp") {
      if (!value(v)) return Fail("--temp needs a file");
      temps.push_back(v);
    } else if (arg == "--metar") {
      if (!value(v)) return Fail("--metar needs a file");
      metars.push_back(v);
    } else if (arg == "--nearest") {
      if (!value(v) || (nearest = std::atoi(v.c_str())) < 0) return Fail("--nearest needs a count");
    } else if (arg == "--timeout") {
      if (!value(v) || (timeoutSeconds = std::atoi(v.c_str())) <= 0) return Fail("--timeout needs seconds");
    } else {
      return Fail("unknown option " + arg);
    }
  }
  if (folder.empty()) return Fail("--sim-folder is required");

  g_pStatusField = &g_DemoStatus;
  g_pStartButton = &g_DemoStart;
  g_pEndButton = &g_DemoEnd;
  // The program keeps the folder in its own form, with a closing backslash.
  g_SimFolder = folder + (folder.back() == '/' || folder.back() == '\\' ? "" : "\\");

  auto stations = std::make_unique<METAR_Stations>();
  stations->LoadStations();
  PrintStatus("station list and map");
  if (stations->m_SimStations.empty()) std::printf("note: the simulator folder lists no weather stations\n");
  for (const std::string& file : temps) {
    if (!stations->ReadUpperAirFile(file)) std::printf("cannot read %s\n", file.c_str());
    PrintStatus(std::filesystem::path(file).filename().string().c_str());
  }
  // The demo reads files of any date: no report is too new.
  const WeatherTime noAgeLimit = std::chrono::sys_days{std::chrono::year{3000} / 12 / 31};
  for (const std::string& file : metars) {
    if (!stations->ReadMetarFile(file, noAgeLimit)) std::printf("cannot read %s\n", file.c_str());
    PrintStatus(std::filesystem::path(file).filename().string().c_str());
  }
  g_pStations = stations.get();

  // "Start".
  std::printf("start\n");
  std::fflush(stdout);
  StopUpdateCycle();
  PrepareWeatherRun();
  UpdateCycle& cycle = ProcessUpdateCycle();
  StartUpdatePass(false);
  const bool passEnded = cycle.WaitForPasses(1, std::chrono::seconds(timeoutSeconds));
  PrintStatus("update pass");
  const StationWalkResult result = cycle.LastPassResult();
  const AircraftPosition at = cycle.LastUpdatePosition();

  // "End".
  StopUpdateCycle();
  const bool idle = cycle.WaitIdle(std::chrono::seconds(timeoutSeconds));
  PrintStatus("end");
  g_pStations = nullptr;

  if (!passEnded) {
    std::printf("the update pass did not end within %d s\n", timeoutSeconds);
    return 1;
  }
  std::printf("aircraft at %.4f %.4f: %d weather stations set%s\n", at.m_Latitude, at.m_Longitude,
              result.m_StationsSet, result.m_Stopped ? " (run stopped early)" : "");
  std::vector<std::pair<double, const METAR_Station*>> set;
  for (const METAR_Station* s : stations->m_SimStations) {
    if (s->m_State != kStateSent) continue;
    const double d = static_cast<double>(SquaredDistance(at.m_Latitude, at.m_Longitude, s->m_Latitude, s->m_Longitude));
    if (std::none_of(set.begin(), set.end(), [s](const auto& e) { return e.second == s; })) set.emplace_back(d, s);
  }
  std::stable_sort(set.begin(), set.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (int i = 0; i < nearest && i < static_cast<int>(set.size()); ++i) {
    const METAR_Station* s = set[static_cast<std::size_t>(i)].second;
    std::printf("nearest %d: %s %.1f nm %s\n", i + 1, s->m_Key.c_str(), std::sqrt(set[static_cast<std::size_t>(i)].first),
                s->m_ReportText.c_str());
  }
  return idle && !result.m_Stopped ? 0 : 1;
}
