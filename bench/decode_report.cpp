// Speed of the surface-report decoder over the real report corpus (reports per second) and of
// the cycle file reader on a whole real hour file (bytes per second).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "reports/metar_decoder.h"
#include "reports/random.h"
#include "stations/metar_stations.h"

namespace {

const std::filesystem::path kMetarDir = std::filesystem::path(ALTIVANE_SHARED_DATA) / "metar";

std::vector<std::string> Lines(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void BM_DecodeReport(benchmark::State& state) {
  const std::vector<std::string> reports = Lines(kMetarDir / "corpus.txt");
  if (reports.empty()) {
    state.SkipWithError("corpus.txt not found");
    return;
  }
  METAR_Station station;
  SeedRandom(1);
  for (auto _ : state) {
    for (const std::string& report : reports) {
      station.DecodeReport(report, NoAgeLimit());
      benchmark::DoNotOptimize(station.m_ReportValid);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(reports.size()));
}
BENCHMARK(BM_DecodeReport)->Unit(benchmark::kMillisecond);

void BM_ReadMetarFile(benchmark::State& state) {
  const std::filesystem::path path = kMetarDir / "cycles" / "20230429_12Z.TXT";
  std::error_code error;
  const auto bytes = std::filesystem::file_size(path, error);
  if (error) {
    state.SkipWithError("20230429_12Z.TXT not found");
    return;
  }
  // Every station of the file in the catalogue, as a full station list would have them.
  METAR_Stations stations;
  std::string previous;
  for (const std::string& line : Lines(path)) {
    if (!previous.empty() && previous[0] == '2' && line.size() >= 4 && !stations.Lookup(line.substr(0, 4))) {
      const std::string key = line.substr(0, 4);
      auto record = std::make_unique<METAR_Station>();
      record->m_Key = key;
      stations.SetAt(key, std::move(record));
    }
    previous = line;
  }
  for (auto _ : state) {
    stations.m_ReportTime.clear();
    benchmark::DoNotOptimize(stations.ReadMetarFile(path.string(), NoAgeLimit()));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
  state.counters["stations"] = static_cast<double>(stations.Count());
}
BENCHMARK(BM_ReadMetarFile)->Unit(benchmark::kMillisecond);

}  // namespace
