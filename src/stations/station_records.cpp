#include "stations/station_records.h"

Weather_Station::Weather_Station() { ResetLevelTables(); }

Weather_Station::~Weather_Station() = default;

namespace {

// The one list of the six tables, for a record and for a record seen as const.
template <class Station>
auto TablesOf(Station& s) {
  return std::array{&s.m_LevelPressure, &s.m_LevelHeight,        &s.m_LevelTemperature,
                    &s.m_LevelDewPoint, &s.m_LevelWindDirection, &s.m_LevelWindSpeed};
}

}  // namespace

std::array<LevelTable*, kLevelTableCount> Weather_Station::LevelTables() { return TablesOf(*this); }

std::array<const LevelTable*, kLevelTableCount> Weather_Station::LevelTables() const { return TablesOf(*this); }

void Weather_Station::ResetLevelTables() {
  for (LevelTable* table : LevelTables()) table->fill(kMissing);
}

void Weather_Station::CopyLevelTables(const Weather_Station& from) {
  const auto source = from.LevelTables();
  const auto target = LevelTables();
  for (int i = 0; i < kLevelTableCount; ++i) *target[i] = *source[i];
}

METAR_Station::METAR_Station() { ResetReportFields(); }

METAR_Station::METAR_Station(const Weather_Station& source) {
  m_Latitude = source.m_Latitude;
  m_Longitude = source.m_Longitude;
  m_Name = source.m_Name;
  m_Region = source.m_Region;
  m_Key = source.m_Key;
  m_WmoNumber = source.m_WmoNumber;
  m_UpperAirLatitude = source.m_UpperAirLatitude;
  m_UpperAirLongitude = source.m_UpperAirLongitude;
  m_Elevation = source.m_Elevation;
  m_UpperAirElevation = source.m_UpperAirElevation;
  m_UpperAirValid = source.m_UpperAirValid;
  m_SigLevelsValid = source.m_SigLevelsValid;
  m_SigLevelCount = source.m_SigLevelCount;
  m_ReportValid = source.m_ReportValid;
  m_State = source.m_State;
  ClearWeatherBlock(m_WeatherBlock.bytes);
  CopyLevelTables(source);
  auto copy = [](const std::unique_ptr<SigLevelBuffer>& from) {
    return from ? std::make_unique<SigLevelBuffer>(*from) : nullptr;
  };
  m_SigPressure = copy(source.m_SigPressure);
  m_SigHeight = copy(source.m_SigHeight);
  m_SigTemperature = copy(source.m_SigTemperature);
  m_SigDewPoint = copy(source.m_SigDewPoint);
  ResetReportFields();
}

METAR_Station::~METAR_Station() = default;

void METAR_Station::ResetReportFields() {
  m_WindSpeed = 0;
  m_WindDirection = 0;
  m_WindGust = 0;
  m_WindVariation = 0;
  m_Visibility = 0.0;
  m_Weather.clear();
  m_PrecipIntensity = 0.0;
  m_CloudThickness.fill(0.0);
  m_CloudCover.fill(0.0);
  m_CloudCover[0] = kMissingReal;
  m_CloudBase.fill(0);
  m_CloudType.fill(0);
  m_Temperature = kMissing;
  m_DewPoint = kMissing;
  m_Pressure = kMissing;
  m_SeaLevelTemperature = kMissingReal;
  m_SeaLevelDewPoint = kMissingReal;
  m_Thunderstorm = 0;
}
