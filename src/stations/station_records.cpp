#include "stations/station_records.h"

Weather_Station::Weather_Station() { ResetLevelTables(); }

Weather_Station::~Weather_Station() = default;

void Weather_Station::ResetLevelTables() {
  for (LevelTable* table : {&m_LevelPressure, &m_LevelHeight, &m_LevelTemperature, &m_LevelDewPoint,
                            &m_LevelWindDirection, &m_LevelWindSpeed})
    table->fill(kMissing);
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
  m_LevelPressure = source.m_LevelPressure;
  m_LevelHeight = source.m_LevelHeight;
  m_LevelTemperature = source.m_LevelTemperature;
  m_LevelDewPoint = source.m_LevelDewPoint;
  m_LevelWindDirection = source.m_LevelWindDirection;
  m_LevelWindSpeed = source.m_LevelWindSpeed;
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
