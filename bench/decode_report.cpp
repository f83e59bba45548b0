// Speed of the surface-report decoder over the real report corpus (reports per second) and of
// the cycle file reader on a whole real hour file (bytes per second).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "reports/metar_decoder.h"
#include "base/random.h"
#include "stations/metar_stations.h"

// Every allocation of the process counted, so that the benchmarks can tell how many the
// measured work makes (none per report once the records and the table have their room).
namespace {
std::atomic<std::int64_t> g_Allocations{0};
}  // namespace

[[gnu::noinline]] void* operator new(std::size_t size) {
  g_Allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
// Not inlined: the compiler would take the malloc behind operator new for a mismatch.
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

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
  const std::int64_t before = g_Allocations.load();
  for (auto _ : state) {
    for (const std::string& report : reports) {
      station.DecodeReport(report, NoAgeLimit());
      benchmark::DoNotOptimize(station.m_ReportValid);
    }
  }
  const auto decoded = static_cast<double>(state.iterations() * static_cast<std::int64_t>(reports.size()));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(reports.size()));
  // The first reports grow the record's and the table's texts; after that none allocates.
  state.counters["allocations_per_report"] = static_cast<double>(g_Allocations.load() - before) / decoded;
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
  // One read first, so that the records have grown their texts: a read then allocates only
  // the reader's own buffers.
  stations.ReadMetarFile(path.string(), NoAgeLimit());
  const std::int64_t before = g_Allocations.load();
  for (auto _ : state) {
    stations.m_ReportTime.clear();
    benchmark::DoNotOptimize(stations.ReadMetarFile(path.string(), NoAgeLimit()));
  }
  state.counters["allocations_per_read"] =
      static_cast<double>(g_Allocations.load() - before) / static_cast<double>(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
  state.counters["stations"] = static_cast<double>(stations.Count());
}
BENCHMARK(BM_ReadMetarFile)->Unit(benchmark::kMillisecond);

}  // namespace
