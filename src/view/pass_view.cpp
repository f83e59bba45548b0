#include "view/pass_view.h"

#include <chrono>
#include <utility>

#include "model/neighbours.h"

void PassView::Begin(double latitude, double longitude, std::int64_t now) {
  m_Page = WeatherViewPage{};
  m_Page.m_AircraftLatitude = latitude;
  m_Page.m_AircraftLongitude = longitude;
  m_Page.m_Now =
      now > 0 ? now
              : std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                    .count();
}

namespace {

void CopyWeather(ViewStation& v, const METAR_Station& s) {
  v.m_Key = s.m_Key;
  v.m_Name = s.m_Name;
  v.m_Latitude = s.m_Latitude;
  v.m_Longitude = s.m_Longitude;
  v.m_Elevation = s.m_Elevation;
  v.m_ReportText = s.m_ReportText;
  v.m_ObsDate = s.m_ObsDate;
  v.m_ObsTime = s.m_ObsTime;
  v.m_WindDirection = s.m_WindDirection;
  v.m_WindSpeed = s.m_WindSpeed;
  v.m_WindGust = s.m_WindGust;
  v.m_Visibility = s.m_Visibility;
  v.m_Weather = s.m_Weather;
  v.m_PrecipIntensity = s.m_PrecipIntensity;
  v.m_CloudCover = s.m_CloudCover;
  v.m_CloudBase = s.m_CloudBase;
  v.m_Temperature = s.m_Temperature;
  v.m_DewPoint = s.m_DewPoint;
  v.m_Pressure = s.m_Pressure;
  v.m_Block = s.m_WeatherBlock.bytes;
}

double SquaredDistanceFrom(const WeatherViewPage& page, const METAR_Station& s) {
  return static_cast<double>(
      SquaredDistance(page.m_AircraftLatitude, page.m_AircraftLongitude, s.m_Latitude, s.m_Longitude));
}

}  // namespace

void PassView::Prepared(const METAR_Station& station, const Weather_Station& profile, BlendTrace&& trace) {
  ViewStation v;
  v.m_Trace = std::move(trace);
  v.m_Traced = true;
  CopyWeather(v, station);
  v.m_ProfileValid = profile.m_UpperAirValid;
  v.m_LevelPressure = profile.m_LevelPressure;
  v.m_LevelHeight = profile.m_LevelHeight;
  v.m_LevelTemperature = profile.m_LevelTemperature;
  v.m_LevelDewPoint = profile.m_LevelDewPoint;
  v.m_LevelWindDirection = profile.m_LevelWindDirection;
  v.m_LevelWindSpeed = profile.m_LevelWindSpeed;
  v.m_SquaredDistance = SquaredDistanceFrom(m_Page, station);
  m_Prepared[v.m_Key] = v;
  m_Page.m_Stations.push_back(std::move(v));
}

void PassView::Refreshed(const METAR_Station& station) {
  auto known = m_Prepared.find(station.m_Key);
  ViewStation v;
  if (known != m_Prepared.end()) {
    v = known->second;
  } else {
    CopyWeather(v, station);
  }
  v.m_SquaredDistance = SquaredDistanceFrom(m_Page, station);
  m_Page.m_Stations.push_back(std::move(v));
}
