#pragma once
// What the weather view records of an update pass: every station it wrote, as the pass prepared
// or refreshed it, nearest first.
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "model/blending.h"
#include "model/prepare.h"
#include "stations/station_records.h"
#include "stations/weather_block_layout.h"

// What the page shows of one station, copied out of the catalogue when the pass prepared it.
struct ViewStation {
  std::string m_Key;
  std::string m_Name;
  double m_Latitude = 0.0;
  double m_Longitude = 0.0;
  double m_Elevation = 0.0;
  double m_SquaredDistance = 0.0;  // from the aircraft, square nautical miles
  bool m_Traced = false;           // prepared in a pass this program saw (the trace is known)
  BlendTrace m_Trace;
  std::string m_ReportText;
  std::string m_ObsDate;  // "2023/04/29" of the report (a blended one: of its nearest neighbour)
  std::string m_ObsTime;  // "11:53"
  std::int32_t m_WindDirection = 0;
  std::int32_t m_WindSpeed = 0;
  std::int32_t m_WindGust = 0;
  double m_Visibility = 0.0;  // statute miles
  std::string m_Weather;
  double m_PrecipIntensity = 0.0;
  std::array<double, kCloudSlots> m_CloudCover{};
  std::array<std::int32_t, kCloudSlots> m_CloudBase{};  // metres above the station
  std::int32_t m_Temperature = kMissing;
  std::int32_t m_DewPoint = kMissing;
  std::int32_t m_Pressure = kMissing;
  // The blended upper-air profile the station's layers were built from.
  std::int32_t m_ProfileValid = 0;
  LevelTable m_LevelPressure{};
  LevelTable m_LevelHeight{};
  LevelTable m_LevelTemperature{};
  LevelTable m_LevelDewPoint{};
  LevelTable m_LevelWindDirection{};
  LevelTable m_LevelWindSpeed{};
  WeatherBlockBytes m_Block{};  // as sent
};

struct WeatherViewPage {
  double m_AircraftLatitude = 0.0;
  double m_AircraftLongitude = 0.0;
  int m_Radius = 0;                     // last radius committed, nautical miles
  std::string m_Stamp;                  // when the page was made, shown as it is
  std::int64_t m_Now = 0;               // the same, UTC seconds since 1970 (0: unknown, no report ages)
  std::vector<ViewStation> m_Stations;  // nearest first
};

// Records one pass: the stations prepared (with their traces) and refreshed. The pass hands it
// each station it prepares (PrepareStationWeather with this as the sink); it copies what the
// page shows and keeps the block as sent, leaving the decoding to the page.
class PassView : public PreparationSink {
 public:
  // The page's time is the clock's at the start of the pass unless now (UTC seconds) is given.
  void Begin(double latitude, double longitude, std::int64_t now = 0);
  void Prepared(const METAR_Station& station, const Weather_Station& profile, BlendTrace&& trace) override;
  // A station sent again unchanged: shown as the pass that prepared it left it.
  void Refreshed(const METAR_Station& station);
  void Committed(int radius) { m_Page.m_Radius = radius; }
  const WeatherViewPage& Page() const { return m_Page; }

 private:
  WeatherViewPage m_Page;
  std::map<std::string, ViewStation> m_Prepared;  // by key, across passes
};
