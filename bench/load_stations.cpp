// LoadStations at start-up size: the real station list (6,519 lines) and a simulator map of
// 25,000 records, of which the list's METAR stations come first (taken over from the list) and
// the rest are stations known to the simulator only.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <unistd.h>

#include "stations/sim_folder.h"
#include "stations/metar_stations.h"
#include "stations/sim_map.h"
#include "stations/station_list.h"

namespace {

constexpr int kMapRecords = 25000;

std::filesystem::path StationList() {
  if (const char* env = std::getenv("ALTIVANE_SHARED_DATA"); env && *env)
    return std::filesystem::path(env) / "stations" / "station.txt";
  return std::filesystem::path(ALTIVANE_SHARED_DATA) / "stations" / "station.txt";
}

// A simulator folder with the real list (linked, not copied) and the generated map; removed at exit.
class BenchFolder {
 public:
  BenchFolder() {
    m_Path = std::filesystem::temp_directory_path() / ("altivane-bench-" + std::to_string(::getpid()));
    std::filesystem::remove_all(m_Path);
    std::filesystem::create_directories(m_Path / "Altivane" / "stations");
    std::filesystem::create_directories(m_Path / "Weather");
    std::filesystem::create_symlink(StationList(), m_Path / "Altivane" / "stations" / "station.txt");

    METAR_Stations list;
    list.ReadStationList(Folder());
    std::string map;
    int written = 0;
    for (const auto& [key, record] : list.Records()) {
      if (written == kMapRecords) break;
      if (!dynamic_cast<METAR_Station*>(record.get()) || key.size() > kSimMapIdSize) continue;
      map += EncodeSimMapRecord({key, static_cast<float>(record->m_Latitude),
                                 static_cast<float>(record->m_Longitude + 360.0),
                                 static_cast<float>(record->m_Elevation), record->m_Name});
      ++written;
    }
    static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (int i = 0; written < kMapRecords; ++i, ++written) {
      // "Q..." is no ICAO region, so these never meet a list station.
      const std::string key = {'Q', kDigits[i / 1296 % 36], kDigits[i / 36 % 36], kDigits[i % 36]};
      map += EncodeSimMapRecord({key, static_cast<float>(-60 + i % 120), static_cast<float>(i % 360),
                                 static_cast<float>(i % 3000), "Generated station " + std::to_string(i)});
    }
    std::ofstream(m_Path / "Weather" / "wxmapping.bin", std::ios::binary) << map;
    m_MapRecords = written;
  }
  ~BenchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_Path, ec);
  }
  std::string Folder() const { return m_Path.string() + "\\"; }
  int MapRecords() const { return m_MapRecords; }

 private:
  std::filesystem::path m_Path;
  int m_MapRecords = 0;
};

BenchFolder& Folder() {
  static BenchFolder folder;
  return folder;
}

void BM_LoadStations(benchmark::State& state) {
  if (!std::filesystem::exists(StationList())) {
    state.SkipWithError(("real station list not found: " + StationList().string()).c_str());
    return;
  }
  g_SimFolder = Folder().Folder();
  for (auto _ : state) {
    auto stations = std::make_unique<METAR_Stations>();
    stations->LoadStations();
    benchmark::DoNotOptimize(stations->Count());
    state.PauseTiming();
    if (stations->m_SimStations.size() != static_cast<std::size_t>(Folder().MapRecords()))
      state.SkipWithError("map not read completely");
    stations.reset();
    state.ResumeTiming();
  }
  state.counters["list_lines"] = g_MetarStationCount + g_WeatherStationCount;
  state.counters["map_records"] = g_SimStationCount.load();
}
BENCHMARK(BM_LoadStations)->Unit(benchmark::kMillisecond);

void BM_ReadStationListOnly(benchmark::State& state) {
  if (!std::filesystem::exists(StationList())) {
    state.SkipWithError("real station list not found");
    return;
  }
  const std::string folder = Folder().Folder();
  for (auto _ : state) {
    auto stations = std::make_unique<METAR_Stations>();
    stations->ReadStationList(folder);
    benchmark::DoNotOptimize(stations->Count());
    state.PauseTiming();
    stations.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ReadStationListOnly)->Unit(benchmark::kMillisecond);

}  // namespace
