#include "stations/station_list.h"

#include <array>
#include <charconv>
#include <cstdlib>
#include <string>
#include <system_error>

#include "base/numbers.h"
#include "platform/progress.h"
#include "platform/text_file.h"
#include "stations/metar_stations.h"

std::atomic<int> g_MetarStationCount{0};
std::atomic<int> g_WeatherStationCount{0};

namespace {

// Fields 1 to 13; the ones past the end of the line stay empty. The last one read keeps
// everything up to the next ';' (the line break included, as the list is read by lines).
constexpr std::size_t kFieldsRead = 13;
using Fields = std::array<std::string_view, kFieldsRead>;

Fields SplitFields(std::string_view line) {
  Fields fields{};
  std::size_t start = 0;
  for (std::size_t i = 0; i < kFieldsRead && start <= line.size(); ++i) {
    std::size_t end = line.find(';', start);
    if (end == std::string_view::npos) end = line.size();
    fields[i] = line.substr(start, end - start);
    start = end + 1;
  }
  return fields;
}

constexpr std::string_view kCoordinateSeparators = "-NSEW";

}  // namespace

double ParseCoordinate(std::string_view field, char positiveLetter) {
  const double sign = field.find(positiveLetter) != std::string_view::npos ? 1.0 : -1.0;
  static constexpr double kPartFactors[] = {1.0, 0.016666666666666666, 0.0002777777777777778};
  double result = 0.0;
  std::size_t part = 0;
  std::size_t pos = 0;
  while (part < std::size(kPartFactors)) {
    pos = field.find_first_not_of(kCoordinateSeparators, pos);
    if (pos == std::string_view::npos) break;
    std::size_t end = field.find_first_of(kCoordinateSeparators, pos);
    if (end == std::string_view::npos) end = field.size();
    const double value = ParseLeadingNumber(field.substr(pos, end - pos));
    if (part == 0)
      result = value * sign;
    else
      result += value * sign * kPartFactors[part];
    ++part;
    pos = end;
  }
  return result;
}

std::unique_ptr<Weather_Station> ParseStationLine(std::string_view line) {
  const Fields f = SplitFields(line);
  auto station = std::make_unique<Weather_Station>();
  station->m_WmoNumber.assign(f[0]);
  station->m_WmoNumber.append(f[1]);
  station->m_Key = f[2] == "----" ? station->m_WmoNumber : std::string(f[2]);
  station->m_Name.assign(f[3]);
  station->m_Region.assign(f[4]);
  station->m_Latitude = ParseCoordinate(f[7], 'N');
  station->m_Longitude = ParseCoordinate(f[8], 'E');
  if (!f[9].empty()) station->m_UpperAirLatitude = ParseCoordinate(f[9], 'N');
  if (!f[10].empty()) station->m_UpperAirLongitude = ParseCoordinate(f[10], 'E');
  // Without an elevation the station cannot carry surface weather: keyed by its WMO number.
  if (f[11].empty()) station->m_Key = station->m_WmoNumber;
  station->m_Elevation = ParseFieldNumber(f[11]);
  if (!f[12].empty()) station->m_UpperAirElevation = ParseFieldNumber(f[12]);
  station->m_State = kStateIdle;
  return station;
}

bool IsMetarKey(std::string_view key) { return ParseFieldNumber(key) == 0.0; }

void METAR_Stations::AddStationLine(std::string_view line, ProgressSink& progress) {
  std::unique_ptr<Weather_Station> station = ParseStationLine(line);
  if (IsMetarKey(station->m_Key)) {
    ++g_MetarStationCount;
    station = std::make_unique<METAR_Station>(*station);
  } else {
    ++g_WeatherStationCount;
  }
  progress.ShowF("%d METAR Stations and %d weather Stations read.", g_MetarStationCount.load(),
                 g_WeatherStationCount.load());
  const std::string key = station->m_Key;
  const std::string wmo = station->m_WmoNumber;
  SetAt(key, std::move(station));
  SetWmoKey(wmo, key);
}

void METAR_Stations::ReadStationList(const std::string& simFolder, ProgressSink& progress) {
  g_MetarStationCount = 0;
  g_WeatherStationCount = 0;
  TextFileReader file(simFolder + kStationListPath);
  if (!file.IsOpen()) return;
  std::string line;
  while (file.ReadPiece(line, kStationLinePiece)) AddStationLine(line, progress);
}
