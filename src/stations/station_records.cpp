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

void Weather_Station::CopyUpperAirData(const Weather_Station& from) {
  CopyLevelTables(from);
  auto copy = [](const std::unique_ptr<SigLevelBuffer>& buffer) {
    return buffer ? std::make_unique<SigLevelBuffer>(*buffer) : nullptr;
  };
  m_SigPressure = copy(from.m_SigPressure);
  m_SigHeight = copy(from.m_SigHeight);
  m_SigTemperature = copy(from.m_SigTemperature);
  m_SigDewPoint = copy(from.m_SigDewPoint);
  m_UpperAirValid = from.m_UpperAirValid;
  m_SigLevelsValid = from.m_SigLevelsValid;
  m_SigLevelCount = from.m_SigLevelCount;
}

// The report's values start as the member initializers give them.
METAR_Station::METAR_Station() = default;

METAR_Station::METAR_Station(const Weather_Station& source) {
  ForEachIdentityField([&](auto field) { this->*field = source.*field; });
  CopyUpperAirData(source);
  ClearWeatherBlock(m_WeatherBlock.bytes);
}

METAR_Station::~METAR_Station() = default;

void METAR_Station::ResetReportFields() {
  // A record as constructed holds the initial values; one is kept to copy them from (never
  // destroyed: a decoding thread may still run at exit).
  static const METAR_Station& initial = *new METAR_Station;
  ForEachReportValue([&](auto field) { this->*field = initial.*field; });
}
