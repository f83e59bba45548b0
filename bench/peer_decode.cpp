// Our surface-report decoder against SimGear's SGMetar over the same corpus in the same process.
// Each iteration decodes the whole corpus once with each decoder, alternating which goes first,
// so that both see the same machine load; the counters give both rates (per second of processor
// time) and ours / SimGear's.
// Built without the peer (the benchmark skips) where libsimgear-dev is not installed.
#include <benchmark/benchmark.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "reports/metar_decoder.h"
#include "base/random.h"
#include "stations/station_records.h"

#ifdef ALTIVANE_HAVE_SIMGEAR
#include <simgear/environment/metar.hxx>
#endif

namespace {

std::vector<std::string> Corpus() {
  std::ifstream in(std::filesystem::path(ALTIVANE_SHARED_DATA) / "metar" / "corpus.txt", std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Reports our decoder took as usable, so that the work cannot be optimised away.
std::int64_t DecodeOurs(const std::vector<std::string>& reports, METAR_Station& station) {
  std::int64_t valid = 0;
  for (const std::string& report : reports) {
    station.DecodeReport(report, NoAgeLimit());
    valid += station.m_ReportValid;
  }
  return valid;
}

#ifdef ALTIVANE_HAVE_SIMGEAR
// Reports SGMetar parsed without throwing.
std::int64_t DecodeSimGear(const std::vector<std::string>& reports) {
  std::int64_t parsed = 0;
  for (const std::string& report : reports) {
    try {
      SGMetar metar(report);
      benchmark::DoNotOptimize(metar.getWindSpeed_kt());
      ++parsed;
    } catch (...) {
      // A report SGMetar cannot read costs what it cost until it gave up.
    }
  }
  return parsed;
}
#endif

// The thread's processor time: on a machine shared with other work, wall time would count
// the waits for a processor too.
double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <typename F>
double SecondsOf(F&& f) {
  const double start = ThreadSeconds();
  f();
  return ThreadSeconds() - start;
}

void BM_PeerDecode(benchmark::State& state) {
#ifndef ALTIVANE_HAVE_SIMGEAR
  state.SkipWithError("libsimgear-dev is not installed: SGMetar not built in, nothing to compare with");
  return;
#else
  const std::vector<std::string> reports = Corpus();
  if (reports.empty()) {
    state.SkipWithError("corpus.txt not found");
    return;
  }
  METAR_Station station;
  SeedRandom(1);
  double ours = 0.0, peer = 0.0;
  std::int64_t valid = 0, parsed = 0;
  bool oursFirst = true;
  for (auto _ : state) {
    if (oursFirst) {
      ours += SecondsOf([&] { valid = DecodeOurs(reports, station); });
      peer += SecondsOf([&] { parsed = DecodeSimGear(reports); });
    } else {
      peer += SecondsOf([&] { parsed = DecodeSimGear(reports); });
      ours += SecondsOf([&] { valid = DecodeOurs(reports, station); });
    }
    oursFirst = !oursFirst;
  }
  const double decoded = static_cast<double>(state.iterations()) * static_cast<double>(reports.size());
  state.counters["ours_per_s"] = decoded / ours;
  state.counters["simgear_per_s"] = decoded / peer;
  state.counters["ratio"] = peer / ours;
  state.counters["ours_valid"] = static_cast<double>(valid);
  state.counters["simgear_parsed"] = static_cast<double>(parsed);
#endif
}
BENCHMARK(BM_PeerDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
