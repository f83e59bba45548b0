#pragma once
// Pieces of the METAR cycle file reader (METAR_Stations::ReadMetarFile) that tests use alone.
#include <cstdint>
#include <string>
#include <string_view>

#include "stations/weather_time.h"

class METAR_Stations;
class ProgressSink;

// Longest piece of a line read at once; a longer physical line comes as several lines.
inline constexpr std::size_t kMetarLineLimit = 255;
// Longest entry text kept; the lines of an entry beyond it are dropped, so that a file without
// empty lines cannot grow one entry without bound. Real reports are a few hundred characters.
inline constexpr std::size_t kMetarEntryLimit = 8192;

// Appends one line as read (line end included when it has one) to an entry's text: runs of
// spaces become one space, also across the join with the text before, and the line ends in
// exactly one space. With oneReportPerLine "~" stands for 0 and "=" (end of report) for a space.
void AppendCleanLine(std::string& entry, std::string_view line, bool oneReportPerLine);

// The time of an entry that starts with a date line "2023/04/28 23:55"; false otherwise.
bool EntryDateTime(std::string_view entry, WeatherTime& out);
// When an entry was observed: its report's day-time group ("KNQX 282353Z") taken in the month
// that puts it nearest to near, else its date line. NOAA's cycle files put some reports under
// the wrong day ("2023/04/27 23:55" over "KNQX 282353Z" in the 00Z file of the 29th), so the
// report's own group counts first. False when the entry has neither.
bool EntryObservedNear(std::string_view entry, WeatherTime near, WeatherTime& out);

// The weather generator's seed from a file's first line "YYYY/MM/DD HH:MM": seconds since
// 1980 counted in 365.25-day years and 30-day months, modulo 2^32.
std::uint32_t MetarFileSeed(std::string_view firstLine);

// The line-fed core of ReadMetarFile: takes the file's lines in order, each as
// TextFileReader::ReadPiece gives it (at most kMetarLineLimit characters, its line end a
// single '\n' when it has one). The first line tells the layout and seeds the generator.
// Every report that becomes valid shows "%d METAR Stations read and valid." on the sink.
// oldest: an entry observed earlier (EntryObservedNear) is not decoded: cycle files carry
// reports of the day before.
class MetarLineReader {
 public:
  MetarLineReader(METAR_Stations& stations, WeatherTime reference, ProgressSink& progress,
                  WeatherTime oldest = WeatherTime::min());
  MetarLineReader(const MetarLineReader&) = delete;
  MetarLineReader& operator=(const MetarLineReader&) = delete;

  void AddLine(std::string_view line);
  // Reports counted as read and valid so far.
  int ValidCount() const { return m_ValidCount; }
  // Entries left out for being older than oldest.
  int StaleCount() const { return m_StaleCount; }

 private:
  void EndEntry();
  void ShowValidCount();
  void DatedLine(std::string_view line);
  void ReportLine(std::string_view line);

  METAR_Stations& m_Stations;
  WeatherTime m_Reference;
  ProgressSink& m_Progress;
  WeatherTime m_Oldest;
  int m_StaleCount = 0;
  bool m_FirstLine = true;
  bool m_OneReportPerLine = false;
  int m_ValidCount = 0;
  std::string m_Entry;
  std::string m_StationKey;  // kept across entries, as the last identifier seen
  int m_EntryLine = 0;       // lines of the current entry so far
  bool m_KeyTaken = false;   // the current entry has named its station
  std::string m_ProgressText;
};
