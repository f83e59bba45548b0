// Weather runs end to end: the sample simulator folder and its weather files decoded into the
// catalogue, "Start" against a real simhost process, and what simhost was sent.
// The stand-in is started as a posix process here; the Windows build has its own window transport.
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "model/blending.h"
#include "cycle/run_state.h"
#include "model/prepare.h"
#include "cycle/update_cycle.h"
#include "simhost_process.h"
#include "cycle/connection.h"
#include "simlink/link_fixture.h"
#include "stations/metar_stations.h"
#include "support/recording_controls.h"
#include "support/sim_folder.h"
#include "support/test_data.h"

namespace altivane::test {
namespace {

using namespace std::chrono_literals;

constexpr double kAircraftLatitude = 47.4447;  // over Seattle-Tacoma
constexpr double kAircraftLongitude = -122.3136;
constexpr auto kLong = 60s;

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Extra simulator stations around the aircraft: count of them, evenly spread in distance from
// first to last nautical miles, on bearings that go round the compass.
std::string RingStations(int count, double firstNm, double lastNm) {
  std::string bytes;
  const double pi = std::acos(-1.0);
  for (int i = 0; i < count; ++i) {
    const double nm = firstNm + (lastNm - firstNm) * i / std::max(1, count - 1);
    const double bearing = (i * 137.5) * pi / 180.0;
    const double lat = kAircraftLatitude + nm * std::cos(bearing) / 60.0;
    const double lon = kAircraftLongitude + nm * std::sin(bearing) / (60.0 * std::cos(lat * pi / 180.0));
    char key[16];
    std::snprintf(key, sizeof key, "Z%03d", i % 1000);
    bytes += MapRecordBytes(MapEntry(key, static_cast<float>(lat), static_cast<float>(lon), 100.0f, "ring"));
  }
  return bytes;
}

struct PassEvents {
  std::vector<std::string> pending;    // stations sent set-pending, in order
  std::vector<std::string> refreshed;  // stations asked back for a refresh
  std::vector<std::string> messages;
  int commits = 0;
  bool commitBeforeEveryRadiusMessage = true;
};

// The events of one pass: from its "Weather station update started!" on, up to the next one.
PassEvents EventsOfPass(const std::vector<JournalEvent>& journal, int pass) {
  PassEvents out;
  int seen = 0;
  std::string previousKind;
  for (const JournalEvent& e : journal) {
    if (e.kind == "message" && e.text == "Weather station update started!") ++seen;
    if (seen == pass + 1) {
      if (e.kind == "pending") out.pending.push_back(e.station);
      if (e.kind == "refresh") out.refreshed.push_back(e.station);
      if (e.kind == "commit") ++out.commits;
      if (e.kind == "message") {
        out.messages.push_back(e.text);
        if (e.text.find("nm radius set!") != std::string::npos && previousKind != "commit")
          out.commitBeforeEveryRadiusMessage = false;
      }
    }
    previousKind = e.kind;
  }
  return out;
}

class CycleEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("ALTIVANE_IPC_DIR", m_Ipc.Path().c_str(), 1);
    g_Link.Set(nullptr);
    g_RunState = kRunStopped;
    ProcessUpdateCycle().SetMonitorPeriod(50ms);
  }
  void TearDown() override {
    StopUpdateCycle();
    EXPECT_TRUE(ProcessUpdateCycle().WaitIdle(kLong));
    g_pStations = nullptr;
    g_Link.Set(nullptr);
    g_RunState = kRunStopped;
    m_Host.reset();
    ProcessUpdateCycle().SetMonitorPeriod(std::chrono::milliseconds(kMonitorPeriodMs));
    ::unsetenv("ALTIVANE_IPC_DIR");
  }

  // The sample folder's station list and map, the map grown by a ring of stations, and the
  // sample weather read into a fresh catalogue.
  void LoadCatalogue(const std::string& ring) {
    const std::filesystem::path sample = SourceDir() / "data" / "sample";
    m_Folder.WriteStationList(ReadBytes(sample / "Altivane" / "stations" / "station.txt"));
    m_Folder.WriteMap(ReadBytes(sample / "Weather" / "wxmapping.bin") + ring);
    m_Stations = std::make_unique<METAR_Stations>();
    m_Stations->LoadStations();
    ASSERT_GT(m_Stations->m_SimStations.size(), 40u);
    const std::filesystem::path weather = sample / "Altivane" / "Weather";
    ASSERT_TRUE(m_Stations->ReadUpperAirFile((weather / "20261207_1200Z.rdisnd").string()));
    const WeatherTime reference = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7} + std::chrono::hours{13};
    ASSERT_TRUE(m_Stations->ReadMetarFile((weather / "20261207_1200Z.TXT").string(), reference));
    ASSERT_FALSE(m_Stations->m_UpperAirStations.empty());
    g_pStations = m_Stations.get();
  }

  void StartHost(std::vector<std::string> args = {}) {
    char position[64];
    std::snprintf(position, sizeof position, "%.6f,%.6f", kAircraftLatitude, kAircraftLongitude);
    args.insert(args.end(), {"--position", position});
    m_Host = std::make_unique<SimhostProcess>(SIMHOST_PROGRAM, m_Ipc.Path(), args);
    ASSERT_TRUE(m_Host->Ready());
  }

  // "Start" as the window does it: stop, prepare the simulator, start the cycle.
  static void PressStart() {
    StopUpdateCycle();
    PrepareWeatherRun();
    StartUpdatePass(false);
  }

  // Polls a condition set by the cycle's threads through the controls, which offer no wait.
  static bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }

  // "Start": stop, prepare the simulator, start the cycle; waits for the pass to end.
  void StartRunAndWaitForPass() {
    StopUpdateCycle();
    PrepareWeatherRun();
    const std::uint64_t passes = ProcessUpdateCycle().PassesEnded();
    StartUpdatePass(false);
    ASSERT_TRUE(ProcessUpdateCycle().WaitForPasses(passes + 1, kLong));
  }

  double SquaredDistanceFromAircraft(const std::string& key) const {
    const AircraftPosition at = ProcessUpdateCycle().LastUpdatePosition();
    const Weather_Station* station = m_Stations->Lookup(key);
    EXPECT_NE(station, nullptr) << key;
    if (!station) return 0.0;
    return static_cast<double>(
        SquaredDistance(at.m_Latitude, at.m_Longitude, station->m_Latitude, station->m_Longitude));
  }

  // Squared distances of every simulator station.
  std::vector<std::pair<double, std::string>> SortedSimStations() const {
    std::vector<std::pair<double, std::string>> all;
    for (const METAR_Station* s : m_Stations->m_SimStations)
      all.emplace_back(SquaredDistanceFromAircraft(s->m_Key), s->m_Key);
    std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return all;
  }

  void ExpectFirstPass(const PassEvents& pass, std::size_t expectSet) {
    const auto sorted = SortedSimStations();
    // The station selection: the 51 nearest, and everything within 150 nm.
    std::multiset<std::string> expected;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
      if (i <= 50 || sorted[i].first <= 22500.0) expected.insert(sorted[i].second);
    }
    ASSERT_EQ(expected.size(), expectSet);
    // A station that the map lists twice (KSEA) is one simulator station, sent once.
    EXPECT_EQ(std::multiset<std::string>(pass.pending.begin(), pass.pending.end()), expected);
    EXPECT_EQ(pass.refreshed, std::vector<std::string>{});

    // Nearest first.
    for (std::size_t i = 1; i < pass.pending.size(); ++i) {
      EXPECT_LE(SquaredDistanceFromAircraft(pass.pending[i - 1]), SquaredDistanceFromAircraft(pass.pending[i]))
          << pass.pending[i - 1] << " before " << pass.pending[i];
    }

    // Messages: started, one per radius step crossed (one step per station at most), the total.
    std::vector<std::string> expectMessages = {"Weather station update started!"};
    int step = 20;
    for (std::size_t i = 0; i < expectSet; ++i) {
      if (step * step < sorted[i].first) {
        expectMessages.push_back("Weather Stations in " + std::to_string(step) + " nm radius set!");
        step += step < 100 ? 20 : 100;
      }
    }
    expectMessages.push_back(std::to_string(expectSet) + " Weather stations set!");
    EXPECT_EQ(pass.messages, expectMessages);
    EXPECT_EQ(pass.commits, static_cast<int>(expectMessages.size()) - 1);
    EXPECT_TRUE(pass.commitBeforeEveryRadiusMessage);
  }

  TempDir m_Ipc;
  RecordingControls m_Controls;
  SimFolder m_Folder;
  std::unique_ptr<METAR_Stations> m_Stations;
  std::unique_ptr<SimhostProcess> m_Host;
};

TEST_F(CycleEndToEnd, SetsThe51NearestWhenFewAreWithinTheRadius) {
  LoadCatalogue(RingStations(40, 160.0, 400.0));
  StartHost();
  StartRunAndWaitForPass();
  const PassEvents pass = EventsOfPass(m_Host->Journal(), 0);
  ExpectFirstPass(pass, 51);
  EXPECT_FALSE(m_Controls.start.IsEnabled());
  EXPECT_TRUE(m_Controls.end.IsEnabled());
}

TEST_F(CycleEndToEnd, SetsEveryStationWithinTheRadiusAndMovingMoreThan15NmSetsThemAgain) {
  LoadCatalogue(RingStations(90, 2.0, 149.0));
  StartHost();
  StartRunAndWaitForPass();
  const auto sorted = SortedSimStations();
  const std::size_t within = static_cast<std::size_t>(
      std::count_if(sorted.begin(), sorted.end(), [](const auto& s) { return s.first <= 22500.0; }));
  ASSERT_GT(within, 51u);
  ExpectFirstPass(EventsOfPass(m_Host->Journal(), 0), within);

  UpdateCycle& cycle = ProcessUpdateCycle();
  const std::uint64_t passes = cycle.PassesEnded();
  // 14.99 nm north: the monitor sees it and starts nothing.
  ASSERT_TRUE(m_Host->Move(kAircraftLatitude + 14.99 / 60.0, kAircraftLongitude));
  std::uint64_t polls = cycle.MonitorPolls();
  ASSERT_TRUE(cycle.WaitForMonitorPolls(polls + 5, kLong));
  EXPECT_NEAR(cycle.CurrentPosition().m_Latitude, kAircraftLatitude + 14.99 / 60.0, 1e-4);
  EXPECT_EQ(cycle.PassesEnded(), passes);

  // 16 nm: a second pass refreshes the stations already sent.
  ASSERT_TRUE(m_Host->Move(kAircraftLatitude + 16.0 / 60.0, kAircraftLongitude));
  ASSERT_TRUE(cycle.WaitForPasses(passes + 1, kLong));
  EXPECT_NEAR(cycle.LastUpdatePosition().m_Latitude, kAircraftLatitude + 16.0 / 60.0, 1e-4);
  const PassEvents first = EventsOfPass(m_Host->Journal(), 0);
  const PassEvents second = EventsOfPass(m_Host->Journal(), 1);
  ASSERT_FALSE(second.refreshed.empty());
  const std::set<std::string> sentBefore(first.pending.begin(), first.pending.end());
  for (const std::string& key : second.refreshed) EXPECT_TRUE(sentBefore.count(key)) << key;
  // A refresh sends the block it read back set-pending, so every station set is one pending.
  EXPECT_GE(second.pending.size(), second.refreshed.size());
  ASSERT_FALSE(second.messages.empty());
  EXPECT_EQ(second.messages.back(), std::to_string(second.pending.size()) + " Weather stations set!");
}

TEST_F(CycleEndToEnd, StopDuringAPassEndsWithoutTheTotalAndClosesTheLink) {
  LoadCatalogue(RingStations(90, 2.0, 149.0));
  StartHost({"--answer-after", "20"});
  StopUpdateCycle();
  PrepareWeatherRun();
  StartUpdatePass(false);
  ASSERT_TRUE(m_Host->WaitForJournal(
      [](const std::vector<JournalEvent>& journal) {
        return std::count_if(journal.begin(), journal.end(),
                             [](const JournalEvent& e) { return e.kind == "pending"; }) >= 3;
      },
      kLong));
  const auto before = std::chrono::steady_clock::now();
  StopUpdateCycle();
  const auto took = std::chrono::steady_clock::now() - before;
  EXPECT_LT(took, 2500ms);  // about 1.5 s at most, with room for a loaded machine
  EXPECT_EQ(g_RunState.load(), kRunStopped);
  EXPECT_FALSE(static_cast<bool>(g_Link));
  EXPECT_TRUE(ProcessUpdateCycle().WaitIdle(kLong));
  const std::vector<JournalEvent> journal = m_Host->Journal();
  for (const JournalEvent& e : journal) {
    EXPECT_EQ(e.text.find("Weather stations set!"), std::string::npos) << e.line;
  }
  EXPECT_TRUE(
      std::any_of(journal.begin(), journal.end(), [](const JournalEvent& e) { return e.kind == "disconnect"; }));
  EXPECT_TRUE(ProcessUpdateCycle().LastPassResult().m_Stopped);
}

TEST_F(CycleEndToEnd, StopWhileTheMonitorSleepsReturnsWithinASecondAndAHalf) {
  ProcessUpdateCycle().SetMonitorPeriod(std::chrono::milliseconds(kMonitorPeriodMs));
  LoadCatalogue(RingStations(10, 20.0, 100.0));
  StartHost();
  StartRunAndWaitForPass();
  UpdateCycle& cycle = ProcessUpdateCycle();
  ASSERT_TRUE(cycle.WaitForMonitorPolls(cycle.MonitorPolls() + 1, kLong));  // now in its sleep
  const auto before = std::chrono::steady_clock::now();
  StopUpdateCycle();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1500ms);
  EXPECT_EQ(g_RunState.load(), kRunStopped);
  EXPECT_FALSE(static_cast<bool>(g_Link));
}

TEST_F(CycleEndToEnd, SimulatorVanishingMidPassEndsTheRunWithStartEnabled) {
  LoadCatalogue(RingStations(90, 2.0, 149.0));
  StartHost({"--exit-after", "60"});
  StopUpdateCycle();
  PrepareWeatherRun();
  StartUpdatePass(false);
  ASSERT_TRUE(m_Host->WaitExited(kLong));
  // The link gives up, stops the run from inside it, and the cycle winds down by itself.
  ASSERT_TRUE(ProcessUpdateCycle().WaitIdle(kLong));
  EXPECT_NE(g_RunState.load() & kRunStopMask, 0u);
  EXPECT_TRUE(m_Controls.start.IsEnabled());
  EXPECT_FALSE(m_Controls.end.IsEnabled());
  const PassEvents pass = EventsOfPass(m_Host->Journal(), 0);
  EXPECT_FALSE(pass.pending.empty());  // it vanished after the walk had begun
  for (const JournalEvent& e : m_Host->Journal()) {
    EXPECT_EQ(e.text.find("Weather stations set!"), std::string::npos) << e.line;
  }
}

TEST_F(CycleEndToEnd, EmptyCatalogueGivesAPassThatSetsNothing) {
  m_Folder.WriteStationList("");
  m_Folder.WriteMap("");
  m_Stations = std::make_unique<METAR_Stations>();
  m_Stations->LoadStations();
  g_pStations = m_Stations.get();
  StartHost();
  StartRunAndWaitForPass();
  // Nothing to send: the pass ends at once and says so in the window, not in the simulator.
  for (const JournalEvent& e : m_Host->Journal()) {
    EXPECT_NE(e.kind, "message") << e.text;
    EXPECT_NE(e.kind, "pending") << e.station;
    EXPECT_NE(e.kind, "commit");
  }
  EXPECT_EQ(m_Controls.status.GetText(), kNoWeatherLoaded);
}

// The user presses Start and only then starts the simulator: the pass waits for it (one open a
// second), then shakes hands and sets the weather, with no error text on the way.
TEST_F(CycleEndToEnd, StartBeforeTheSimulatorWaitsForItAndThenSetsTheWeather) {
  LoadCatalogue(RingStations(40, 160.0, 400.0));
  UpdateCycle& cycle = ProcessUpdateCycle();
  const std::uint64_t passes = cycle.PassesEnded();
  const std::size_t textsBefore = m_Controls.status.History().size();
  PressStart();
  std::this_thread::sleep_for(3s);  // the simulator comes up 3 s later
  EXPECT_EQ(cycle.PassesEnded(), passes);
  EXPECT_EQ(g_RunState.load(), kRunRunning);
  StartHost();
  ASSERT_TRUE(cycle.WaitForPasses(passes + 1, kLong));
  const std::vector<JournalEvent> journal = m_Host->Journal();
  const auto handshake =
      std::find_if(journal.begin(), journal.end(), [](const JournalEvent& e) { return e.kind == "handshake"; });
  const auto firstPending =
      std::find_if(journal.begin(), journal.end(), [](const JournalEvent& e) { return e.kind == "pending"; });
  ASSERT_NE(handshake, journal.end());
  EXPECT_LT(handshake - journal.begin(), firstPending - journal.begin());
  ExpectFirstPass(EventsOfPass(journal, 0), 51);
  // The only text is the pass's result line.
  const std::vector<std::string> texts = m_Controls.status.History();
  for (std::size_t i = textsBefore; i < texts.size(); ++i) {
    if (i + 1 == texts.size() && texts[i].rfind("51 Weather stations set, nearest ", 0) == 0) continue;
    ADD_FAILURE() << "status text: " << texts[i];
  }
  EXPECT_EQ(texts.size(), textsBefore + 1);
  EXPECT_FALSE(m_Controls.start.IsEnabled());
  EXPECT_TRUE(m_Controls.end.IsEnabled());
}

// No simulator for the whole wait (shortened by ALTIVANE_CONNECT_RETRY_MS): the run gives up
// with "Please start FS2004!", once, and "Start" enabled again.
TEST_F(CycleEndToEnd, NoSimulatorForTheWholeWaitShowsPleaseStartOnce) {
  ::setenv("ALTIVANE_CONNECT_RETRY_MS", "5", 1);
  LoadCatalogue(RingStations(10, 20.0, 100.0));
  PressStart();
  const bool gaveUp = WaitUntil([this] { return m_Controls.status.GetText() == "Please start FS2004!"; }, kLong);
  ::unsetenv("ALTIVANE_CONNECT_RETRY_MS");
  ASSERT_TRUE(gaveUp);
  ASSERT_TRUE(ProcessUpdateCycle().WaitIdle(kLong));
  const std::vector<std::string> history = m_Controls.status.History();
  EXPECT_EQ(std::count(history.begin(), history.end(), "Please start FS2004!"), 1) << history.size();
  EXPECT_TRUE(m_Controls.start.IsEnabled());
  EXPECT_FALSE(m_Controls.end.IsEnabled());
  EXPECT_EQ(g_RunState.load() & kRunStopMask, kRunStopped);
  EXPECT_FALSE(static_cast<bool>(g_Link));
}

// "End" waits in its stop while the periodic refresh, after a download that failed at once,
// stops (joining End's stop) and starts the cycle again: both return, the refresh's cycle runs.
TEST_F(CycleEndToEnd, EndWhileARefreshRestartsTheCycleBothReturn) {
  LoadCatalogue(RingStations(10, 20.0, 100.0));
  StartHost();
  StartRunAndWaitForPass();
  auto end = std::async(std::launch::async, [] { StopUpdateCycle(); });
  ASSERT_TRUE(WaitUntil([] { return (g_RunState.load() & kRunStopMask) != 0; }, kLong));
  auto refresh = std::async(std::launch::async, [] {
    StopUpdateCycle();
    StartUpdatePass(true);
  });
  const bool endReturned = end.wait_for(20s) == std::future_status::ready;
  const bool refreshReturned = refresh.wait_for(20s) == std::future_status::ready;
  if (!endReturned || !refreshReturned) StopUpdateCycle();  // lets a stuck stop go before failing
  ASSERT_TRUE(endReturned);
  ASSERT_TRUE(refreshReturned);
  EXPECT_EQ(g_RunState.load() & kRunStopMask, 0u);
  const std::uint64_t passes = ProcessUpdateCycle().PassesEnded();
  EXPECT_TRUE(ProcessUpdateCycle().WaitForPasses(passes + 1, kLong));
  StopUpdateCycle();
  EXPECT_TRUE(ProcessUpdateCycle().WaitIdle(0ms));
}

// The simulator hangs mid-pass (SIGSTOP). "End", or the shut-down, returns within one IPC
// operation's time-out (nine sends) and a little, and then no thread of the cycle is left, so
// the catalogue can be deleted at once (asan sees any later touch). The simulator then comes
// back or is killed.
TEST_F(CycleEndToEnd, FrozenSimulatorMidPassStopsWithinTheBoundAndLeavesTheCatalogue) {
  struct Case {
    const char* name;
    bool lostLinkFirst;  // the pass's time-out ends the run from inside before "End"
    bool killAfter;
  };
  const Case cases[] = {
      {"End while frozen, then the simulator comes back", false, false},
      {"link lost while frozen, then the shut-down, then the simulator is killed", true, true},
  };
  constexpr std::uint32_t kSendTimeoutMs = 300;
  FastLinkTimings timings(kSendTimeoutMs, 1, 1, 1000);
  // One operation: nine sends; a new client's look for the frozen window may add 2 s.
  const auto bound = std::chrono::milliseconds(kSendAttempts * (kSendTimeoutMs + 1)) + 2s + 1500ms;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LoadCatalogue(RingStations(90, 2.0, 149.0));
    StartHost({"--answer-after", "20"});
    PressStart();
    ASSERT_TRUE(m_Host->WaitForJournal(
        [](const std::vector<JournalEvent>& journal) {
          return std::count_if(journal.begin(), journal.end(),
                               [](const JournalEvent& e) { return e.kind == "pending"; }) >= 3;
        },
        kLong));
    m_Host->Freeze();
    if (c.lostLinkFirst) {
      ASSERT_TRUE(WaitUntil([] { return (g_RunState.load() & kRunStopMask) != 0; }, kLong));
    } else {
      std::this_thread::sleep_for(200ms);  // the pass is now waiting for an answer
    }
    const auto before = std::chrono::steady_clock::now();
    StopUpdateCycle();
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_LT(took, bound) << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    EXPECT_TRUE(ProcessUpdateCycle().WaitIdle(0ms));
    // The shut-down deletes the catalogue right after its stop.
    g_pStations = nullptr;
    m_Stations.reset();
    if (c.killAfter)
      m_Host->Kill();
    else
      m_Host->Thaw();
    EXPECT_TRUE(ProcessUpdateCycle().WaitIdle(kLong));
    EXPECT_EQ(g_RunState.load() & kRunStopMask, kRunStopped);
    m_Host.reset();
    g_Link.Set(nullptr);
  }
}

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

// A session: simhost flies a path that gives a pass at nearly every poll, is restarted every
// 50 passes and hangs for 5 s every 70; a run that the link ended is started again as the user
// would. No hang, and resident memory stays flat. (The long soak of the real program is
// scripts/soak.)
TEST_F(CycleEndToEnd, SoakOf120PassesWithRestartsAndFreezes) {
  constexpr std::uint64_t kPasses = 120;
  FastLinkTimings timings(300, 1, 1, 100);
  // A small map (three stations) keeps a pass short; the sample station list still gives the
  // reports they are blended from.
  const std::filesystem::path sample = SourceDir() / "data" / "sample";
  m_Folder.WriteStationList(ReadBytes(sample / "Altivane" / "stations" / "station.txt"));
  m_Folder.WriteMap(RingStations(3, 20.0, 100.0));
  m_Stations = std::make_unique<METAR_Stations>();
  m_Stations->LoadStations();
  const std::filesystem::path weather = sample / "Altivane" / "Weather";
  ASSERT_TRUE(m_Stations->ReadUpperAirFile((weather / "20261207_1200Z.rdisnd").string()));
  ASSERT_TRUE(
      m_Stations->ReadMetarFile((weather / "20261207_1200Z.TXT").string(),
                                std::chrono::sys_days{std::chrono::year{2026} / 12 / 7} + std::chrono::hours{13}));
  g_pStations = m_Stations.get();
  // North and south 12 degrees a second: more than 15 nm in 21 ms, so the monitor starts a
  // new pass at its first poll after a pass, and the soak measures passes, not waits.
  ProcessUpdateCycle().SetMonitorPeriod(20ms);
  const std::filesystem::path path = m_Ipc.Path() / "path.txt";
  {
    std::ofstream out(path);
    for (int leg = 0; leg <= 1200; ++leg)
      out << leg * 0.5 << ' ' << (kAircraftLatitude + (leg % 2 ? 3.0 : -3.0)) << ' ' << kAircraftLongitude << '\n';
  }
  const std::vector<std::string> hostArgs = {"--path", path.string()};
  StartHost(hostArgs);
  UpdateCycle& cycle = ProcessUpdateCycle();
  const std::uint64_t base = cycle.PassesEnded();
  const auto deadline = std::chrono::steady_clock::now() + 160s;
  PressStart();
  long firstRss = -1;
  std::uint64_t nextRestart = 50, nextFreeze = 70;
  int restarts = 0, freezes = 0, starts = 1;
  for (;;) {
    const std::uint64_t done = cycle.PassesEnded() - base;
    if (done >= kPasses) break;
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << done << " passes";
    if (firstRss < 0 && done >= 10) firstRss = ResidentKb();
    if (done >= nextFreeze) {
      m_Host->Freeze();
      std::this_thread::sleep_for(5s);
      m_Host->Thaw();
      nextFreeze += 70;
      ++freezes;
    } else if (done >= nextRestart) {
      m_Host.reset();
      StartHost(hostArgs);
      nextRestart += 50;
      ++restarts;
    }
    // A run that the link ended (its stop from inside) has wound down: "Start" again.
    if ((g_RunState.load() & kRunStopMask) != 0 && cycle.WaitIdle(0ms)) {
      PressStart();
      ++starts;
    }
    cycle.WaitForPasses(cycle.PassesEnded() + 1, 200ms);
  }
  StopUpdateCycle();
  EXPECT_TRUE(cycle.WaitIdle(0ms));
  const long lastRss = ResidentKb();
  std::printf("soak: %llu passes, %d restarts, %d freezes, %d starts; resident memory first %ld kB, last %ld kB\n",
              static_cast<unsigned long long>(cycle.PassesEnded() - base), restarts, freezes, starts, firstRss,
              lastRss);
  EXPECT_GE(restarts, 2);
  EXPECT_GE(freezes, 1);
  ASSERT_GT(firstRss, 0);
  // AddressSanitizer keeps freed memory in quarantine (up to 256 MB): resident memory says
  // nothing of leaks there, which its leak check covers.
  if (!kUnderAddressSanitizer) {
    EXPECT_LT(lastRss - firstRss, 32 * 1024);
  }
}

}  // namespace
}  // namespace altivane::test

#endif  // !_WIN32
