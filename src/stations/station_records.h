#pragma once
// The station records of the catalogue: the base record with identity, position and upper-air
// data, and the report station that adds the decoded surface report and the weather block.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "stations/weather_block_layout.h"
#include "stations/weather_time.h"

inline constexpr int kMissing = -999;
inline constexpr double kMissingReal = -999.0;
inline constexpr int kLevelSlots = 13;
inline constexpr int kCloudSlots = 5;
// Entries of each significant-level buffer: 99 levels and the end marker.
inline constexpr int kSigLevelBufferSize = 100;

using LevelTable = std::array<std::int32_t, kLevelSlots>;
// The six level tables of a record, in the order LevelTables() gives them.
inline constexpr int kLevelTableCount = 6;
inline constexpr int kWindDirectionTable = 4;
using SigLevelBuffer = std::array<std::int32_t, kSigLevelBufferSize>;

// Station states in the update cycle.
inline constexpr std::int32_t kStateIdle = 0;    // not a simulator station
inline constexpr std::int32_t kStateToSend = 1;  // weather to be computed and sent
inline constexpr std::int32_t kStateSent = 2;    // weather sent

class METAR_Station;

class Weather_Station {
 public:
  Weather_Station();
  virtual ~Weather_Station();
  Weather_Station(const Weather_Station&) = delete;
  Weather_Station& operator=(const Weather_Station&) = delete;

  // The record as a surface-report station, or none: what dynamic_cast tells, without its
  // search of the type, for the cycle reader's look-up of every entry.
  virtual METAR_Station* AsReportStation() { return nullptr; }

  // Decoders of TEMP messages (one message text each); they never fail, the flags tell.
  void DecodeTTAA(const std::string& message);
  void DecodeTTBB(const std::string& message);

  // Identity and position.
  double m_Latitude = 0.0;
  double m_Longitude = 0.0;
  std::string m_Name;
  std::string m_Region;
  std::string m_Key;
  std::string m_WmoNumber;
  std::int32_t m_State = kStateIdle;
  double m_UpperAirLatitude = 0.0;
  double m_UpperAirLongitude = 0.0;
  double m_Elevation = 0.0;
  double m_UpperAirElevation = 0.0;

  // Upper-air data: slot i of every table describes the same level.
  LevelTable m_LevelPressure;
  LevelTable m_LevelHeight;
  LevelTable m_LevelTemperature;
  LevelTable m_LevelDewPoint;
  LevelTable m_LevelWindDirection;
  LevelTable m_LevelWindSpeed;
  // Significant levels: none until a TTBB message is decoded.
  std::unique_ptr<SigLevelBuffer> m_SigPressure;
  std::unique_ptr<SigLevelBuffer> m_SigHeight;
  std::unique_ptr<SigLevelBuffer> m_SigTemperature;
  std::unique_ptr<SigLevelBuffer> m_SigDewPoint;
  std::int32_t m_UpperAirValid = 0;
  std::int32_t m_SigLevelsValid = 0;
  std::int32_t m_SigLevelCount = 0;
  std::int32_t m_ReportValid = 0;

  // The six level tables, for code that treats them alike: pressure, height, temperature, dew
  // point, wind direction (kWindDirectionTable), wind speed.
  std::array<LevelTable*, kLevelTableCount> LevelTables();
  std::array<const LevelTable*, kLevelTableCount> LevelTables() const;
  // Sets the six level tables to "none".
  void ResetLevelTables();
  // Copies the six level tables of another record.
  void CopyLevelTables(const Weather_Station& from);
  // Copies the upper-air data of another record: the level tables, copies of its
  // significant-level buffers, m_UpperAirValid, m_SigLevelsValid and m_SigLevelCount.
  void CopyUpperAirData(const Weather_Station& from);
};

class METAR_Station : public Weather_Station {
 public:
  METAR_Station();
  // Takes over identity, position, state, flags, level tables and copies of the
  // significant-level buffers of a base record (which the caller then destroys).
  explicit METAR_Station(const Weather_Station& source);
  ~METAR_Station() override;

  METAR_Station* AsReportStation() override { return this; }

  // Decodes one surface report against the reference time. False when the record keeps the
  // report it held: a NIL report, or one observed after the reference.
  bool DecodeReport(const std::string& report, WeatherTime reference);

  // Sets the report's values to their initial values (not the text, date, time or validity
  // flag): those a record starts with.
  void ResetReportFields();

  std::string m_ReportText;
  std::string m_ObsDate;
  std::string m_ObsTime;
  std::int32_t m_WindSpeed = 0;
  std::int32_t m_WindDirection = 0;
  std::int32_t m_WindGust = 0;
  std::int32_t m_WindVariation = 0;
  double m_Visibility = 0.0;
  // The report has no visibility group (an automatic station without the sensor): the 0 above
  // is none reported, not fog.
  bool m_VisibilityMissing = false;
  std::string m_Weather;
  double m_PrecipIntensity = 0.0;
  std::array<double, kCloudSlots> m_CloudThickness{};
  // No cloud group at all: the first cover is missing, not clear.
  std::array<double, kCloudSlots> m_CloudCover{kMissingReal};
  std::array<std::int32_t, kCloudSlots> m_CloudBase{};
  std::array<std::int32_t, kCloudSlots> m_CloudType{};
  std::int32_t m_Temperature = kMissing;
  std::int32_t m_DewPoint = kMissing;
  double m_SeaLevelTemperature = kMissingReal;
  double m_SeaLevelDewPoint = kMissingReal;
  std::int32_t m_Pressure = kMissing;
  std::int32_t m_Thunderstorm = 0;

  // The weather block for the simulator and its staging records (last member).
  SimWeatherBlock m_WeatherBlock;
};

// The field lists of the records, each written once: f(&Record::m_Field) for every field, in
// record order. The copies, the take-over and the reset go through them, so a new field is
// copied everywhere once it is listed here.

// Identity, position, state and the report flag: a base record's fields besides its upper-air
// data (Weather_Station::CopyUpperAirData).
template <class F>
void ForEachIdentityField(F&& f) {
  f(&Weather_Station::m_Latitude);
  f(&Weather_Station::m_Longitude);
  f(&Weather_Station::m_Name);
  f(&Weather_Station::m_Region);
  f(&Weather_Station::m_Key);
  f(&Weather_Station::m_WmoNumber);
  f(&Weather_Station::m_State);
  f(&Weather_Station::m_UpperAirLatitude);
  f(&Weather_Station::m_UpperAirLongitude);
  f(&Weather_Station::m_Elevation);
  f(&Weather_Station::m_UpperAirElevation);
  f(&Weather_Station::m_ReportValid);
}

// The values decoded from a surface report.
template <class F>
void ForEachReportValue(F&& f) {
  f(&METAR_Station::m_WindSpeed);
  f(&METAR_Station::m_WindDirection);
  f(&METAR_Station::m_WindGust);
  f(&METAR_Station::m_WindVariation);
  f(&METAR_Station::m_Visibility);
  f(&METAR_Station::m_VisibilityMissing);
  f(&METAR_Station::m_Weather);
  f(&METAR_Station::m_PrecipIntensity);
  f(&METAR_Station::m_CloudThickness);
  f(&METAR_Station::m_CloudCover);
  f(&METAR_Station::m_CloudBase);
  f(&METAR_Station::m_CloudType);
  f(&METAR_Station::m_Temperature);
  f(&METAR_Station::m_DewPoint);
  f(&METAR_Station::m_SeaLevelTemperature);
  f(&METAR_Station::m_SeaLevelDewPoint);
  f(&METAR_Station::m_Pressure);
  f(&METAR_Station::m_Thunderstorm);
}

// The whole surface report: its text, date and time, then its values.
template <class F>
void ForEachReportField(F&& f) {
  f(&METAR_Station::m_ReportText);
  f(&METAR_Station::m_ObsDate);
  f(&METAR_Station::m_ObsTime);
  ForEachReportValue(f);
}
