#include "reports/upper_air_file.h"

#include <set>
#include <string>
#include <string_view>

#include "platform/progress.h"
#include "platform/text_file.h"
#include "reports/temp_decoder.h"
#include "stations/metar_stations.h"

namespace {

constexpr std::size_t kPieceChars = 255;

// One line without its spaces and line ends: the decoders read groups at fixed positions.
void CleanLine(std::string_view piece, std::string& out) {
  out.clear();
  for (char c : piece)
    if (c != ' ' && c != '\n' && c != '\r') out.push_back(c);
}

// The station of a message: its number as a key, or the key of the station with that number.
Weather_Station* FindMessageStation(const METAR_Stations& stations, const std::string& message) {
  if (message.size() < kTempStationPos + kTempStationChars) return nullptr;
  const std::string number = message.substr(kTempStationPos, kTempStationChars);
  if (Weather_Station* station = stations.Lookup(number)) return station;
  if (const std::string* key = stations.LookupWmoKey(number)) return stations.Lookup(*key);
  return nullptr;
}

// With nothing above, the level below cools by 6 degrees per full 1000 m up to this level.
void FillColumn(LevelTable& values, const LevelTable& heights) {
  for (int k = 1; k <= kLastStandardSlot; ++k) {
    if (values[k] != 0 || values[k - 1] == kMissing) continue;
    if (values[k + 1] != kMissing) {
      values[k] = (values[k - 1] + values[k + 1]) / 2;
    } else if (heights[k] != kMissing && heights[k - 1] != kMissing) {
      values[k] = values[k - 1] - 6 * ((heights[k] - heights[k - 1]) / 1000);
    }
  }
}

}  // namespace

void FillUpperAirGaps(Weather_Station& station) {
  FillColumn(station.m_LevelTemperature, station.m_LevelHeight);
  FillColumn(station.m_LevelDewPoint, station.m_LevelHeight);
}

bool TempMessageCollector::Feed(const std::string& line) {
  if (!m_Collecting) {
    const std::size_t start = line.find(m_Section);
    if (start == std::string::npos) return false;
    m_Text.clear();
    if (line.find('=') != std::string::npos || line.find("NIL") != std::string::npos) return false;
    m_Text.assign(line, start);
    m_Collecting = true;
    return false;
  }
  if (m_Text.size() + line.size() > kMaxTempMessageChars) {
    m_Text.clear();
    m_Collecting = false;
    return false;
  }
  m_Text += line;
  if (line.find('=') == std::string::npos) return false;
  m_Collecting = false;
  return true;
}

UpperAirLineReader::UpperAirLineReader(METAR_Stations& stations, ProgressSink& progress)
    : m_Stations(stations), m_Progress(progress) {}

void UpperAirLineReader::AddLine(std::string_view piece) {
  CleanLine(piece, m_Line);
  if (m_Ttaa.Feed(m_Line)) {
    // The first usable TTAA of a station wins.
    Weather_Station* station = FindMessageStation(m_Stations, m_Ttaa.Text());
    if (station && station->m_UpperAirValid == 0) {
      station->DecodeTTAA(m_Ttaa.Text());
      if (station->m_UpperAirValid == 1) {
        m_Stations.m_UpperAirStations.push_back(station);
        m_Progress.ShowF("%d Winds aloft station read and valid.", ++m_Counts.windsAloft);
      }
      FillUpperAirGaps(*station);
    }
  }
  if (m_Ttbb.Feed(m_Line)) {
    // Significant-level heights build on the standard levels; the last TTBB wins.
    Weather_Station* station = FindMessageStation(m_Stations, m_Ttbb.Text());
    if (station && station->m_UpperAirValid == 1) {
      station->DecodeTTBB(m_Ttbb.Text());
      if (station->m_SigLevelsValid == 1) {
        if (m_TemperatureStations.insert(station).second) ++m_Counts.temperatureAloft;
        m_Progress.ShowF("%d Temperature aloft station read and valid.", m_Counts.temperatureAloft);
      }
    }
  }
}

bool METAR_Stations::ReadUpperAirFile(const std::string& path, ProgressSink& progress, UpperAirCounts* counts) {
  TextFileReader file(path);
  if (!file.IsOpen()) {
    m_CycleFileRead = 0;
    return false;
  }
  UpperAirLineReader reader(*this, progress);
  std::string piece;
  while (file.ReadPiece(piece, kPieceChars)) reader.AddLine(piece);
  if (counts) *counts = reader.Counts();
  return true;
}
