// The METAR cycle file reader. Two layouts, told apart by the first line:
//
//   dated (NWS cycle files)            one report per line (bulletins, lists)
//   2023/04/29 00:55                   KLAX 291150Z 25005KT 10SM CLR 18/10 A2992=
//   KLAX 290055Z 25005KT 10SM ...      KSFO 291156Z 28012KT 10SM FEW008 14/11 A2995=
//        RMK AO2 (continuation)
//   <empty line ends the entry>
//
// Every entry is looked up by its station identifier and decoded by its record.
#include "reports/metar_file.h"

#include <cstdlib>
#include <optional>

#include "platform/controls.h"
#include "platform/text_file.h"
#include "reports/random.h"
#include "reports/tokenizer.h"
#include "stations/metar_stations.h"

namespace {

constexpr std::size_t kStationKeyLength = 4;

std::string_view Slice(std::string_view text, std::size_t pos, std::size_t count) {
  if (pos >= text.size()) return {};
  return text.substr(pos, count);
}

// strtod of a short field; anything that is not a number reads as 0.
double ReadReal(std::string_view text) {
  const std::string copy(text);
  return std::strtod(copy.c_str(), nullptr);
}

int ReadField(std::string_view text) { return TruncateToInt(ReadReal(text)); }

bool IsBlank(std::string_view line) { return line.find_first_not_of(" \t\n") == std::string_view::npos; }

// Where the reader stands in the file.
struct CycleReader {
  CycleReader(METAR_Stations& catalogue, WeatherTime referenceTime) : stations(catalogue), reference(referenceTime) {}

  METAR_Stations& stations;
  WeatherTime reference;
  bool oneReportPerLine = false;
  int validCount = 0;
  std::string entry;
  std::string stationKey;  // kept across entries, as the last identifier seen
  int entryLine = 0;       // lines of the current entry so far
  bool keyTaken = false;   // the current entry has named its station

  // Looks the station up and has its record decode the entry.
  void EndEntry() {
    // An entry that never named its station (a date line alone) holds no report: decoding it
    // would hand the date to the station named last.
    if (entryLine > 0 && keyTaken) {
      if (auto* station = dynamic_cast<METAR_Station*>(stations.Lookup(stationKey))) {
        // A NIL report, or one newer than the reference, leaves the earlier report: not counted.
        if (station->DecodeReport(entry, reference) && station->m_ReportValid == 1) {
          ++validCount;
          SetStatusTextF("%d METAR Stations read and valid.", validCount);
        }
        if (stations.m_ReportTime.empty()) {
          stations.m_ReportDate = station->m_ObsDate;
          stations.m_ReportTime = station->m_ObsTime;
        }
      }
    }
    entry.clear();
    entryLine = 0;
    keyTaken = false;
  }

  // Dated layout: a date line, the report line (its first four characters name the station)
  // and continuation lines, until an empty line. A line of blanks counts as empty.
  void DatedLine(std::string_view line) {
    if (line.size() < 2 || IsBlank(line)) {
      EndEntry();
      return;
    }
    // A line starting with a number is a date line, or a report line whose identifier begins
    // with a digit when it comes second. Later lines of the entry are continuations and never
    // rename the station (an indented "     RMK AO2" would otherwise name station "    ").
    const bool numbered = ReadReal(line.substr(0, 2)) != 0.0;
    if (!keyTaken && (entryLine == 1 || !numbered)) {
      stationKey = std::string(Slice(line, 0, kStationKeyLength));
      keyTaken = true;
    }
    if (entry.size() < kMetarEntryLimit) AppendCleanLine(entry, line, false);
    ++entryLine;
  }

  // One-report-per-line layout: lines of up to four characters carry no report.
  void ReportLine(std::string_view line) {
    if (line.size() <= kStationKeyLength) return;
    stationKey = std::string(line.substr(0, kStationKeyLength));
    keyTaken = true;
    AppendCleanLine(entry, line, true);
    entryLine = 1;
    EndEntry();
  }
};

}  // namespace

void AppendCleanLine(std::string& entry, std::string_view line, bool oneReportPerLine) {
  // The line end becomes the closing space; a piece cut off without one keeps all its characters.
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  for (char c : line) {
    if (oneReportPerLine) {
      if (c == '~') c = '0';
      if (c == '=') c = ' ';
    }
    if (c == ' ' && !entry.empty() && entry.back() == ' ') continue;
    entry.push_back(c);
  }
  if (entry.empty() || entry.back() != ' ') entry.push_back(' ');
}

std::uint32_t MetarFileSeed(std::string_view firstLine) {
  const int year = ReadField(Slice(firstLine, 0, 4));
  const int month = ReadField(Slice(firstLine, 5, 2));
  const int day = ReadField(Slice(firstLine, 8, 2));
  const int hour = ReadField(Slice(firstLine, 11, 2));
  const int minute = ReadField(Slice(firstLine, 14, 2));
  const std::int64_t years = static_cast<std::int64_t>((static_cast<double>(year) - 1980.0) * 31557600.0);
  const std::int64_t seconds = years + std::int64_t{month} * 2592000 + std::int64_t{day} * 86400 +
                               std::int64_t{hour} * 3600 + std::int64_t{minute} * 60;
  return static_cast<std::uint32_t>(seconds);  // modulo 2^32
}

bool METAR_Stations::ReadMetarFile(const std::string& path, WeatherTime reference) {
  TextFileReader file(path);
  if (!file.IsOpen()) {
    m_CycleFileRead = 0;
    return false;
  }
  CycleReader reader{*this, reference};
  std::string line;
  bool first = true;
  while (file.ReadPiece(line, kMetarLineLimit)) {
    if (first) {
      first = false;
      reader.oneReportPerLine = ParseLeadingNumber(Slice(line, 0, 4)) == 0.0;
      // The dated layout seeds from its first line once that is read as a line with content.
      if (reader.oneReportPerLine || line.size() >= 2) SeedRandom(MetarFileSeed(line));
    }
    if (reader.oneReportPerLine)
      reader.ReportLine(line);
    else
      reader.DatedLine(line);
  }
  // An entry not closed by an empty line may still be being written: it is not decoded.
  m_CycleFileRead = 1;
  return true;
}
