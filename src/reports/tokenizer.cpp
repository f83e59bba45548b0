#include "reports/tokenizer.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <system_error>

thread_local TokenTable g_TokenTable;

const double g_Pi = 4.0 * std::atan2(1.0, 1.0);

namespace {

// Characters that make a group "worded" for the fraction joining: a group without any of them
// is a bare number such as "1" (whole part of "1 1/2SM").
constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ/-$:";

bool HasNoLetter(const std::string& token) {
  return token.find_first_of(kLetters) == std::string::npos;
}

bool Contains(const std::string& token, std::string_view key) {
  return token.find(key) != std::string::npos;
}

bool IsDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsTrend(const std::string& token) { return token == "TEMPO" || token == "BECMG"; }

// A metric visibility: four digits, alone or with "no directional variation" or the direction
// of a minimum visibility (9999NDV, 1500NE). Longer digit runs are runway-state or other groups.
bool IsMetricVisibility(std::string_view token) {
  static constexpr std::string_view kSuffixes[] = {"", "NDV", "N", "NE", "E", "SE", "S", "SW", "W", "NW"};
  if (token.size() < 4 || !IsDigits(token.substr(0, 4))) return false;
  const std::string_view suffix = token.substr(4);
  return std::find(std::begin(kSuffixes), std::end(kSuffixes), suffix) != std::end(kSuffixes);
}

constexpr double kNauticalMilesPerMetre = 0.0005399568034557236;     // 1 / 1852
constexpr double kNauticalMilesPerKilometre = 0.5399568034557235;    // 1000 / 1852

}  // namespace

int TokenTable::Split(std::string_view report, int firstSearched) {
  // The fraction joining looks two entries back, so the search never starts before entry 2.
  m_FirstSearched = std::clamp(firstSearched, 2, kMaxTokens);
  m_Count = 0;
  std::size_t pos = 0;
  while (pos < report.size() && m_Count < kMaxTokens) {
    if (report[pos] == ' ') {
      ++pos;
      continue;
    }
    std::size_t end = report.find(' ', pos);
    if (end == std::string_view::npos) end = report.size();
    m_Tokens[static_cast<std::size_t>(m_Count++)].assign(report.substr(pos, end - pos));
    pos = end;
  }
  return m_Count;
}

// Searches from the first searched token on (3 unless Split was told otherwise). "RMK" ends
// every search but its own. "V" only takes 7-character groups (180V240, VRB05KT; not VCSH or
// VV001). "A" and "Q" only take a pressure group, the letter and four digits (A2992, Q1013; not
// +TSRA, CAVOK, SQ or Q////). "SM" joins a visibility with its unit or whole part, and on the way
// turns metric groups into miles: 9999 -> 10SM, 0800 -> 4/10SM, 10KM -> 5SM; it ends at a trend
// (TEMPO, BECMG), whose visibility is a forecast. Entries emptied by an earlier search are passed over.
std::string* TokenTable::FindToken(std::string_view key) {
  if (m_Count <= m_FirstSearched) return nullptr;
  const bool isRemarks = key == "RMK";
  const bool isMiles = key == "SM";
  const bool isPressure = key == "A" || key == "Q";
  for (int i = m_FirstSearched; i < m_Count; ++i) {
    std::string& entry = m_Tokens[static_cast<std::size_t>(i)];
    if (!isRemarks && entry == "RMK") return nullptr;
    if (isMiles && IsTrend(entry)) return nullptr;
    if (Contains(entry, key)) {
      if (key == "V") {
        if (entry.size() == 7) return &entry;
        continue;
      }
      if (isPressure) {
        if (entry.size() == 5 && entry[0] == key[0] && IsDigits(std::string_view(entry).substr(1))) return &entry;
        continue;
      }
      if (isMiles) return JoinFraction(i);
      return &entry;
    }
    if (isMiles) {
      if (std::string* converted = ConvertMetric(i)) return converted;
    }
  }
  return nullptr;
}

std::string* TokenTable::FindGroup(bool (*shape)(std::string_view)) {
  for (int i = m_FirstSearched; i < m_Count; ++i) {
    std::string& entry = m_Tokens[static_cast<std::size_t>(i)];
    if (entry == "RMK") return nullptr;
    if (!entry.empty() && shape(entry)) return &entry;
  }
  return nullptr;
}

// "10" "SM" -> "10SM"; "1" "1/2SM" -> "1 1/2SM"; "1" "1/2" "SM" -> "1 1/2SM". The emptied
// entries stay in the table. index is at least 2, so index - 2 is still a table entry.
std::string* TokenTable::JoinFraction(int index) {
  auto at = [this](int i) -> std::string& { return m_Tokens[static_cast<std::size_t>(i)]; };
  int p = index;
  if (at(p) == "SM") {
    at(p - 1) += "SM";
    at(p).clear();
    --p;
  }
  if (HasNoLetter(at(p - 1))) {
    at(p) = at(p - 1) + " " + at(p);
    at(p - 1).clear();
  }
  return &at(p);
}

// Metric visibilities rewritten in miles; nullptr when the group is not one.
std::string* TokenTable::ConvertMetric(int index) {
  std::string& entry = m_Tokens[static_cast<std::size_t>(index)];
  char text[32];
  if (IsMetricVisibility(entry)) {
    const std::string_view metres = std::string_view(entry).substr(0, 4);
    const double miles = metres == "9999" ? 10.0 : ParseLeadingNumber(metres) * kNauticalMilesPerMetre;
    if (miles < 1.0)
      std::snprintf(text, sizeof text, "%d/10", TruncateToInt(miles * 10.0));
    else
      std::snprintf(text, sizeof text, "%d", TruncateToInt(miles));
    entry = text;
    entry += "SM";
    return &entry;
  }
  if (entry.size() >= 2 && entry.compare(entry.size() - 2, 2, "KM") == 0) {
    const char firstTwo[3] = {entry[0], entry[1], '\0'};
    const double miles = std::strtod(firstTwo, nullptr) * kNauticalMilesPerKilometre;
    std::snprintf(text, sizeof text, "%dSM", TruncateToInt(miles));
    entry = text;
    return &entry;
  }
  return nullptr;
}

int SplitReport(std::string_view report, int firstSearched) {
  return g_TokenTable.Split(report, firstSearched);
}

std::string* FindToken(std::string_view key) { return g_TokenTable.FindToken(key); }

std::string* FindGroup(bool (*shape)(std::string_view)) { return g_TokenTable.FindGroup(shape); }

int TruncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

double KnotsFromMetresPerSecond(double metresPerSecond) { return metresPerSecond * 1.9438444924406049; }
double MetresFromFeet(double feet) { return feet * 0.3048; }
double FeetFromMetres(double metres) { return metres * 3.280839895013123; }
double HectopascalsFromInches(double inchesOfMercury) { return inchesOfMercury * 33.86530748663101; }
double RadiansFromDegrees(double degrees) { return degrees * g_Pi * 0.005555555555555556; }
