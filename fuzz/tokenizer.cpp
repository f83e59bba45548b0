// Splits any bytes as a report and runs every search the decoders make, twice, so that the
// visibility rewriting also meets its own output.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "reports/tokenizer.h"

namespace {
constexpr std::string_view kKeys[] = {"KT", "MPS", "VRB", "V", "CAVOK", "SM", "BR", "FG", "SKC", "CLR",
                                      "FEW", "SCT", "BKN", "OVC", "A", "Q", "/", "TSRA", "SH", "RA",
                                      "SN", "TS", "LTG", "RMK", ""};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view report(reinterpret_cast<const char*>(data), size);
  TokenTable table;
  const int count = table.Split(report);
  if (count < 0 || count > TokenTable::kMaxTokens) std::abort();
  for (int i = 0; i < count; ++i) {
    if (table[i].empty() || table[i].find(' ') != std::string::npos) std::abort();
    (void)ParseLeadingNumber(table[i]);
  }
  for (int round = 0; round < 2; ++round) {
    for (std::string_view key : kKeys) {
      std::string* found = table.FindToken(key);
      if (found == nullptr) continue;
      if (found < &table[0] || found >= &table[0] + TokenTable::kMaxTokens) std::abort();
      (void)ParseLeadingNumber(*found);
    }
  }
  return 0;
}
