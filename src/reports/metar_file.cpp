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

#include <bit>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "base/bytes.h"
#include "base/numbers.h"
#include "base/text.h"
#include "platform/progress.h"
#include "platform/text_file.h"
#include "base/random.h"
#include "reports/metar_decoder.h"
#include "reports/tokenizer.h"
#include "stations/metar_stations.h"

namespace {

constexpr std::size_t kStationKeyLength = 4;

int ReadField(std::string_view text) { return TruncateToInt(ParseCNumber(text)); }

bool IsBlank(std::string_view line) { return line.find_first_not_of(" \t\n") == std::string_view::npos; }

// True when two neighbouring characters of text are both spaces; eight at a time where the
// machine stores words with their first character lowest.
bool HasSpacePair(std::string_view text) {
  std::size_t i = 0;
  bool lastSpace = false;
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 8 <= text.size(); i += 8) {
      std::uint64_t word;
      std::memcpy(&word, text.data() + i, 8);
      const std::uint64_t spaces = BytesEqualTo(word, ' ');
      if ((spaces & (spaces << 8)) || (lastSpace && (spaces & 0x80))) return true;
      lastSpace = (spaces >> 63) != 0;
    }
  }
  for (; i < text.size(); ++i) {
    const bool space = text[i] == ' ';
    if (space && lastSpace) return true;
    lastSpace = space;
  }
  return false;
}

}  // namespace

void AppendCleanLine(std::string& entry, std::string_view line, bool oneReportPerLine) {
  // The line end becomes the closing space; a piece cut off without one keeps all its characters.
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  // Most lines have nothing to change: appended whole.
  if (!oneReportPerLine && !HasSpacePair(line) &&
      (line.empty() || line[0] != ' ' || entry.empty() || entry.back() != ' ')) {
    entry.append(line);
    if (entry.empty() || entry.back() != ' ') entry.push_back(' ');
    return;
  }
  // Written in place into room for the whole line and the closing space, then cut to length.
  const std::size_t start = entry.size();
  bool afterSpace = start > 0 && entry[start - 1] == ' ';
  entry.resize(start + line.size() + 1);
  char* out = entry.data() + start;
  for (char c : line) {
    if (oneReportPerLine) {
      if (c == '~') c = '0';
      if (c == '=') c = ' ';
    }
    const bool space = c == ' ';
    if (space && afterSpace) continue;
    afterSpace = space;
    *out++ = c;
  }
  if (!afterSpace) *out++ = ' ';
  entry.resize(static_cast<std::size_t>(out - entry.data()));
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

bool EntryDateTime(std::string_view entry, WeatherTime& out) {
  // Sixteen characters read as a date line have every field in two digits, the year in four.
  if (entry.size() < 16) return false;
  const std::optional<WeatherTime> time = ParseObservationTime(entry.substr(0, 16));
  if (!time) return false;
  out = *time;
  return true;
}

bool EntryObservedNear(std::string_view entry, WeatherTime near, WeatherTime& out) {
  using namespace std::chrono;
  // The day-time group among the first few groups: after the date line, "METAR" or "SPECI"
  // and the station.
  std::size_t pos = 0;
  for (int group = 0; group < 6; ++group) {
    const std::size_t start = entry.find_first_not_of(' ', pos);
    if (start == std::string_view::npos) break;
    std::size_t end = entry.find(' ', start);
    if (end == std::string_view::npos) end = entry.size();
    const std::string_view token = entry.substr(start, end - start);
    pos = end;
    if (token.size() != 7 || token[6] != 'Z') continue;
    bool digits = true;
    for (std::size_t i = 0; i < 6; ++i) digits = digits && token[i] >= '0' && token[i] <= '9';
    if (!digits) continue;
    const unsigned dd = static_cast<unsigned>(ReadField(token.substr(0, 2)));
    const int hh = ReadField(token.substr(2, 2));
    const int mm = ReadField(token.substr(4, 2));
    if (hh > 23 || mm > 59) break;
    const year_month anchor{year_month_day{floor<days>(near)}.year(), year_month_day{floor<days>(near)}.month()};
    bool found = false;
    for (const months shift : {months{-1}, months{0}, months{1}}) {
      const year_month_day date = (anchor + shift) / day{dd};
      if (!date.ok()) continue;
      const WeatherTime candidate = WeatherTime{sys_days{date}} + hours{hh} + minutes{mm};
      if (!found || abs(candidate - near) < abs(out - near)) out = candidate;
      found = true;
    }
    if (found) return true;
    break;
  }
  return EntryDateTime(entry, out);
}

MetarLineReader::MetarLineReader(METAR_Stations& stations, WeatherTime reference, ProgressSink& progress,
                                 WeatherTime oldest)
    : m_Stations(stations), m_Reference(reference), m_Progress(progress), m_Oldest(oldest) {}

void MetarLineReader::AddLine(std::string_view line) {
  if (m_FirstLine) {
    m_FirstLine = false;
    m_OneReportPerLine = ParseLeadingNumber(Slice(line, 0, 4)) == 0.0;
    // The dated layout seeds from its first line once that is read as a line with content.
    if (m_OneReportPerLine || line.size() >= 2) SeedRandom(MetarFileSeed(line));
  }
  if (m_OneReportPerLine)
    ReportLine(line);
  else
    DatedLine(line);
}

// "%d METAR Stations read and valid.", written into a text kept from one report to the next:
// a file shows it for every report.
void MetarLineReader::ShowValidCount() {
  static constexpr std::string_view kTail = " METAR Stations read and valid.";
  char digits[16];
  char* end = std::to_chars(digits, digits + sizeof digits, m_ValidCount).ptr;
  m_ProgressText.assign(digits, static_cast<std::size_t>(end - digits));
  m_ProgressText += kTail;
  m_Progress.Show(m_ProgressText);
}

// Looks the station up and has its record decode the entry.
void MetarLineReader::EndEntry() {
  // An entry that never named its station (a date line alone) holds no report: decoding it
  // would hand the date to the station named last.
  WeatherTime observed{};
  if (m_EntryLine > 0 && m_KeyTaken && m_Oldest != WeatherTime::min() &&
      EntryObservedNear(m_Entry, m_Oldest, observed) && observed < m_Oldest) {
    ++m_StaleCount;
  } else if (m_EntryLine > 0 && m_KeyTaken) {
    Weather_Station* record = m_Stations.Lookup(m_StationKey);
    if (METAR_Station* station = record ? record->AsReportStation() : nullptr) {
      // A NIL report, or one newer than the reference, leaves the earlier report: not counted.
      if (station->DecodeReport(m_Entry, m_Reference) && station->m_ReportValid == 1) {
        ++m_ValidCount;
        ShowValidCount();
      }
      if (m_Stations.m_ReportTime.empty()) {
        m_Stations.m_ReportDate = station->m_ObsDate;
        m_Stations.m_ReportTime = station->m_ObsTime;
      }
    }
  }
  m_Entry.clear();
  m_EntryLine = 0;
  m_KeyTaken = false;
}

// Dated layout: a date line, the report line (its first four characters name the station)
// and continuation lines, until an empty line. A line of blanks counts as empty.
void MetarLineReader::DatedLine(std::string_view line) {
  if (line.size() < 2 || IsBlank(line)) {
    EndEntry();
    return;
  }
  // A line starting with a number is a date line, or a report line whose identifier begins
  // with a digit when it comes second. Later lines of the entry are continuations and never
  // rename the station (an indented "     RMK AO2" would otherwise name station "    ").
  const bool numbered = ParseCNumber(line.substr(0, 2)) != 0.0;
  if (!m_KeyTaken && (m_EntryLine == 1 || !numbered)) {
    m_StationKey.assign(Slice(line, 0, kStationKeyLength));
    m_KeyTaken = true;
  }
  if (m_Entry.size() < kMetarEntryLimit) AppendCleanLine(m_Entry, line, false);
  ++m_EntryLine;
}

// One-report-per-line layout: lines of up to four characters carry no report.
void MetarLineReader::ReportLine(std::string_view line) {
  if (line.size() <= kStationKeyLength) return;
  m_StationKey.assign(line.substr(0, kStationKeyLength));
  m_KeyTaken = true;
  AppendCleanLine(m_Entry, line, true);
  m_EntryLine = 1;
  EndEntry();
}

bool METAR_Stations::ReadMetarFile(const std::string& path, WeatherTime reference, ProgressSink& progress) {
  return ReadMetarFile(path, reference, WeatherTime::min(), progress);
}

bool METAR_Stations::ReadMetarFile(const std::string& path, WeatherTime reference, WeatherTime oldest,
                                   ProgressSink& progress) {
  TextFileReader file(path);
  if (!file.IsOpen()) {
    m_CycleFileRead = 0;
    return false;
  }
  MetarLineReader reader(*this, reference, progress, oldest);
  std::string_view line;
  std::string scratch;
  while (file.ReadPiece(line, scratch, kMetarLineLimit)) reader.AddLine(line);
  // An entry not closed by an empty line may still be being written: it is not decoded.
  m_CycleFileRead = 1;
  return true;
}
