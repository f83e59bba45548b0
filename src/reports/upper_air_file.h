#pragma once
// The upper-air file reader (METAR_Stations::ReadUpperAirFile) and its gap filling.
#include <cstddef>
#include <set>
#include <string>
#include <string_view>

#include "stations/station_records.h"

class METAR_Stations;
class ProgressSink;

// A message still without its end sign after this many characters is not a TEMP message (the
// longest real ones, a TTBB with 99 levels and its wind section, stay well below): it is dropped.
inline constexpr std::size_t kMaxTempMessageChars = 4096;

// Stations whose TTAA (winds aloft) and TTBB (temperature aloft) became valid in one reading.
struct UpperAirCounts {
  int windsAloft = 0;
  int temperatureAloft = 0;
};

// Fills the standard levels 1 to 11 whose temperature or dew point reads exactly 0 (how a
// missing group decodes): from the mean of the levels below and above, or, with nothing above,
// from the level below minus 6 degrees per full 1000 m between the two. The surface keeps
// its value, and a level with nothing known below it stays as it is.
void FillUpperAirGaps(Weather_Station& station);

// Collects the messages of one section ("TTAA" or "TTBB") from the cleaned lines. A message
// starts at the section name and ends on the line holding "="; one that ends on its first line,
// or holds "NIL" there, is not used.
class TempMessageCollector {
 public:
  explicit TempMessageCollector(std::string_view section) : m_Section(section) {}

  // Takes the next line; true when it completed a message (then in Text()).
  bool Feed(const std::string& line);
  const std::string& Text() const { return m_Text; }

 private:
  std::string_view m_Section;
  std::string m_Text;
  bool m_Collecting = false;
};

// The line-fed core of ReadUpperAirFile: takes the file's lines in order, each as
// TextFileReader::ReadPiece gives it (at most 255 characters). It counts from 0 (Counts());
// every station whose TTAA or TTBB becomes valid shows "%d Winds aloft station read and
// valid." or "%d Temperature aloft station read and valid." on the sink.
class UpperAirLineReader {
 public:
  UpperAirLineReader(METAR_Stations& stations, ProgressSink& progress);
  UpperAirLineReader(const UpperAirLineReader&) = delete;
  UpperAirLineReader& operator=(const UpperAirLineReader&) = delete;

  void AddLine(std::string_view piece);
  const UpperAirCounts& Counts() const { return m_Counts; }

 private:
  METAR_Stations& m_Stations;
  ProgressSink& m_Progress;
  UpperAirCounts m_Counts;
  TempMessageCollector m_Ttaa{"TTAA"};
  TempMessageCollector m_Ttbb{"TTBB"};
  // A station sent twice (a corrected bulletin) counts once.
  std::set<const Weather_Station*> m_TemperatureStations;
  std::string m_Line;
};
