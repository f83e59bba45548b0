// Splits any bytes as a report and runs every search the decoders make, twice, so that the
// visibility rewriting also meets its own output. Each search is checked against a plain walk
// over a copy of the entries with the same rules (the table answers from its key sets).
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "reports/tokenizer.h"

namespace {

// The search rules as a walk over every entry, on its own copy of the entries.
struct Reference {
  std::array<std::string, TokenTable::kMaxTokens> tokens;
  int count = 0;
  int first = TokenTable::kFirstSearched;

  static bool Digits(std::string_view t) {
    return std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
  }
  static bool Metric(std::string_view t) {
    static constexpr std::string_view kSuffixes[] = {"", "NDV", "N", "NE", "E", "SE", "S", "SW", "W", "NW"};
    if (t.size() < 4 || !Digits(t.substr(0, 4))) return false;
    return std::find(std::begin(kSuffixes), std::end(kSuffixes), t.substr(4)) != std::end(kSuffixes);
  }
  // The index found, or -1; the rewrites are the table's own (copied back after each search).
  int Find(std::string_view key) const {
    if (count <= first) return -1;
    const bool remarks = key == "RMK", miles = key == "SM", pressure = key == "A" || key == "Q";
    for (int i = first; i < count; ++i) {
      const std::string& e = tokens[static_cast<std::size_t>(i)];
      if (!remarks && e == "RMK") return -1;
      if (miles && (e == "TEMPO" || e == "BECMG")) return -1;
      if (e.find(key) != std::string::npos) {
        if (key == "V") {
          if (e.size() == 7) return i;
          continue;
        }
        if (pressure) {
          if (e.size() == 5 && e[0] == key[0] && Digits(std::string_view(e).substr(1))) return i;
          continue;
        }
        return i;
      }
      if (miles && (Metric(e) || (e.size() >= 2 && e.compare(e.size() - 2, 2, "KM") == 0))) return i;
    }
    return -1;
  }
};

constexpr std::string_view kKeys[] = {"KT",  "MPS", "VRB", "V",   "CAVOK", "SM",  "BR", "FG", "SKC",
                                      "CLR", "FEW", "SCT", "BKN", "OVC",   "A",   "Q",  "/",  "TSRA",
                                      "SH",  "RA",  "SN",  "TS",  "LTG",   "RMK", ""};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view report(reinterpret_cast<const char*>(data), size);
  TokenTable table;
  const int count = table.Split(report);
  if (count < 0 || count > TokenTable::kMaxTokens) std::abort();
  for (int i = 0; i < count; ++i) {
    if (table[i].empty() || table[i].find(' ') != std::string::npos) std::abort();
    (void)ParseLeadingNumber(table[i]);
  }
  const TokenTable& entries = table;
  Reference reference;
  reference.count = count;
  reference.first = TokenTable::kFirstSearched;
  for (int i = 0; i < count; ++i) reference.tokens[static_cast<std::size_t>(i)] = entries[i];
  for (int round = 0; round < 2; ++round) {
    for (std::string_view key : kKeys) {
      int expected = reference.Find(key);
      // "SM" alone joins the group before it, which is the entry handed back.
      if (key == "SM" && expected >= 0 && reference.tokens[static_cast<std::size_t>(expected)] == "SM") --expected;
      std::string_view* found = table.FindToken(key);
      if ((found == nullptr) != (expected < 0)) std::abort();
      if (found != nullptr) {
        if (found < &entries[0] || found >= &entries[0] + TokenTable::kMaxTokens) std::abort();
        // The SM search rewrites the entry found (and the two before it): the table's own
        // rewriting is taken over below, so that later searches start from the same entries.
        if (found - &entries[0] != expected) std::abort();
        (void)ParseLeadingNumber(*found);
        // A caller may change what it was handed: the next search must see the change.
        if (key == "SM" && !found->empty()) found->remove_prefix(1);
      }
      for (int i = 0; i < count; ++i) reference.tokens[static_cast<std::size_t>(i)] = entries[i];
    }
  }
  return 0;
}
