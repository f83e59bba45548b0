// Preparing one simulator station's weather block (both blends, report text, layers) against
// catalogues of 10,000 and 30,000 reporting stations and 800 upper-air stations.
#include <benchmark/benchmark.h>

#include "synthetic_catalogue.h"

#include <cstdio>
#include <memory>
#include <random>
#include <string>

#include "model/prepare.h"
#include "base/random.h"
#include "stations/metar_stations.h"

namespace {

constexpr int kUpperAirStations = 800;

std::unique_ptr<METAR_Stations> MakeCatalogue(int reporting) {
  auto stations = std::make_unique<METAR_Stations>();
  std::mt19937 random(42);
  AddSyntheticWeather(*stations, random, {-60.0, 70.0, -180.0, 180.0}, reporting, kUpperAirStations, "2003/11/09",
                      "13:50");
  auto sim = std::make_unique<METAR_Station>();
  sim->m_Key = "SIMX";
  sim->m_Latitude = 50.1;
  sim->m_Longitude = 8.6;
  sim->m_Elevation = 120;
  sim->m_State = kStateToSend;
  stations->m_SimStations.push_back(static_cast<METAR_Station*>(stations->SetAt("SIMX", std::move(sim))));
  return stations;
}

void BM_PrepareStationWithoutReport(benchmark::State& state) {
  auto stations = MakeCatalogue(static_cast<int>(state.range(0)));
  METAR_Station& sim = *stations->m_SimStations.front();
  SeedRandom(1);
  for (auto _ : state) {
    WeatherBlockBytes block = PrepareStationWeather(*stations, sim);
    benchmark::DoNotOptimize(block);
  }
  state.counters["reporting"] = static_cast<double>(state.range(0));
  state.counters["upper_air"] = kUpperAirStations;
}
BENCHMARK(BM_PrepareStationWithoutReport)->Arg(10000)->Arg(30000)->Unit(benchmark::kMicrosecond);

// A station with its own report: only the upper-air blend walks a list.
void BM_PrepareStationWithReport(benchmark::State& state) {
  auto stations = MakeCatalogue(static_cast<int>(state.range(0)));
  METAR_Station& reporting = static_cast<METAR_Station&>(*stations->Lookup("R00001"));
  SeedRandom(1);
  for (auto _ : state) {
    WeatherBlockBytes block = PrepareStationWeather(*stations, reporting);
    benchmark::DoNotOptimize(block);
  }
}
BENCHMARK(BM_PrepareStationWithReport)->Arg(10000)->Arg(30000)->Unit(benchmark::kMicrosecond);

}  // namespace
