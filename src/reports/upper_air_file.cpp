#include "reports/upper_air_file.h"

#include <set>
#include <string>
#include <string_view>

#include "platform/controls.h"
#include "platform/text_file.h"
#include "stations/metar_stations.h"

std::atomic<int> g_WindsAloftCount{0};
std::atomic<int> g_TemperatureAloftCount{0};

namespace {

constexpr std::size_t kPieceChars = 255;
constexpr std::size_t kStationPos = 9;
constexpr std::size_t kStationChars = 5;
constexpr int kLastStandardSlot = 11;

// One line without its spaces and line ends: the decoders read groups at fixed positions.
void CleanLine(const std::string& piece, std::string& out) {
  out.clear();
  for (char c : piece)
    if (c != ' ' && c != '\n' && c != '\r') out.push_back(c);
}

// Collects the messages of one section ("TTAA" or "TTBB") from the cleaned lines. A message
// starts at the section name and ends on the line holding "="; one that ends on its first line,
// or holds "NIL" there, is not used.
class MessageCollector {
 public:
  explicit MessageCollector(std::string_view section) : m_Section(section) {}

  // Takes the next line; true when it completed a message (then in Text()).
  bool Feed(const std::string& line) {
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

  const std::string& Text() const { return m_Text; }

 private:
  std::string_view m_Section;
  std::string m_Text;
  bool m_Collecting = false;
};

// The station of a message: its number as a key, or the key of the station with that number.
Weather_Station* FindMessageStation(const METAR_Stations& stations, const std::string& message) {
  if (message.size() < kStationPos + kStationChars) return nullptr;
  const std::string number = message.substr(kStationPos, kStationChars);
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

bool METAR_Stations::ReadUpperAirFile(const std::string& path) {
  TextFileReader file(path);
  if (!file.IsOpen()) {
    m_CycleFileRead = 0;
    return false;
  }
  g_WindsAloftCount = 0;
  g_TemperatureAloftCount = 0;
  MessageCollector ttaa("TTAA");
  MessageCollector ttbb("TTBB");
  // A station sent twice (a corrected bulletin) counts once.
  std::set<const Weather_Station*> temperatureStations;

  std::string piece;
  std::string line;
  while (file.ReadPiece(piece, kPieceChars)) {
    CleanLine(piece, line);
    if (ttaa.Feed(line)) {
      // The first usable TTAA of a station wins.
      Weather_Station* station = FindMessageStation(*this, ttaa.Text());
      if (station && station->m_UpperAirValid == 0) {
        station->DecodeTTAA(ttaa.Text());
        if (station->m_UpperAirValid == 1) {
          m_UpperAirStations.push_back(station);
          SetStatusTextF("%d Winds aloft station read and valid.", ++g_WindsAloftCount);
        }
        FillUpperAirGaps(*station);
      }
    }
    if (ttbb.Feed(line)) {
      // Significant-level heights build on the standard levels; the last TTBB wins.
      Weather_Station* station = FindMessageStation(*this, ttbb.Text());
      if (station && station->m_UpperAirValid == 1) {
        station->DecodeTTBB(ttbb.Text());
        if (station->m_SigLevelsValid == 1) {
          if (temperatureStations.insert(station).second) ++g_TemperatureAloftCount;
          SetStatusTextF("%d Temperature aloft station read and valid.", g_TemperatureAloftCount);
        }
      }
    }
  }
  return true;
}
