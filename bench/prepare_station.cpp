// Preparing one simulator station's weather block (both blends, report text, layers) against
// catalogues of 10,000 and 30,000 reporting stations and 800 upper-air stations.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>

#include "model/prepare.h"
#include "reports/random.h"
#include "stations/metar_stations.h"

namespace {

constexpr int kUpperAirStations = 800;

std::unique_ptr<METAR_Stations> MakeCatalogue(int reporting) {
  auto stations = std::make_unique<METAR_Stations>();
  stations->m_CycleFileRead = 1;
  std::mt19937 random(42);
  std::uniform_real_distribution<double> lat(-60.0, 70.0), lon(-180.0, 180.0);
  char key[16];
  for (int i = 0; i < reporting; ++i) {
    auto r = std::make_unique<METAR_Station>();
    std::snprintf(key, sizeof key, "R%05d", i);
    r->m_Key = key;
    r->m_Latitude = lat(random);
    r->m_Longitude = lon(random);
    r->m_Elevation = i % 900;
    r->m_ReportValid = 1;
    r->m_ObsDate = "2003/11/09";
    r->m_ObsTime = "13:50";
    r->m_WindDirection = (i * 37) % 360;
    r->m_WindSpeed = i % 30;
    r->m_Visibility = 6.0;
    r->m_CloudBase = {0, 600 + i % 500, 2400, 0, 0};
    r->m_CloudCover = {0.0, 0.5, 0.875, 0.0, 0.0};
    r->m_CloudThickness = {0.0, 1.0, 1.5, 0.0, 0.0};
    r->m_Temperature = i % 30 - 5;
    r->m_DewPoint = i % 30 - 10;
    r->m_Pressure = 1000 + i % 30;
    stations->SetAt(key, std::move(r));
  }
  for (int i = 0; i < kUpperAirStations; ++i) {
    auto u = std::make_unique<Weather_Station>();
    std::snprintf(key, sizeof key, "%05d", 10000 + i);
    u->m_Key = key;
    u->m_Latitude = lat(random);
    u->m_Longitude = lon(random);
    u->m_UpperAirValid = 1;
    const int pressures[] = {1000, 925, 850, 700, 500, 400, 300, 250, 200, 150, 100};
    for (int k = 0; k < 11; ++k) {
      u->m_LevelPressure[k + 1] = pressures[k];
      u->m_LevelHeight[k + 1] = 100 + 1500 * k;
      u->m_LevelTemperature[k + 1] = 15 - 7 * k;
      u->m_LevelDewPoint[k + 1] = 10 - 8 * k;
      u->m_LevelWindDirection[k + 1] = (200 + 10 * k + i) % 360;
      u->m_LevelWindSpeed[k + 1] = 5 + 5 * k;
    }
    u->m_LevelHeight[0] = 50;
    u->m_LevelTemperature[0] = 16;
    stations->m_UpperAirStations.push_back(stations->SetAt(key, std::move(u)));
  }
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
