// One update pass over a large catalogue: 25,000 simulator stations, 10,000 reporting stations
// and 800 upper-air stations, against a simhost core in this process that acknowledges every
// weather write at once. Split into the candidate list (build and sort), the preparation of
// the stations the pass selects, their writes, and the whole pass.
#include <benchmark/benchmark.h>

#include "synthetic_catalogue.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>

#include "cycle/candidates.h"
#include "cycle/cycle_rules.h"
#include "model/prepare.h"
#include "cycle/run_state.h"
#include "cycle/update_cycle.h"
#include "platform/ipc_transport.h"
#include "base/random.h"
#include "simhost_core.h"
#include "cycle/connection.h"
#include "stations/metar_stations.h"

namespace {

constexpr int kSimStations = 25000;
constexpr int kReportingStations = 10000;
constexpr int kUpperAirStations = 800;
constexpr double kAircraftLatitude = 50.1;
constexpr double kAircraftLongitude = 8.6;

// Stations spread over the northern mid-latitudes from the Pacific coast to the Urals, about
// a hundred simulator stations within 150 nm of the aircraft.
struct Catalogue {
  Catalogue() {
    stations = std::make_unique<METAR_Stations>();
    std::mt19937 random(42);
    AddSyntheticWeather(*stations, random, {25.0, 70.0, -130.0, 40.0}, kReportingStations, kUpperAirStations,
                        "2026/12/07", "11:50");
    std::uniform_real_distribution<double> lat(25.0, 70.0), lon(-130.0, 40.0);
    char key[16];
    for (int i = 0; i < kSimStations; ++i) {
      auto s = std::make_unique<METAR_Station>();
      std::snprintf(key, sizeof key, "S%04X", i);
      s->m_Key = key;
      s->m_Latitude = lat(random);
      s->m_Longitude = lon(random);
      s->m_Elevation = i % 700;
      s->m_State = kStateToSend;
      stations->m_SimStations.push_back(static_cast<METAR_Station*>(stations->SetAt(key, std::move(s))));
    }
  }
  void MarkAll(std::int32_t state) {
    for (METAR_Station* s : stations->m_SimStations) s->m_State = state;
  }
  std::unique_ptr<METAR_Stations> stations;
};

Catalogue& SharedCatalogue() {
  static Catalogue catalogue;
  return catalogue;
}

// The stations the pass selects, in its order.
std::vector<METAR_Station*> Selected(CandidateList& list) {
  BuildCandidateList(list, SharedCatalogue().stations->m_SimStations, kAircraftLatitude, kAircraftLongitude);
  std::vector<METAR_Station*> selected;
  for (int i = 0; i < list.Count() && CandidateSelected(i, list[i].m_SquaredDistance); ++i)
    selected.push_back(list[i].m_Station);
  return selected;
}

// A simhost core served over the transport in this process, and the link connected to it.
class InProcessSimulator {
 public:
  InProcessSimulator() {
    char dir[] = "/tmp/altivane-bench-XXXXXX";
    m_Dir = ::mkdtemp(dir) ? dir : "";
    ::setenv("ALTIVANE_IPC_DIR", m_Dir.c_str(), 1);
    SimHostOptions options;
    options.m_Latitude = kAircraftLatitude;
    options.m_Longitude = kAircraftLongitude;
    // ALTIVANE_PASS_JOURNAL names a file for simhost's journal: the blocks of the measured passes,
    // to compare the bytes two builds write.
    if (const char* journal = std::getenv("ALTIVANE_PASS_JOURNAL")) options.m_JournalPath = journal;
    m_Host = std::make_unique<SimHost>(options);
    m_Server = CreateIpcServer();
    std::string error;
    SimHost* host = m_Host.get();
    m_Ready = m_Server->Start(
        kFs98WindowClass,
        [host](std::uint32_t message, const std::string& name) { return host->HandleMessage(message, name); }, &error);
    if (!m_Ready) std::fprintf(stderr, "simhost core: %s\n", error.c_str());
    g_RunState = kRunRunning;
    ConnectSimulator();
    m_Ready = m_Ready && g_Link.Get() && g_Link.Get()->IsOpen();
  }
  ~InProcessSimulator() {
    g_RunState = kRunStopped;
    DisconnectSimulator();
    m_Host->Release();
    m_Server->Stop();
    std::filesystem::remove_all(m_Dir);
  }
  bool Ready() const { return m_Ready; }

 private:
  std::string m_Dir;
  std::unique_ptr<SimHost> m_Host;
  std::unique_ptr<IpcServer> m_Server;
  bool m_Ready = false;
};

void BM_CandidateBuildAndSort(benchmark::State& state) {
  Catalogue& catalogue = SharedCatalogue();
  catalogue.MarkAll(kStateToSend);
  CandidateList list;
  for (auto _ : state) {
    BuildCandidateList(list, catalogue.stations->m_SimStations, kAircraftLatitude, kAircraftLongitude);
    benchmark::DoNotOptimize(list[0]);
  }
  state.counters["candidates"] = list.Count();
}
BENCHMARK(BM_CandidateBuildAndSort)->Unit(benchmark::kMillisecond);

void BM_PrepareSelectedStations(benchmark::State& state) {
  Catalogue& catalogue = SharedCatalogue();
  catalogue.MarkAll(kStateToSend);
  CandidateList list;
  const std::vector<METAR_Station*> selected = Selected(list);
  SeedRandom(1);
  for (auto _ : state) {
    for (METAR_Station* s : selected) {
      WeatherBlockBytes block = PrepareStationWeather(*catalogue.stations, *s);
      benchmark::DoNotOptimize(block);
    }
  }
  state.counters["stations"] = static_cast<double>(selected.size());
}
BENCHMARK(BM_PrepareSelectedStations)->Unit(benchmark::kMillisecond);

// The writes of a first pass: one set-pending block per selected station.
void BM_WriteSelectedStations(benchmark::State& state) {
  Catalogue& catalogue = SharedCatalogue();
  catalogue.MarkAll(kStateToSend);
  CandidateList list;
  const std::vector<METAR_Station*> selected = Selected(list);
  for (METAR_Station* s : selected) PrepareStationWeather(*catalogue.stations, *s);
  InProcessSimulator simulator;
  if (!simulator.Ready()) {
    state.SkipWithError("no simhost core");
    return;
  }
  for (auto _ : state) {
    for (METAR_Station* s : selected) WriteWeatherBlock(s->m_WeatherBlock.bytes, kWriteSetPending);
  }
  state.counters["stations"] = static_cast<double>(selected.size());
}
BENCHMARK(BM_WriteSelectedStations)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole pass from the candidate list to the closing command: first passes (every station
// in state 1) and later passes (state 2, refresh writes).
void BM_WholePass(benchmark::State& state) {
  Catalogue& catalogue = SharedCatalogue();
  const std::int32_t stateBefore = static_cast<std::int32_t>(state.range(0));
  InProcessSimulator simulator;
  if (!simulator.Ready()) {
    state.SkipWithError("no simhost core");
    return;
  }
  CycleBackend& backend = SimulatorCycleBackend();
  g_pStations = catalogue.stations.get();
  CandidateList list;
  StationWalkResult result;
  SeedRandom(1);
  catalogue.MarkAll(kStateToSend);
  if (stateBefore == kStateSent) {
    result = backend.SetStations(kAircraftLatitude, kAircraftLongitude, list, [] { return false; });
  }
  for (auto _ : state) {
    state.PauseTiming();
    catalogue.MarkAll(stateBefore);
    state.ResumeTiming();
    result = backend.SetStations(kAircraftLatitude, kAircraftLongitude, list, [] { return false; });
  }
  g_pStations = nullptr;
  state.counters["stations"] = result.m_StationsSet;
}
BENCHMARK(BM_WholePass)->Arg(kStateToSend)->Arg(kStateSent)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
