#pragma once
// The token table of the surface-report decoder.
//
// A report is split once into the table; the decoder then asks for each group it wants with
// FindToken ("the first token from the fourth on that contains KEY"). FindToken rewrites
// visibility groups in place (fractions joined, metric values turned into "SM" form), and the
// rewritten entries stay for the later searches of the same decoding.
#include <array>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "base/numbers.h"
#include "base/units.h"

// The keys a search finds by a look at a set of entries; any other key is searched for by a
// walk over them.
inline constexpr std::string_view kSearchedKeys[] = {
    "KT", "MPS",  "VRB", "V",  "CAVOK", "SM", "BR", "FG", "SKC", "CLR", "FEW", "SCT", "BKN", "OVC", "A",
    "Q",  "TSRA", "SH",  "DZ", "RA",    "SN", "SG", "IC", "PE",  "GR",  "GS",  "UP",  "TS",  "LTG"};

// A searched key resolved when the program is built, so that the search skips finding it:
// FindTokenToRead(TokenKey("KT")). Any other text does not compile.
class TokenKey {
 public:
  consteval explicit TokenKey(std::string_view key) : m_Index(IndexOf(key)) {}
  int Index() const { return m_Index; }

 private:
  static consteval int IndexOf(std::string_view key) {
    for (int k = 0; k < static_cast<int>(std::size(kSearchedKeys)); ++k)
      if (kSearchedKeys[k] == key) return k;
    throw "not a searched key";
  }
  int m_Index;
};

class TokenTable {
 public:
  // A report has room for this many tokens; tokens after the fiftieth are dropped.
  static constexpr int kMaxTokens = 50;
  // Searches start here: tokens 0 to 2 are station, day-time and one more group, or file date,
  // file time and station.
  static constexpr int kFirstSearched = 3;

  // Cuts the report at spaces (runs of spaces are one separator, no empty tokens) into the
  // table and returns the number of tokens stored; entries past that are empty. The table
  // keeps its own copy of the report, which the entries view.
  // Later searches start at firstSearched (at least 2): the first group after the report's
  // header, which is two tokens long for a report without the file's date and time.
  int Split(std::string_view report, int firstSearched = kFirstSearched);

  // The first entry from index 3 on that contains key, with the rules for "RMK", "V", "A", "Q"
  // and "SM" (see tokenizer.cpp); nullptr when there is none. The caller may narrow or empty
  // the entry, or point it at text that outlives the table's use.
  std::string_view* FindToken(std::string_view key);
  // The same search for an entry only read, not changed (no rewrite but that of "SM").
  const std::string_view* FindTokenToRead(std::string_view key) { return Find(key, false); }
  // The same two for a key resolved when built.
  std::string_view* FindToken(TokenKey key) { return FindKey(key.Index(), true); }
  const std::string_view* FindTokenToRead(TokenKey key) {
    // Most keys a report is searched for it does not hold: told here, without a call.
    if (!m_Changed && key.Index() != TokenKey("SM").Index() &&
        !(m_Holding[static_cast<std::size_t>(key.Index())] & m_Searched))
      return nullptr;
    return FindKey(key.Index(), false);
  }

  // The first non-empty entry before the remarks that has the given shape; nullptr when none.
  std::string_view* FindGroup(bool (*shape)(std::string_view));

  int Count() const { return m_Count; }
  // An entry handed out for change is looked at again by the next search.
  std::string_view& operator[](int index) {
    m_Changed |= Bit(index);
    return m_Tokens[static_cast<std::size_t>(index)];
  }
  const std::string_view& operator[](int index) const { return m_Tokens[static_cast<std::size_t>(index)]; }

 private:
  using Tokens = std::uint64_t;  // a set of entries, bit i for entry i
  static_assert(kMaxTokens <= 64);
  static Tokens Bit(int index) { return Tokens{1} << index; }

  std::string_view* JoinFraction(int index);
  std::string_view* ConvertMetric(int index);
  // Entry index becomes the pieces joined, written into its own rewrite text.
  void Rewrite(int index, std::string_view first, std::string_view second, std::string_view third = {});
  // Which of the searched keys (and the remarks, trend and metric marks) entry index holds.
  void Classify(int index);
  void SetKeys(int index, std::uint32_t keys);
  void ClassifyChanged();
  // The entries a search looks at, from the marks: m_Searched and m_SearchedMiles.
  void UpdateSearched();
  std::string_view* HandOut(int index, bool forChange);
  std::string_view* Find(std::string_view key, bool forChange);
  std::string_view* FindKey(int key, bool forChange);
  std::string_view* ScanToken(std::string_view key);

  // The entries, views of the report's copy or of their rewrite texts. Both keep their room
  // from one report to the next, so that a report is split without allocating.
  std::array<std::string_view, kMaxTokens> m_Tokens;
  std::string m_Text;
  std::array<std::string, kMaxTokens> m_Rewritten;
  std::string m_Scratch;
  int m_Count = 0;
  int m_FirstSearched = kFirstSearched;
  // Per key, the entries holding it; per entry, its keys. Split fills both, so that a search
  // is a look at a set and not a scan of every entry.
  std::array<Tokens, 32> m_Holding{};
  std::array<std::uint32_t, kMaxTokens> m_Keys{};
  // Per entry, the view its keys were found in (empty when it was not classified).
  std::array<std::string_view, kMaxTokens> m_Classified{};
  Tokens m_Changed = 0;  // entries handed out since they were classified
  // Entries after the first remarks group, left unclassified until that group changes: no
  // search reaches them before.
  Tokens m_Deferred = 0;
  // From the first searched entry up to the remarks, and for the miles up to a trend as well.
  Tokens m_Searched = 0;
  Tokens m_SearchedMiles = 0;
};

// The decoder's table. One per thread: a report is split and searched on one thread, so two
// threads reading report files never see each other's tokens.
extern thread_local TokenTable g_TokenTable;

// Split and FindToken on g_TokenTable.
int SplitReport(std::string_view report, int firstSearched = TokenTable::kFirstSearched);
std::string_view* FindToken(std::string_view key);
const std::string_view* FindTokenToRead(std::string_view key);
inline std::string_view* FindToken(TokenKey key) { return g_TokenTable.FindToken(key); }
inline const std::string_view* FindTokenToRead(TokenKey key) { return g_TokenTable.FindTokenToRead(key); }
std::string_view* FindGroup(bool (*shape)(std::string_view));
