// The surface-report decoder: one METAR into the surface fields of its station record.
//
// The report is split into the token table once; each step then asks for the group it wants
// with FindToken, in a fixed order, because later steps rely on what earlier ones rewrote
// (the visibility step empties a fraction so the temperature search does not take it).
// Several steps turn coded categories into numbers by drawing from the weather generator, so
// the order of the draws is part of the result.
#include "reports/metar_decoder.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/numbers.h"
#include "base/text.h"
#include "base/random.h"
#include "reports/tokenizer.h"
#include "stations/station_records.h"

namespace {

using namespace std::chrono;

// Groups before the first searched one: file date, file time and station for a dated report;
// station and day-time for a report as it comes off the wire.
constexpr int kDatedHeaderTokens = 3;
constexpr int kUndatedHeaderTokens = 2;

constexpr int kWindSpeedLimit = 400;       // knots; faster is a garbled group
constexpr double kSeaLevelLapse = 0.0065;  // °C per metre of station elevation
constexpr double kMetresPerHundredFeet = 30.48;

std::string_view Last(std::string_view text, std::size_t count) {
  return text.size() <= count ? text : text.substr(text.size() - count);
}

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// string_view::find_first_of without its library search of the set for every character: the
// groups and sets here are a few characters long.
std::size_t FindFirstOf(std::string_view text, std::string_view set) {
  for (std::size_t i = 0; i < text.size(); ++i)
    for (char c : set)
      if (text[i] == c) return i;
  return std::string_view::npos;
}

// One weather draw between 0 and 1.
double Draw() { return NextRandom() / static_cast<double>(kRandomMax); }

// Character-code comparison on bytes as unsigned, so high bytes sort after the digits.
bool AboveNine(char c) { return static_cast<unsigned char>(c) > static_cast<unsigned char>('9'); }

bool StartsDated(std::string_view report) {
  const std::size_t first = report.find_first_not_of(' ');
  return first != std::string_view::npos && report[first] >= '1' && report[first] <= '9';
}

int DaysInMonth(int year, unsigned month) {
  return static_cast<int>(static_cast<unsigned>(
      year_month_day_last(std::chrono::year(year), month_day_last(std::chrono::month(month))).day()));
}

// Reads one to maxDigits decimal digits at pos; none when there is no digit there.
std::optional<int> ReadDigits(std::string_view text, std::size_t& pos, std::size_t maxDigits) {
  int value = 0;
  std::size_t digits = 0;
  while (pos < text.size() && digits < maxDigits && text[pos] >= '0' && text[pos] <= '9') {
    value = value * 10 + (text[pos] - '0');
    ++pos;
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  return value;
}

bool Expect(std::string_view text, std::size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

// Date-time from its fields; none when a field is out of range.
std::optional<WeatherTime> MakeTime(int year, int month, int day, int hour, int minute) {
  if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59) return std::nullopt;
  if (day > DaysInMonth(year, static_cast<unsigned>(month))) return std::nullopt;
  const sys_days date = std::chrono::year(year) / std::chrono::month(static_cast<unsigned>(month)) /
                        std::chrono::day(static_cast<unsigned>(day));
  return WeatherTime(date) + hours(hour) + minutes(minute);
}

// ParseObservationTime of date, a space and time, read where they are: "2023/04/29" "11:53".
// Neither holds a space (both come from single groups), so the space is where date ends.
std::optional<WeatherTime> ObservedAt(std::string_view date, std::string_view time) {
  std::size_t pos = 0;
  const std::optional<int> year = ReadDigits(date, pos, 4);
  if (!year || pos != 4 || !Expect(date, pos, '/')) return std::nullopt;
  const std::optional<int> month = ReadDigits(date, pos, 2);
  if (!month || !Expect(date, pos, '/')) return std::nullopt;
  const std::optional<int> day = ReadDigits(date, pos, 2);
  if (!day || pos != date.size()) return std::nullopt;
  pos = 0;
  const std::optional<int> hour = ReadDigits(time, pos, 2);
  if (!hour || !Expect(time, pos, ':')) return std::nullopt;
  const std::optional<int> minute = ReadDigits(time, pos, 2);
  if (!minute || pos != time.size()) return std::nullopt;
  return MakeTime(*year, *month, *day, *hour, *minute);
}

// ---- steps of the decoding --------------------------------------------------------------------

// Dated: "2023/04/29 00:00 KLAX ..." keeps the file's date and time. Undated: "KLAX 091150Z ..."
// takes year and month from the reference (year 3000, the no-limit reference, gives 2999 so the
// report is older) and day, hour and minute from the group. Minutes above 59 become ":00".
void DecodeObservationTime(METAR_Station& s, const TokenTable& tokens, bool dated, WeatherTime reference) {
  const std::string_view first = tokens.Count() > 0 ? tokens[0] : std::string_view();
  const std::string_view second = tokens.Count() > 1 ? tokens[1] : std::string_view();
  // Written into the record's own strings: no text is built on the way.
  if (dated) {
    s.m_ObsDate.assign(first);
    s.m_ObsTime.assign(second);
  } else {
    const year_month_day ymd{floor<days>(reference)};
    int year = static_cast<int>(ymd.year());
    if (year == 3000) year = 2999;
    char text[32];
    char* end = std::to_chars(text, text + 12, year).ptr;
    *end++ = '/';
    end = std::to_chars(end, end + 4, static_cast<unsigned>(ymd.month())).ptr;
    *end++ = '/';
    s.m_ObsDate.assign(text, static_cast<std::size_t>(end - text));
    s.m_ObsDate.append(Slice(second, 0, 2));
    s.m_ObsTime.assign(Slice(second, 2, 2));
    s.m_ObsTime += ':';
    s.m_ObsTime.append(Slice(second, 4, 2));
  }
  if (ParseFiniteCNumber(Last(s.m_ObsTime, 2)) > 59) {
    s.m_ObsTime.resize(std::min<std::size_t>(s.m_ObsTime.size(), 2));
    s.m_ObsTime += ":00";
  }
}

// True when the report was observed a whole minute or more after the reference.
bool IsNewerThan(const METAR_Station& s, WeatherTime reference) {
  const std::optional<WeatherTime> observed = ObservedAt(s.m_ObsDate, s.m_ObsTime);
  if (!observed) return false;  // unreadable dates count as "now"
  return WholeMinutesAfter(*observed, reference) > 0;
}

// 25005KT -> 250° 5 kt; 25015G25KT gust 25; VRB03KT -> 180° varying by 179°; 05005MPS -> 50° 10 kt.
// A direction needs the unit or gust letter at index 5 or later (2505KT has none: speed 2505).
void DecodeWind(METAR_Station& s, TokenTable& tokens) {
  const std::string_view* found = tokens.FindTokenToRead(TokenKey("KT"));
  if (!found) found = tokens.FindTokenToRead(TokenKey("MPS"));
  if (!found) found = tokens.FindTokenToRead(TokenKey("VRB"));
  if (!found || found->size() <= 4) return;
  const std::string_view w = *found;
  std::size_t speedStart = 3;
  if (w.substr(0, 3) == "VRB") {
    s.m_WindDirection = 180;
    s.m_WindVariation = 179;
  } else {
    const std::size_t unit = FindFirstOf(w, "GKM");
    if (unit != std::string_view::npos && unit >= 5) {
      s.m_WindDirection = TruncateToInt(ParseLeadingNumber(w.substr(0, 3)));
    } else {
      s.m_WindDirection = 0;
      speedStart = 0;
    }
  }
  const auto span = [&](std::size_t end) {
    return end == std::string_view::npos || end <= speedStart ? std::string_view()
                                                              : w.substr(speedStart, end - speedStart);
  };
  // Gusts are read from two digits: 25030G105KT gives 10.
  const std::size_t gust = w.find('G');
  const std::string_view gustDigits = gust == std::string_view::npos ? std::string_view() : Slice(w, gust + 1, 2);
  if (EndsWith(w, "KT")) {
    s.m_WindSpeed = TruncateToInt(ParseLeadingNumber(span(FindFirstOf(w, "GK"))));
    if (gust != std::string_view::npos) s.m_WindGust = TruncateToInt(ParseLeadingNumber(gustDigits));
  } else if (EndsWith(w, "MPS")) {
    // To the nearest knot: truncating would read 4 m/s (7.8 kt) as 7.
    s.m_WindSpeed = TruncateToInt(KnotsFromMetresPerSecond(ParseLeadingNumber(span(FindFirstOf(w, "GM")))) + 0.5);
    if (gust != std::string_view::npos)
      s.m_WindGust = TruncateToInt(KnotsFromMetresPerSecond(ParseLeadingNumber(gustDigits)) + 0.5);
  }
  if (s.m_WindSpeed > kWindSpeedLimit) {
    s.m_WindSpeed = 0;
    s.m_ReportValid = 0;
  }
}

// dddVddd: the other 7-character groups with a V (VRB05KT, and 9999NDV "no directional
// variation" of automatic stations) are no sector.
bool IsSector(std::string_view v) {
  return v.size() == 7 && v[3] == 'V' && IsDigits(v.substr(0, 3)) && IsDigits(v.substr(4));
}

// 180V240 -> 210° varying by 30°; 350V020 -> 5° varying by 15° (the sector crosses north).
void DecodeWindSector(METAR_Station& s, TokenTable& tokens) {
  const std::string_view* found = tokens.FindTokenToRead(TokenKey("V"));
  if (!found || !IsSector(*found)) return;
  const std::string_view v = *found;
  const int a = TruncateToInt(ParseLeadingNumber(v.substr(0, 3)));
  int b = TruncateToInt(ParseLeadingNumber(Last(v, 3)));
  if (a > b) b += 360;
  const int centre = TruncateToInt((b / 360.0 + a / 360.0) * 0.5 * 360.0 + 0.5);
  s.m_WindDirection = centre % 360;
  s.m_WindVariation = std::min(std::abs(s.m_WindDirection - a), std::abs(s.m_WindDirection - b % 360));
}

void DecodeCavok(METAR_Station& s, TokenTable& tokens) {
  if (!tokens.FindTokenToRead(TokenKey("CAVOK"))) return;
  s.m_Visibility = 10.0;
  s.m_VisibilityMissing = false;
  s.m_CloudCover[0] = 0.0;
  s.m_CloudThickness[0] = 0.0;
  s.m_CloudBase[0] = 0;
}

// 10SM -> 10; 1 1/2SM -> 1.5; M1/4SM -> 0.25; P6SM -> 6; metric 9999 (rewritten 10SM) -> 10.
void DecodeVisibility(METAR_Station& s, TokenTable& tokens) {
  std::string_view* found = tokens.FindToken(TokenKey("SM"));
  if (!found) return;
  std::string_view& entry = *found;
  if (!entry.empty() && AboveNine(entry[0])) entry.remove_prefix(1);  // "M" less than, "P" more than
  s.m_Visibility = 0.0;
  s.m_VisibilityMissing = false;
  const std::size_t space = entry.find(' ');
  std::size_t fractionStart = 0;
  if (space != std::string_view::npos) {
    s.m_Visibility = ParseLeadingNumber(entry.substr(0, space));
    fractionStart = space + 1;
  }
  const std::size_t slash = entry.find('/');
  if (slash != std::string_view::npos) {
    const std::string_view numeratorText =
        slash > fractionStart ? entry.substr(fractionStart, slash - fractionStart) : std::string_view();
    const int numerator = TruncateToInt(ParseLeadingNumber(numeratorText));
    const int denominator = TruncateToInt(ParseLeadingNumber(entry.substr(slash + 1)));
    // A zero denominator (1/0SM) is a garbled group: the fraction adds nothing.
    if (denominator != 0) s.m_Visibility += static_cast<double>(numerator) / denominator;
    entry = {};  // so the temperature search does not take the fraction
  } else {
    s.m_Visibility = ParseFiniteCNumber(Slice(entry, space == std::string_view::npos ? 0 : space));
  }
}

// BR: mist, FG: fog (replaces mist); both lie on the ground in slot 0.
int DecodeFogAndMist(METAR_Station& s, TokenTable& tokens) {
  int next = 0;
  if (tokens.FindTokenToRead(TokenKey("BR"))) {
    s.m_CloudCover[0] = 0.5 + 0.25 * Draw();
    s.m_CloudBase[0] = 0;
    s.m_CloudThickness[0] = 0.5 + 2.0 * Draw();
    next = 1;
  }
  if (tokens.FindTokenToRead(TokenKey("FG"))) {
    s.m_CloudCover[0] = 0.75 + 0.25 * Draw();
    s.m_CloudBase[0] = 0;
    s.m_CloudThickness[0] = 0.5 + 3.5 * Draw();
    next = 1;
  }
  return next;
}

// One layer per cover kind, in kind order: FEW020CB -> base 609 m, type 9; SCT030TCU -> type 10;
// OVC008 -> cover 1.0 and up to 4 km deep. BKN020 BKN100 OVC250 uses only the first BKN.
void DecodeClouds(METAR_Station& s, TokenTable& tokens, int next) {
  static constexpr TokenKey kKinds[] = {TokenKey("SKC"), TokenKey("CLR"), TokenKey("FEW"),
                                        TokenKey("SCT"), TokenKey("BKN"), TokenKey("OVC")};
  for (int kind = 0; kind < 6; ++kind) {
    const std::string_view* found = tokens.FindTokenToRead(kKinds[kind]);
    if (!found || next >= kCloudSlots) continue;
    const std::size_t slot = static_cast<std::size_t>(next);
    if (kind < 2) {
      s.m_CloudCover[slot] = 0.0;
      s.m_CloudThickness[slot] = 0.0;
      s.m_CloudBase[slot] = 0;
      ++next;
      continue;
    }
    const std::string_view t = *found;
    const int base = TruncateToInt(ParseLeadingNumber(Slice(t, 3, 3)) * kMetresPerHundredFeet);
    if (t.size() > 6) {
      if (Contains(t, "CB"))
        s.m_CloudType[slot] = 9;
      else if (Contains(t, "TCU"))
        s.m_CloudType[slot] = 10;
    }
    double cover = (2.0 * (kind - 2) + 1.0) / 8.0 + 0.125 * Draw();
    if (kind == 4) cover += 0.25 * Draw();  // BKN
    if (kind == 5) cover = 1.0;             // OVC
    s.m_CloudCover[slot] = cover;
    s.m_CloudBase[slot] = base;
    if (base > 6000)
      s.m_CloudThickness[slot] = 0.5 + Draw();
    else if (base > 2000)
      s.m_CloudThickness[slot] = 2.5 - 2.0 * NextRandom() / 32766.0;
    else
      s.m_CloudThickness[slot] = (kind - 1) * Draw();
    ++next;
  }
}

// A2992 -> 1013 hPa; Q1009 -> 1009 hPa (a Q group wins). None, or 0 or less: unusable. Only
// the letter with four digits is a pressure group (FindToken), so -SHRA, CAVOK or SQ never are.
void DecodePressure(METAR_Station& s, TokenTable& tokens) {
  if (const std::string_view* a = tokens.FindTokenToRead(TokenKey("A")))
    s.m_Pressure = TruncateToInt(HectopascalsFromInches(ParseLeadingNumber(Last(*a, 4)) * 0.01) + 0.5);
  if (const std::string_view* q = tokens.FindTokenToRead(TokenKey("Q")))
    s.m_Pressure = TruncateToInt(ParseLeadingNumber(Last(*q, 4)) + 0.5);
  if (s.m_Pressure <= 0) {
    s.m_ReportValid = 0;
    s.m_Pressure = kMissing;
  }
}

// "M05" -> -5, "18" -> 18.
int ReadSignedDegrees(std::string_view text) {
  if (!text.empty() && text[0] == 'M') return TruncateToInt(-ParseLeadingNumber(text.substr(1)));
  return TruncateToInt(ParseLeadingNumber(text));
}

// One or two digits, with "M" for minus.
bool IsDegrees(std::string_view text) {
  if (!text.empty() && text[0] == 'M') text.remove_prefix(1);
  return !text.empty() && text.size() <= 2 && IsDigits(text);
}

// How a station writes a dew point it does not have: 18/, 18///, 22/XX, 23/MM, 30/M.
bool IsMissingDewPoint(std::string_view text) {
  return text.empty() || text == "//" || text == "XX" || text == "MM" || text == "M";
}

// 18/10, M05/M10, 14/5, 18/, M3/, 38///. Not a runway range (R28L/2400FT), a cloud group with
// missing parts (BKN026///), "//" or "/////KT". Two single digits (9/9) are taken only when the
// report has no other temperature group: some stations give their visibility that way.
bool IsTemperatureShape(std::string_view group, bool singleDigits) {
  // At most three characters each side of the slash ("M05/M10"), so only the first four
  // places can hold it: a slash at 0 leaves a temperature no reading takes either way.
  if (group.size() > 7) return false;
  std::size_t slash = std::string_view::npos;
  for (std::size_t i = 1; i < group.size() && i < 4; ++i) {
    if (group[i] == '/') {
      slash = i;
      break;
    }
  }
  if (slash == std::string_view::npos) return false;
  const std::string_view temperature = group.substr(0, slash);
  const std::string_view dew = group.substr(slash + 1);
  if (!IsDegrees(temperature)) return false;
  if (IsMissingDewPoint(dew)) return !singleDigits;
  return IsDegrees(dew) && (temperature.size() == 1 && dew.size() == 1) == singleDigits;
}

bool IsTemperatureGroup(std::string_view group) { return IsTemperatureShape(group, false); }
bool IsSingleDigitTemperatureGroup(std::string_view group) { return IsTemperatureShape(group, true); }

// 18/10 -> 18 and 10; M05/M10 -> -5 and -10; 18/ -> 18 and no dew point. No temperature group:
// unusable.
void DecodeTemperature(METAR_Station& s, TokenTable& tokens) {
  const std::string_view* found = tokens.FindGroup(IsTemperatureGroup);
  if (!found) found = tokens.FindGroup(IsSingleDigitTemperatureGroup);
  if (!found) {
    s.m_ReportValid = 0;
    return;
  }
  const std::string_view p = *found;
  const std::size_t slash = p.find('/');
  const std::string_view dew = p.substr(slash + 1);
  s.m_Temperature = ReadSignedDegrees(p.substr(0, slash));
  s.m_SeaLevelTemperature = s.m_Temperature + kSeaLevelLapse * s.m_Elevation;
  if (!IsMissingDewPoint(dew)) {
    s.m_DewPoint = ReadSignedDegrees(dew);
    s.m_SeaLevelDewPoint = s.m_DewPoint + kSeaLevelLapse * s.m_Elevation;
  }
}

// -RA light, RA moderate, +RA heavy; a later kind overrides an earlier one (RASN ends as SN).
void DecodePrecipitation(METAR_Station& s, TokenTable& tokens) {
  static constexpr TokenKey kKinds[] = {TokenKey("SH"), TokenKey("DZ"), TokenKey("RA"), TokenKey("SN"), TokenKey("SG"),
                                        TokenKey("IC"), TokenKey("PE"), TokenKey("GR"), TokenKey("GS"), TokenKey("UP")};
  s.m_PrecipIntensity = 0.0;
  for (TokenKey kind : kKinds) {
    const std::string_view* found = tokens.FindTokenToRead(kind);
    if (!found) continue;
    s.m_Weather = *found;
    const char intensity = found->empty() ? ' ' : (*found)[0];
    if (intensity == '-') {
      s.m_PrecipIntensity = 0.25 * Draw();
      s.m_CloudThickness[0] = 1.0 + Draw();
    } else if (intensity == '+') {
      s.m_PrecipIntensity = 0.75 + 0.25 * Draw();
      s.m_CloudThickness[0] = 3.0 + Draw();
    } else {
      s.m_PrecipIntensity = 0.5 + 0.25 * Draw();
      s.m_CloudThickness[0] = 1.5 + 2.0 * Draw();
    }
  }
}

void DecodeThunderstorm(METAR_Station& s, TokenTable& tokens) {
  if (!tokens.FindTokenToRead(TokenKey("TS"))) return;
  s.m_Thunderstorm = 1;
  if (s.m_PrecipIntensity == 0.0) s.m_PrecipIntensity = 0.75 + 0.25 * Draw();
  s.m_CloudThickness[0] = 3.0 + Draw();
}

// "10 miles or more" is stretched by the spread: 10 with 20/10 becomes 60. Without a spread (a
// missing value, or a dew point above the temperature) it stays 10.
void AdjustVisibility(METAR_Station& s) {
  if (s.m_Visibility != 10.0 || s.m_Temperature == kMissing || s.m_DewPoint == kMissing) return;
  if (s.m_Temperature > s.m_DewPoint)
    s.m_Visibility = 10.0 + 5.0 * (static_cast<double>(s.m_Temperature) - static_cast<double>(s.m_DewPoint));
}

void DecodeLightning(METAR_Station& s, TokenTable& tokens) {
  if (!tokens.FindTokenToRead(TokenKey("LTG"))) return;
  s.m_Thunderstorm = 1;
  s.m_CloudThickness[0] = 3.0 + Draw();
}

}  // namespace

std::optional<WeatherTime> ParseObservationTime(std::string_view text) {
  const std::size_t space = text.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  return ObservedAt(text.substr(0, space), text.substr(space + 1));
}

std::int64_t WholeMinutesAfter(WeatherTime observation, WeatherTime reference) {
  // The difference in days times 1440, with half a second's worth of slack against rounding.
  const double minutesAfter = static_cast<double>((observation - reference).count()) / 60.0;
  return static_cast<std::int64_t>(minutesAfter + 0.5 / 86400.0);
}

std::optional<WeatherTime> ParseReferenceTime(std::string_view text) {
  std::size_t pos = 0;
  const std::size_t yearStart = pos;
  const std::optional<int> year = ReadDigits(text, pos, 4);
  if (!year || pos - yearStart != 4 || !Expect(text, pos, '-')) return std::nullopt;
  const std::optional<int> month = ReadDigits(text, pos, 2);
  if (!month || !Expect(text, pos, '-')) return std::nullopt;
  const std::optional<int> day = ReadDigits(text, pos, 2);
  if (!day) return std::nullopt;
  if (pos == text.size()) return MakeTime(*year, *month, *day, 0, 0);
  if (!Expect(text, pos, ' ')) return std::nullopt;
  const std::optional<int> hour = ReadDigits(text, pos, 2);
  if (!hour || !Expect(text, pos, ':')) return std::nullopt;
  const std::optional<int> minute = ReadDigits(text, pos, 2);
  if (!minute || pos != text.size()) return std::nullopt;
  return MakeTime(*year, *month, *day, *hour, *minute);
}

WeatherTime NoAgeLimit() { return WeatherTime(sys_days(std::chrono::year(3000) / December / 31)); }

namespace {

// A report the station sent as "not available": KSEA 071250Z NIL.
bool IsNilReport(const TokenTable& tokens, int firstSearched) {
  for (int i = firstSearched; i < tokens.Count(); ++i) {
    const std::string_view token = tokens[i];
    if (token == "RMK") return false;
    if (token == "NIL" || token == "NIL=") return true;
  }
  return false;
}

}  // namespace

bool METAR_Station::DecodeReport(const std::string& report, WeatherTime reference) {
  // Searches start at the first group after the header, so an undated report keeps its wind.
  const bool dated = StartsDated(report);
  const int firstSearched = dated ? kDatedHeaderTokens : kUndatedHeaderTokens;
  TokenTable& tokens = g_TokenTable;
  tokens.Split(report, firstSearched);
  if (IsNilReport(tokens, firstSearched)) return false;  // the earlier report stands

  m_ReportText = report;
  DecodeObservationTime(*this, tokens, dated, reference);
  // A newer report keeps the one held before, and with it the flag that says whether it is usable.
  if (IsNewerThan(*this, reference)) return false;

  m_ReportValid = 1;
  ResetReportFields();
  m_VisibilityMissing = true;  // until a visibility or CAVOK group says otherwise
  m_State = m_State > kStateIdle ? kStateToSend : kStateIdle;
  DecodeWind(*this, tokens);
  DecodeWindSector(*this, tokens);
  DecodeCavok(*this, tokens);
  DecodeVisibility(*this, tokens);
  DecodeClouds(*this, tokens, DecodeFogAndMist(*this, tokens));
  DecodePressure(*this, tokens);
  DecodeTemperature(*this, tokens);
  m_Thunderstorm = tokens.FindTokenToRead(TokenKey("TSRA")) ? 1 : 0;
  DecodePrecipitation(*this, tokens);
  DecodeThunderstorm(*this, tokens);
  AdjustVisibility(*this);
  DecodeLightning(*this, tokens);
  return true;
}
