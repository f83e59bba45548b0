#pragma once
// Synthetic weather for the benchmarks: reporting stations "R00000".. with plausible reports and
// upper-air stations "10000".. with an eleven-level profile, spread over an area by the given
// generator (fixed seed: the same catalogue every run).
#include <cstdio>
#include <memory>
#include <random>

#include "stations/metar_stations.h"

struct SyntheticArea {
  double latitudeMin, latitudeMax, longitudeMin, longitudeMax;
};

inline void AddSyntheticWeather(METAR_Stations& stations, std::mt19937& random, const SyntheticArea& area,
                                int reporting, int upperAir, const char* obsDate, const char* obsTime) {
  std::uniform_real_distribution<double> lat(area.latitudeMin, area.latitudeMax);
  std::uniform_real_distribution<double> lon(area.longitudeMin, area.longitudeMax);
  stations.m_CycleFileRead = 1;
  char key[16];
  for (int i = 0; i < reporting; ++i) {
    auto r = std::make_unique<METAR_Station>();
    std::snprintf(key, sizeof key, "R%05d", i);
    r->m_Key = key;
    r->m_Latitude = lat(random);
    r->m_Longitude = lon(random);
    r->m_Elevation = i % 900;
    r->m_ReportValid = 1;
    r->m_ObsDate = obsDate;
    r->m_ObsTime = obsTime;
    r->m_WindDirection = (i * 37) % 360;
    r->m_WindSpeed = i % 30;
    r->m_Visibility = 6.0;
    r->m_CloudBase = {0, 600 + i % 500, 2400, 0, 0};
    r->m_CloudCover = {0.0, 0.5, 0.875, 0.0, 0.0};
    r->m_CloudThickness = {0.0, 1.0, 1.5, 0.0, 0.0};
    r->m_Temperature = i % 30 - 5;
    r->m_DewPoint = i % 30 - 10;
    r->m_Pressure = 1000 + i % 30;
    stations.SetAt(key, std::move(r));
  }
  const int pressures[] = {1000, 925, 850, 700, 500, 400, 300, 250, 200, 150, 100};
  for (int i = 0; i < upperAir; ++i) {
    auto u = std::make_unique<Weather_Station>();
    std::snprintf(key, sizeof key, "%05d", 10000 + i);
    u->m_Key = key;
    u->m_Latitude = lat(random);
    u->m_Longitude = lon(random);
    u->m_UpperAirValid = 1;
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
    stations.m_UpperAirStations.push_back(stations.SetAt(key, std::move(u)));
  }
}
