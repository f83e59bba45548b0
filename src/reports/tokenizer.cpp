#include "reports/tokenizer.h"
#include "base/text.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <system_error>

thread_local TokenTable g_TokenTable;

namespace {

// Characters that make a group "worded" for the fraction joining: capitals and / - $ :. A
// group without any of them is a bare number such as "1" (whole part of "1 1/2SM").
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || c == '/' || c == '-' || c == '$' || c == ':'; }

bool HasNoLetter(std::string_view token) { return std::none_of(token.begin(), token.end(), IsLetter); }

// A metric visibility: four digits, alone or with "no directional variation" or the direction
// of a minimum visibility (9999NDV, 1500NE). Longer digit runs are runway-state or other groups.
bool IsMetricVisibility(std::string_view token) {
  if (token.size() < 4 || token.size() > 7 || !IsDigits(token.substr(0, 4))) return false;
  const std::string_view suffix = token.substr(4);
  switch (suffix.size()) {
    case 0: return true;
    case 1: return suffix == "N" || suffix == "E" || suffix == "S" || suffix == "W";
    case 2: return suffix == "NE" || suffix == "SE" || suffix == "SW" || suffix == "NW";
    default: return suffix == "NDV";
  }
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

namespace {

// The searched keys found in text from pos on, up to size or, with AtSpace, up to the next
// space; returns where it stopped. A longer key is compared up to size even past a space: its
// capitals never match one, so only a key within the group is found.
template <bool AtSpace>
std::size_t ScanKeys(const char* text, std::size_t pos, std::size_t size, std::uint32_t& keys) {
  std::size_t i = pos;
  for (; i < size && (!AtSpace || text[i] != ' '); ++i) {
    // Digits and signs, most of most groups, are passed at once.
    const unsigned c0 = static_cast<unsigned char>(text[i]) - 'A';
    if (c0 >= 26) continue;
    keys |= kKeysByPair.m_Single[c0];
    if (i + 1 == size) continue;
    const unsigned c1 = static_cast<unsigned char>(text[i + 1]) - 'A';
    if (c1 >= 26) continue;
    const std::uint32_t pair = kKeysByPair.m_Keys[c0][c1];
    keys |= pair & ~kKeysByPair.m_Long;
    for (std::uint32_t longer = pair & kKeysByPair.m_Long; longer; longer &= longer - 1) {
      const std::string_view key = kSearchedKeys[std::countr_zero(longer)];
      if (size - i >= key.size() && SameChars(text + i + 2, key.substr(2))) keys |= longer & ~(longer - 1);
    }
  }
  return i;
}

// The marks of a whole entry: the remarks group, a trend, a metric visibility.
std::uint32_t MarksOf(std::string_view entry) {
  const std::size_t size = entry.size();
  if (size < 2) return 0;
  const char* text = entry.data();
  if (text[size - 2] == 'K' && text[size - 1] == 'M') return std::uint32_t{1} << kMetricMark;
  if (text[0] >= '0' && text[0] <= '9') return IsMetricVisibility(entry) ? std::uint32_t{1} << kMetricMark : 0;
  if (size == 3 && Equals(entry, "RMK")) return std::uint32_t{1} << kRemarksMark;
  if (size == 5 && (Equals(entry, "TEMPO") || Equals(entry, "BECMG"))) return std::uint32_t{1} << kTrendMark;
  return 0;
}

}  // namespace

int TokenTable::Split(std::string_view report, int firstSearched) {
  // The fraction joining looks two entries back, so the search never starts before entry 2.
  m_FirstSearched = std::clamp(firstSearched, 2, kMaxTokens);
  const int previous = m_Count;
  m_Count = 0;
  m_Holding.fill(0);
  m_Changed = 0;
  m_Deferred = 0;
  // One copy of the whole report; the entries view it.
  m_Text.assign(report);
  std::size_t pos = 0;
  const std::size_t size = m_Text.size();
  const char* text = m_Text.data();
  while (pos < size && m_Count < kMaxTokens) {
    if (text[pos] == ' ') {
      ++pos;
      continue;
    }
    const int index = m_Count++;
    m_Keys[static_cast<std::size_t>(index)] = 0;
    // The header is never searched, nor is anything after the remarks while they stand: those
    // are cut out unclassified. The others are classified on the same pass.
    const bool classify = index >= m_FirstSearched && !m_Holding[kRemarksMark];
    std::uint32_t keys = 0;
    std::size_t end = pos + 1;
    if (classify)
      end = ScanKeys<true>(text, pos, size, keys);
    else
      while (end < size && text[end] != ' ') ++end;
    const std::string_view token(text + pos, end - pos);
    m_Tokens[static_cast<std::size_t>(index)] = token;
    pos = end;
    if (classify) {
      SetKeys(index, keys | MarksOf(token));
    } else {
      m_Classified[static_cast<std::size_t>(index)] = {};
      if (index >= m_FirstSearched) m_Deferred |= Bit(index);
    }
  }
  // No entry is left viewing text the copy no longer holds.
  for (int i = m_Count; i < previous; ++i) m_Tokens[static_cast<std::size_t>(i)] = {};
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
  ScanKeys<false>(entry.data(), 0, entry.size(), keys);
  SetKeys(index, keys | MarksOf(entry));
}

void TokenTable::SetKeys(int index, std::uint32_t keys) {
  const Tokens bit = Bit(index);
  for (std::uint32_t old = m_Keys[static_cast<std::size_t>(index)]; old; old &= old - 1)
    m_Holding[static_cast<std::size_t>(std::countr_zero(old))] &= ~bit;
  for (std::uint32_t now = keys; now; now &= now - 1) m_Holding[static_cast<std::size_t>(std::countr_zero(now))] |= bit;
  m_Keys[static_cast<std::size_t>(index)] = keys;
  m_Classified[static_cast<std::size_t>(index)] = m_Tokens[static_cast<std::size_t>(index)];
}

void TokenTable::ClassifyChanged() {
  const Tokens remarks = m_Holding[kRemarksMark];
  m_Deferred &= ~m_Changed;
  for (Tokens changed = m_Changed; changed; changed &= changed - 1) {
    // A view handed out and left as it was holds the text it was classified from: the texts
    // themselves are never changed in place (a rewrite is new text).
    const auto i = static_cast<std::size_t>(std::countr_zero(changed));
    if (m_Tokens[i].data() == m_Classified[i].data() && m_Tokens[i].size() == m_Classified[i].size()) continue;
    Classify(static_cast<int>(i));
  }
  m_Changed = 0;
  // A remarks group changed: the entries after it may be searched now.
  if (m_Holding[kRemarksMark] != remarks) {
    for (Tokens deferred = m_Deferred; deferred; deferred &= deferred - 1) Classify(std::countr_zero(deferred));
    m_Deferred = 0;
  }
  UpdateSearched();
}

std::string_view* TokenTable::HandOut(int index, bool forChange) {
  if (forChange) m_Changed |= Bit(index);
  return &m_Tokens[static_cast<std::size_t>(index)];
}

std::string_view* TokenTable::FindToken(std::string_view key) { return Find(key, true); }

// Searches from the first searched token on (3 unless Split was told otherwise). "RMK" ends
// every search but its own. "V" only takes 7-character groups (180V240, VRB05KT; not VCSH or
// VV001). "A" and "Q" only take a pressure group, the letter and four digits (A2992, Q1013; not
// +TSRA, CAVOK, SQ or Q////). "SM" joins a visibility with its unit or whole part, and on the way
// turns metric groups into miles: 9999 -> 10SM, 0800 -> 4/10SM, 10KM -> 5SM; it ends at a trend
// (TEMPO, BECMG), whose visibility is a forecast. Entries emptied by an earlier search are passed over.
std::string_view* TokenTable::Find(std::string_view key, bool forChange) {
  const int k = SearchedKey(key);
  if (k < 0) return ScanToken(key);
  return FindKey(k, forChange);
}

std::string_view* TokenTable::FindKey(int k, bool forChange) {
  if (m_Count <= m_FirstSearched) return nullptr;
  if (m_Changed) ClassifyChanged();
  if (k == kKeySM) {
    // The first entry with the unit, or before it the first metric one, rewritten.
    const Tokens found = (m_Holding[kKeySM] | m_Holding[kMetricMark]) & m_SearchedMiles;
    if (!found) return nullptr;
    const int i = Lowest(found);
    // The rewrites mark the entries they change; the one handed out may change as well.
    std::string_view* result = (m_Holding[kKeySM] & Bit(i)) ? JoinFraction(i) : ConvertMetric(i);
    if (result) m_Changed |= Bit(static_cast<int>(result - m_Tokens.data()));
    return result;
  }
  for (Tokens found = m_Holding[static_cast<std::size_t>(k)] & m_Searched; found; found &= found - 1) {
    const int i = Lowest(found);
    const std::string_view& entry = m_Tokens[static_cast<std::size_t>(i)];
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
std::string_view* TokenTable::ScanToken(std::string_view key) {
  const bool isRemarks = key == "RMK";
  for (int i = m_FirstSearched; i < m_Count; ++i) {
    const std::string_view& entry = m_Tokens[static_cast<std::size_t>(i)];
    if (!isRemarks && entry == "RMK") return nullptr;
    if (Contains(entry, key)) return HandOut(i, true);
  }
  return nullptr;
}

std::string_view* TokenTable::FindGroup(bool (*shape)(std::string_view)) {
  for (int i = m_FirstSearched; i < m_Count; ++i) {
    const std::string_view& entry = m_Tokens[static_cast<std::size_t>(i)];
    if (entry == "RMK") return nullptr;
    if (!entry.empty() && shape(entry)) return HandOut(i, true);
  }
  return nullptr;
}

void TokenTable::Rewrite(int index, std::string_view first, std::string_view second, std::string_view third) {
  // Built aside first: the pieces may view the text being replaced.
  m_Scratch.assign(first);
  m_Scratch += second;
  m_Scratch += third;
  std::string& text = m_Rewritten[static_cast<std::size_t>(index)];
  text.swap(m_Scratch);
  m_Tokens[static_cast<std::size_t>(index)] = text;
  m_Classified[static_cast<std::size_t>(index)] = {};  // the same place may now hold other text
}

// "10" "SM" -> "10SM"; "1" "1/2SM" -> "1 1/2SM"; "1" "1/2" "SM" -> "1 1/2SM". The emptied
// entries stay in the table. index is at least 2, so index - 2 is still a table entry.
std::string_view* TokenTable::JoinFraction(int index) {
  auto at = [this](int i) -> std::string_view& { return m_Tokens[static_cast<std::size_t>(i)]; };
  int p = index;
  if (at(p) == "SM") {
    Rewrite(p - 1, at(p - 1), "SM");
    at(p) = {};
    m_Changed |= Bit(p) | Bit(p - 1);
    --p;
  }
  if (HasNoLetter(at(p - 1))) {
    // The whole part and a space put before the fraction.
    Rewrite(p, at(p - 1), " ", at(p));
    at(p - 1) = {};
    m_Changed |= Bit(p) | Bit(p - 1);
  }
  return &at(p);
}

// Metric visibilities rewritten in miles; nullptr when the group is not one.
std::string_view* TokenTable::ConvertMetric(int index) {
  const std::string_view entry = m_Tokens[static_cast<std::size_t>(index)];
  char text[32];
  auto write = [&](int whole, std::string_view unit) {
    char* end = std::to_chars(text, text + 16, whole).ptr;
    Rewrite(index, std::string_view(text, static_cast<std::size_t>(end - text)), unit);
    return &m_Tokens[static_cast<std::size_t>(index)];
  };
  if (IsMetricVisibility(entry)) {
    const std::string_view metres = entry.substr(0, 4);
    const double miles = metres == "9999" ? 10.0 : ParseLeadingNumber(metres) * kNauticalMilesPerMetre;
    if (miles < 1.0) return write(TruncateToInt(miles * 10.0), "/10SM");
    return write(TruncateToInt(miles), "SM");
  }
  if (entry.size() >= 2 && entry.substr(entry.size() - 2) == "KM") {
    const char firstTwo[3] = {entry[0], entry[1], '\0'};
    const double miles = std::strtod(firstTwo, nullptr) * kNauticalMilesPerKilometre;
    return write(TruncateToInt(miles), "SM");
  }
  return nullptr;
}

int SplitReport(std::string_view report, int firstSearched) { return g_TokenTable.Split(report, firstSearched); }

std::string_view* FindToken(std::string_view key) { return g_TokenTable.FindToken(key); }

const std::string_view* FindTokenToRead(std::string_view key) { return g_TokenTable.FindTokenToRead(key); }

std::string_view* FindGroup(bool (*shape)(std::string_view)) { return g_TokenTable.FindGroup(shape); }
