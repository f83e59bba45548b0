#include "reports/tokenizer.h"

#include <algorithm>
#include <bit>
#include <iterator>
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

bool HasNoLetter(const std::string& token) { return token.find_first_of(kLetters) == std::string::npos; }

bool Contains(const std::string& token, std::string_view key) { return token.find(key) != std::string::npos; }

bool IsDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A metric visibility: four digits, alone or with "no directional variation" or the direction
// of a minimum visibility (9999NDV, 1500NE). Longer digit runs are runway-state or other groups.
bool IsMetricVisibility(std::string_view token) {
  static constexpr std::string_view kSuffixes[] = {"", "NDV", "N", "NE", "E", "SE", "S", "SW", "W", "NW"};
  if (token.size() < 4 || !IsDigits(token.substr(0, 4))) return false;
  const std::string_view suffix = token.substr(4);
  return std::find(std::begin(kSuffixes), std::end(kSuffixes), suffix) != std::end(kSuffixes);
}

constexpr double kNauticalMilesPerMetre = 0.0005399568034557236;   // 1 / 1852
constexpr double kNauticalMilesPerKilometre = 0.5399568034557235;  // 1000 / 1852

}  // namespace

namespace {

// Each searched key has its bit in an entry's keys; the last three bits mark an entry that is
// the remarks group, a trend, or a metric visibility the miles search rewrites.
constexpr int kSearchedKeyCount = static_cast<int>(std::size(kSearchedKeys));
constexpr int kRemarksMark = 29;
constexpr int kTrendMark = 30;
constexpr int kMetricMark = 31;
static_assert(kSearchedKeyCount == kRemarksMark);

constexpr int KeyIndex(std::string_view key) {
  for (int k = 0; k < kSearchedKeyCount; ++k)
    if (kSearchedKeys[k] == key) return k;
  return -1;
}
constexpr int kKeyV = KeyIndex("V"), kKeyA = KeyIndex("A"), kKeyQ = KeyIndex("Q"), kKeySM = KeyIndex("SM");

// The keys by their first two characters, both capitals in every key: the two-character keys
// are found by the pair alone, the longer ones (MPS, CAVOK, TSRA, ...) also need the rest
// compared. One-character keys by their character.
struct KeysByPair {
  std::array<std::array<std::uint32_t, 26>, 26> m_Keys{};
  std::array<std::uint32_t, 26> m_Single{};
  std::uint32_t m_Long = 0;  // keys of three or more characters
  bool m_Capitals = true;
  constexpr KeysByPair() {
    for (int k = 0; k < kSearchedKeyCount; ++k) {
      const std::string_view key = kSearchedKeys[k];
      const std::uint32_t bit = std::uint32_t{1} << k;
      for (char c : key)
        if (c < 'A' || c > 'Z') m_Capitals = false;
      if (key.empty() || !m_Capitals) return;
      if (key.size() == 1) {
        m_Single[static_cast<std::size_t>(key[0] - 'A')] |= bit;
        continue;
      }
      m_Keys[static_cast<std::size_t>(key[0] - 'A')][static_cast<std::size_t>(key[1] - 'A')] |= bit;
      if (key.size() > 2) m_Long |= bit;
    }
  }
};
constexpr KeysByPair kKeysByPair;
static_assert(kKeysByPair.m_Capitals, "a searched key with other characters than capitals");

// Character comparisons of a few bytes, in line (a library compare costs more than the work).
bool SameChars(const char* a, std::string_view b) {
  for (std::size_t i = 0; i < b.size(); ++i)
    if (a[i] != b[i]) return false;
  return true;
}
bool Equals(std::string_view a, std::string_view b) { return a.size() == b.size() && SameChars(a.data(), b); }

// The searched key of any key text: a slot by the length and the first two characters (no two
// searched keys share one), then one comparison.
constexpr std::size_t KeySlot(std::string_view key) {
  const auto c0 = static_cast<unsigned char>(key[0]);
  const auto c1 = key.size() > 1 ? static_cast<unsigned char>(key[1]) : 0u;
  return (c0 * 11u + c1 * 29u + key.size() * 3u) % 64u;
}
struct KeysBySlot {
  std::array<std::int8_t, 64> m_Key{};
  bool m_Unique = true;
  constexpr KeysBySlot() {
    m_Key.fill(-1);
    for (int k = 0; k < kSearchedKeyCount; ++k) {
      const std::size_t slot = KeySlot(kSearchedKeys[k]);
      if (m_Key[slot] >= 0) m_Unique = false;
      m_Key[slot] = static_cast<std::int8_t>(k);
    }
  }
};
constexpr KeysBySlot kKeysBySlot;
static_assert(kKeysBySlot.m_Unique, "two searched keys in one slot");

int SearchedKey(std::string_view key) {
  if (key.empty()) return -1;
  const int k = kKeysBySlot.m_Key[KeySlot(key)];
  return k >= 0 && Equals(kSearchedKeys[k], key) ? k : -1;
}

int Lowest(std::uint64_t set) { return std::countr_zero(set); }
// The entries below the lowest of set (all when set is empty).
std::uint64_t Below(std::uint64_t set) { return set ? (set & (~set + 1)) - 1 : ~std::uint64_t{0}; }

}  // namespace

int TokenTable::Split(std::string_view report, int firstSearched) {
  // The fraction joining looks two entries back, so the search never starts before entry 2.
  m_FirstSearched = std::clamp(firstSearched, 2, kMaxTokens);
  m_Count = 0;
  m_Holding.fill(0);
  m_Changed = 0;
  m_Deferred = 0;
  std::size_t pos = 0;
  const std::size_t size = report.size();
  const char* text = report.data();
  while (pos < size && m_Count < kMaxTokens) {
    if (text[pos] == ' ') {
      ++pos;
      continue;
    }
    std::size_t end = pos + 1;
    while (end < size && text[end] != ' ') ++end;
    const int index = m_Count++;
    m_Tokens[static_cast<std::size_t>(index)].assign(text + pos, end - pos);
    m_Keys[static_cast<std::size_t>(index)] = 0;
    pos = end;
    // The header is never searched, nor is anything after the remarks while they stand.
    if (index < m_FirstSearched) continue;
    if (m_Holding[kRemarksMark])
      m_Deferred |= Bit(index);
    else
      Classify(index);
  }
  UpdateSearched();
  return m_Count;
}

void TokenTable::UpdateSearched() {
  Tokens searched = (m_Count == 64 ? ~Tokens{0} : Bit(m_Count) - 1) & ~(Bit(m_FirstSearched) - 1);
  searched &= Below(m_Holding[kRemarksMark] & searched);
  m_Searched = searched;
  m_SearchedMiles = searched & Below(m_Holding[kTrendMark] & searched);
}

void TokenTable::Classify(int index) {
  const std::string_view entry = m_Tokens[static_cast<std::size_t>(index)];
  std::uint32_t keys = 0;
  const std::size_t size = entry.size();
  const char* text = entry.data();
  for (std::size_t i = 0; i < size; ++i) {
    // Digits and signs, most of most groups, are passed at once.
    const unsigned c0 = static_cast<unsigned char>(text[i]) - 'A';
    if (c0 >= 26) continue;
    keys |= kKeysByPair.m_Single[c0];
    if (i + 1 == size) break;
    const unsigned c1 = static_cast<unsigned char>(text[i + 1]) - 'A';
    if (c1 >= 26) continue;
    const std::uint32_t pair = kKeysByPair.m_Keys[c0][c1];
    keys |= pair & ~kKeysByPair.m_Long;
    for (std::uint32_t longer = pair & kKeysByPair.m_Long; longer; longer &= longer - 1) {
      const std::string_view key = kSearchedKeys[std::countr_zero(longer)];
      if (size - i >= key.size() && SameChars(text + i + 2, key.substr(2))) keys |= longer & ~(longer - 1);
    }
  }
  if (Equals(entry, "RMK")) keys |= std::uint32_t{1} << kRemarksMark;
  if (Equals(entry, "TEMPO") || Equals(entry, "BECMG")) keys |= std::uint32_t{1} << kTrendMark;
  if ((size >= 4 && text[0] >= '0' && text[0] <= '9' && IsMetricVisibility(entry)) ||
      (size >= 2 && text[size - 2] == 'K' && text[size - 1] == 'M'))
    keys |= std::uint32_t{1} << kMetricMark;
  const Tokens bit = Bit(index);
  for (std::uint32_t old = m_Keys[static_cast<std::size_t>(index)]; old; old &= old - 1)
    m_Holding[static_cast<std::size_t>(std::countr_zero(old))] &= ~bit;
  for (std::uint32_t now = keys; now; now &= now - 1) m_Holding[static_cast<std::size_t>(std::countr_zero(now))] |= bit;
  m_Keys[static_cast<std::size_t>(index)] = keys;
}

void TokenTable::ClassifyChanged() {
  const Tokens remarks = m_Holding[kRemarksMark];
  m_Deferred &= ~m_Changed;
  for (Tokens changed = m_Changed; changed; changed &= changed - 1) Classify(std::countr_zero(changed));
  m_Changed = 0;
  // A remarks group changed: the entries after it may be searched now.
  if (m_Holding[kRemarksMark] != remarks) {
    for (Tokens deferred = m_Deferred; deferred; deferred &= deferred - 1) Classify(std::countr_zero(deferred));
    m_Deferred = 0;
  }
  UpdateSearched();
}

std::string* TokenTable::HandOut(int index, bool forChange) {
  if (forChange) m_Changed |= Bit(index);
  return &m_Tokens[static_cast<std::size_t>(index)];
}

std::string* TokenTable::FindToken(std::string_view key) { return Find(key, true); }

// Searches from the first searched token on (3 unless Split was told otherwise). "RMK" ends
// every search but its own. "V" only takes 7-character groups (180V240, VRB05KT; not VCSH or
// VV001). "A" and "Q" only take a pressure group, the letter and four digits (A2992, Q1013; not
// +TSRA, CAVOK, SQ or Q////). "SM" joins a visibility with its unit or whole part, and on the way
// turns metric groups into miles: 9999 -> 10SM, 0800 -> 4/10SM, 10KM -> 5SM; it ends at a trend
// (TEMPO, BECMG), whose visibility is a forecast. Entries emptied by an earlier search are passed over.
std::string* TokenTable::Find(std::string_view key, bool forChange) {
  if (m_Count <= m_FirstSearched) return nullptr;
  const int k = SearchedKey(key);
  if (k < 0) return ScanToken(key);
  return FindKey(k, forChange);
}

std::string* TokenTable::FindKey(int k, bool forChange) {
  if (m_Count <= m_FirstSearched) return nullptr;
  if (m_Changed) ClassifyChanged();
  if (k == kKeySM) {
    // The first entry with the unit, or before it the first metric one, rewritten.
    const Tokens found = (m_Holding[kKeySM] | m_Holding[kMetricMark]) & m_SearchedMiles;
    if (!found) return nullptr;
    const int i = Lowest(found);
    std::string* result = (m_Holding[kKeySM] & Bit(i)) ? JoinFraction(i) : ConvertMetric(i);
    // The rewritten entries: this one and the two before it.
    m_Changed |= Bit(i) | Bit(i - 1) | Bit(i - 2);
    return result;
  }
  for (Tokens found = m_Holding[static_cast<std::size_t>(k)] & m_Searched; found; found &= found - 1) {
    const int i = Lowest(found);
    const std::string& entry = m_Tokens[static_cast<std::size_t>(i)];
    if (k == kKeyV) {
      if (entry.size() == 7) return HandOut(i, forChange);
      continue;
    }
    if (k == kKeyA || k == kKeyQ) {
      if (entry.size() == 5 && entry[0] == kSearchedKeys[k][0] && IsDigits(std::string_view(entry).substr(1)))
        return HandOut(i, forChange);
      continue;
    }
    return HandOut(i, forChange);
  }
  return nullptr;
}

// Any other key: the same rules by a walk over the entries.
std::string* TokenTable::ScanToken(std::string_view key) {
  const bool isRemarks = key == "RMK";
  for (int i = m_FirstSearched; i < m_Count; ++i) {
    const std::string& entry = m_Tokens[static_cast<std::size_t>(i)];
    if (!isRemarks && entry == "RMK") return nullptr;
    if (Contains(entry, key)) return HandOut(i, true);
  }
  return nullptr;
}

std::string* TokenTable::FindGroup(bool (*shape)(std::string_view)) {
  for (int i = m_FirstSearched; i < m_Count; ++i) {
    const std::string& entry = m_Tokens[static_cast<std::size_t>(i)];
    if (entry == "RMK") return nullptr;
    if (!entry.empty() && shape(entry)) return HandOut(i, true);
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
    // In place: the whole part and a space put before the fraction.
    std::string& whole = at(p - 1);
    whole += ' ';
    at(p).insert(0, whole);
    whole.clear();
  }
  return &at(p);
}

// Metric visibilities rewritten in miles; nullptr when the group is not one.
std::string* TokenTable::ConvertMetric(int index) {
  std::string& entry = m_Tokens[static_cast<std::size_t>(index)];
  char text[32];
  auto write = [&](int whole, std::string_view unit) {
    char* end = std::to_chars(text, text + 16, whole).ptr;
    entry.assign(text, static_cast<std::size_t>(end - text));
    entry += unit;
    return &entry;
  };
  if (IsMetricVisibility(entry)) {
    const std::string_view metres = std::string_view(entry).substr(0, 4);
    const double miles = metres == "9999" ? 10.0 : ParseLeadingNumber(metres) * kNauticalMilesPerMetre;
    if (miles < 1.0) return write(TruncateToInt(miles * 10.0), "/10SM");
    return write(TruncateToInt(miles), "SM");
  }
  if (entry.size() >= 2 && entry.compare(entry.size() - 2, 2, "KM") == 0) {
    const char firstTwo[3] = {entry[0], entry[1], '\0'};
    const double miles = std::strtod(firstTwo, nullptr) * kNauticalMilesPerKilometre;
    return write(TruncateToInt(miles), "SM");
  }
  return nullptr;
}

int SplitReport(std::string_view report, int firstSearched) { return g_TokenTable.Split(report, firstSearched); }

std::string* FindToken(std::string_view key) { return g_TokenTable.FindToken(key); }
std::string* FindToken(TokenKey key) { return g_TokenTable.FindToken(key); }
const std::string* FindTokenToRead(TokenKey key) { return g_TokenTable.FindTokenToRead(key); }

const std::string* FindTokenToRead(std::string_view key) { return g_TokenTable.FindTokenToRead(key); }

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
