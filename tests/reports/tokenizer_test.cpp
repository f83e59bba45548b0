#include "reports/tokenizer.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace {

struct SplitCase {
  const char* name;
  std::string report;
  std::vector<std::string> tokens;
};

TEST(TokenTableSplit, CutsAtSpacesOnly) {
  const SplitCase cases[] = {
      {"single spaces", "KXYZ 121200Z 27010KT", {"KXYZ", "121200Z", "27010KT"}},
      {"runs and ends", "   KXYZ   121200Z  27010KT   ", {"KXYZ", "121200Z", "27010KT"}},
      {"tab is part of a token", "KXYZ\t121200Z 1", {"KXYZ\t121200Z", "1"}},
      {"empty", "", {}},
      {"only spaces", "     ", {}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.name);
    TokenTable table;
    ASSERT_EQ(table.Split(c.report), static_cast<int>(c.tokens.size()));
    for (int i = 0; i < table.Count(); ++i) EXPECT_EQ(table[i], c.tokens[static_cast<std::size_t>(i)]);
  }
}

std::string Groups(int count) {
  std::string report;
  for (int i = 0; i < count; ++i) report += "G" + std::to_string(i) + " ";
  return report;
}

TEST(TokenTableSplit, KeepsTheFirstFiftyTokens) {
  TokenTable table;
  EXPECT_EQ(table.Split(Groups(TokenTable::kMaxTokens)), TokenTable::kMaxTokens);
  EXPECT_EQ(table[TokenTable::kMaxTokens - 1], "G49");
  EXPECT_EQ(table.Split(Groups(TokenTable::kMaxTokens + 1) + "9999"), TokenTable::kMaxTokens);
  EXPECT_EQ(table[TokenTable::kMaxTokens - 1], "G49");
  // The dropped tail is not searched.
  EXPECT_EQ(table.FindToken("G50"), nullptr);
  EXPECT_EQ(table.FindToken("SM"), nullptr);
}

TEST(TokenTableSplit, LeftoversOfALongerReportAreNotSearched) {
  TokenTable table;
  table.Split("KXYZ 121200Z 27010KT 9999 FG SCT010");
  table.Split("KABC 121300Z 00000KT");
  EXPECT_EQ(table.Count(), 3);
  EXPECT_EQ(table.FindToken("SM"), nullptr);
  table.Split("KABC 121300Z 00000KT OVC020");
  EXPECT_EQ(table.FindToken("FG"), nullptr);
  EXPECT_EQ(table.FindToken("SCT"), nullptr);
}

struct FindCase {
  const char* name;
  std::string report;
  std::string key;
  bool found;
  std::string token;  // the found entry as it reads after the search
};

TEST(FindToken, SearchRules) {
  const FindCase cases[] = {
      {"plain key", "KXYZ 121200Z 27010KT 10SM OVC010", "OVC", true, "OVC010"},
      {"first match wins", "KXYZ 121200Z 27010KT FEW010 SCT020 FEW030", "FEW", true, "FEW010"},
      {"case sensitive", "KXYZ 121200Z 27010KT ovc010", "OVC", false, ""},
      {"tokens 0-2 never searched", "KXYZ 121200Z 27010KT 10SM", "KT", false, ""},
      {"three tokens or fewer", "KXYZ 121200Z OVC010", "OVC", false, ""},
      {"dated report station not searched", "2023/04/29 00:00 KXYZ 290000Z 27010KT", "KXYZ", false, ""},
      {"remarks end the search", "KXYZ 121200Z 27010KT 10SM A2992 RMK AO2 SLP132", "SLP", false, ""},
      {"lightning in remarks unseen", "KXYZ 121200Z 27010KT 10SM RMK LTG DSNT", "LTG", false, ""},
      {"RMK itself is found", "KXYZ 121200Z 27010KT 10SM RMK AO2", "RMK", true, "RMK"},
      {"RMK substring does not stop", "KXYZ 121200Z 27010KT XRMK SLP132", "SLP", true, "SLP132"},
      {"A needs five characters", "KXYZ 121200Z 27010KT AUTO A29921 A2992", "A", true, "A2992"},
      {"A passes over weather", "KXYZ 121200Z 27010KT -SHRA +TSRA CAVOK A2992", "A", true, "A2992"},
      {"A none of five", "KXYZ 121200Z 27010KT AUTO +TSRA", "A", false, ""},
      {"Q passes over squall and missing", "KXYZ 121200Z 27010KT SQ Q//// Q1013", "Q", true, "Q1013"},
      {"Q none with four digits", "KXYZ 121200Z 27010KT SQ QNH3014INS Q////", "Q", false, ""},
      {"V needs seven characters", "KXYZ 121200Z 27010KT VCSH VV001 180V240", "V", true, "180V240"},
      {"V takes variable wind", "KXYZ 121200Z 27010KT VRB05KT", "V", true, "VRB05KT"},
      {"V none of seven", "KXYZ 121200Z 27010KT VCSH VV001", "V", false, ""},
  };
  for (const FindCase& c : cases) {
    SCOPED_TRACE(c.name);
    TokenTable table;
    table.Split(c.report);
    std::string_view* found = table.FindToken(c.key);
    ASSERT_EQ(found != nullptr, c.found);
    if (found) {
      EXPECT_EQ(*found, c.token);
    }
  }
}

struct MilesCase {
  const char* name;
  std::string report;
  bool found;
  std::string token;               // the yielded entry
  std::vector<std::string> after;  // tokens 3.. after the search
};

TEST(FindToken, VisibilityJoiningAndMetricRewriting) {
  const MilesCase cases[] = {
      {"whole miles", "KXYZ 121200Z 27010KT 10SM", true, "10SM", {"10SM"}},
      {"unit apart", "KXYZ 121200Z 27010KT 10 SM", true, "10SM", {"10SM", ""}},
      {"mixed fraction", "KXYZ 121200Z 27010KT 1 1/2SM BR", true, "1 1/2SM", {"", "1 1/2SM", "BR"}},
      {"mixed fraction unit apart", "KXYZ 121200Z 27010KT 1 1/2 SM", true, "1 1/2SM", {"", "1 1/2SM", ""}},
      {"less than", "KXYZ 121200Z 27010KT M1/4SM", true, "M1/4SM", {"M1/4SM"}},
      {"more than", "KXYZ 121200Z 27010KT P6SM", true, "P6SM", {"P6SM"}},
      {"9999 is ten miles", "KXYZ 121200Z 27010KT 9999", true, "10SM", {"10SM"}},
      {"0800 in tenths", "KXYZ 121200Z 27010KT 0800 FG", true, "4/10SM", {"4/10SM", "FG"}},
      {"5000 truncated", "KXYZ 121200Z 27010KT 5000", true, "2SM", {"2SM"}},
      {"0000 is zero tenths", "KXYZ 121200Z 27010KT 0000", true, "0/10SM", {"0/10SM"}},
      {"kilometres", "KXYZ 121200Z 27010KT 10KM", true, "5SM", {"5SM"}},
      {"three digits are no visibility", "KXYZ 121200Z 27010KT 800 OVC010", false, "", {"800", "OVC010"}},
      {"worded group skipped", "KXYZ 121200Z 27010KT 4000-1", false, "", {"4000-1"}},
      {"first metric group is taken", "KXYZ 121200Z 27010KT 3000 1500NE", true, "1SM", {"1SM", "1500NE"}},
      {"metric after remarks", "KXYZ 121200Z 27010KT RMK 9999", false, "", {"RMK", "9999"}},
      {"none", "KXYZ 121200Z 27010KT OVC010", false, "", {"OVC010"}},
      {"no directional variation", "KXYZ 121200Z 27010KT 9999NDV BKN020", true, "10SM", {"10SM", "BKN020"}},
      {"runway state is no visibility", "KXYZ 121200Z 27010KT CAVOK 25090095", false, "", {"CAVOK", "25090095"}},
      {"trend ends the search", "KXYZ 121200Z 27010KT CAVOK TEMPO 3000", false, "", {"CAVOK", "TEMPO", "3000"}},
      {"long digit run is no visibility",
       "KXYZ 121200Z 27010KT 99999999999999999999",
       false,
       "",
       {"99999999999999999999"}},
      {"exponent is no visibility", "KXYZ 121200Z 27010KT 9e999", false, "", {"9e999"}},
  };
  for (const MilesCase& c : cases) {
    SCOPED_TRACE(c.name);
    TokenTable table;
    table.Split(c.report);
    std::string_view* found = table.FindToken("SM");
    ASSERT_EQ(found != nullptr, c.found);
    if (found) {
      EXPECT_EQ(*found, c.token);
    }
    ASSERT_EQ(table.Count(), 3 + static_cast<int>(c.after.size()));
    for (std::size_t i = 0; i < c.after.size(); ++i) EXPECT_EQ(table[3 + static_cast<int>(i)], c.after[i]);
  }
}

TEST(FindToken, MetricRewriteStaysForLaterSearches) {
  TokenTable table;
  table.Split("KXYZ 121200Z 27010KT 0800 FG VV002 M01/M01 Q1021");
  std::string_view* first = table.FindToken("SM");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, &table[3]);
  EXPECT_EQ(table[3], "4/10SM");
  std::string_view* second = table.FindToken("SM");
  EXPECT_EQ(second, first);
  EXPECT_EQ(*second, "4/10SM");
  // The rewritten group now has a slash, and other searches see it as rewritten.
  EXPECT_EQ(table.FindToken("/"), &table[3]);
}

TEST(FindToken, CallerMayEmptyTheEntry) {
  TokenTable table;
  table.Split("KXYZ 121200Z 27010KT 15SM 1/2SM M05/M07");
  std::string_view* found = table.FindToken("SM");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(*found, "15SM");
  table[4] = {};
  EXPECT_EQ(*table.FindToken("/"), "M05/M07");
  // An emptied first entry is passed over like any other.
  table[3] = {};
  EXPECT_EQ(*table.FindToken("/"), "M05/M07");
}

TEST(FindToken, ProcessTableIsPerThread) {
  SplitReport("KXYZ 121200Z 27010KT 0800 FG");
  std::thread other([] {
    SplitReport("KABC 121200Z 27010KT 9999 OVC010");
    std::string_view* found = FindToken("SM");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(*found, "10SM");
  });
  other.join();
  std::string_view* found = FindToken("SM");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(*found, "4/10SM");
  EXPECT_EQ(g_TokenTable[4], "FG");
}

TEST(ParseLeadingNumber, ReadsOnlyFromALeadingDigit) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"", 0.0},   {"/////", 0.0}, {"M05", 0.0},     {"05", 5.0},  {"29.92", 29.92}, {"2SM", 2.0},
      {" 5", 0.0}, {"+5", 0.0},    {"-5", 0.0},      {".5", 0.0},  {"1.5.2", 1.5},   {"1e3", 1000.0},
      {"1e", 1.0}, {"0x10", 0.0},  {"1013", 1013.0}, {"3/4", 3.0}, {"1e-999", 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_DOUBLE_EQ(ParseLeadingNumber(c.text), c.value);
  }
  EXPECT_EQ(ParseLeadingNumber("1e999"), std::numeric_limits<double>::infinity());
  // Reads no further than the view, even when the characters behind it are digits.
  const std::string backing = "12345";
  EXPECT_DOUBLE_EQ(ParseLeadingNumber(std::string_view(backing).substr(0, 2)), 12.0);
}

// Digit runs of every length with every kind of follower: the short-integer shortcut of both
// readers must give what the library parses give.
TEST(ParseNumbers, DigitRunsAsTheLibraryReadsThem) {
  const std::string digits = "90817263544536271809";
  for (std::size_t length = 1; length <= digits.size(); ++length) {
    for (const char* tail : {"", "/", "SM", ".5", "e2", "E-1", "x1", "X", " 7", "KT"}) {
      const std::string text = digits.substr(0, length) + tail;
      SCOPED_TRACE(text);
      EXPECT_EQ(ParseCNumber(text), std::strtod(text.c_str(), nullptr));
      double expected = 0.0;
      std::from_chars(text.data(), text.data() + text.size(), expected);
      EXPECT_EQ(ParseLeadingNumber(text), expected);
    }
  }
  EXPECT_EQ(ParseCNumber("0x1A"), 26.0);
}

TEST(TruncateToInt, TowardZeroAndSaturating) {
  const struct {
    double value;
    int result;
  } cases[] = {
      {2.9, 2},
      {-2.9, -2},
      {0.0, 0},
      {1e300, std::numeric_limits<int>::max()},
      {-1e300, std::numeric_limits<int>::min()},
      {std::numeric_limits<double>::quiet_NaN(), 0},
      {std::numeric_limits<double>::infinity(), std::numeric_limits<int>::max()},
  };
  for (const auto& c : cases) EXPECT_EQ(TruncateToInt(c.value), c.result) << c.value;
}

TEST(UnitConverters, Factors) {
  EXPECT_DOUBLE_EQ(g_Pi, std::numbers::pi);
  EXPECT_DOUBLE_EQ(g_Pi, 4.0 * std::atan(1.0));
  EXPECT_DOUBLE_EQ(KnotsFromMetresPerSecond(1852.0 / 3600.0), 1.0);
  EXPECT_DOUBLE_EQ(KnotsFromMetresPerSecond(10.0), 19.438444924406049);
  EXPECT_DOUBLE_EQ(MetresFromFeet(1000.0), 304.8);
  EXPECT_DOUBLE_EQ(FeetFromMetres(304.8), 1000.0);
  EXPECT_DOUBLE_EQ(HectopascalsFromInches(29.92), 1013.25);
  EXPECT_EQ(static_cast<int>(HectopascalsFromInches(2992 * 0.01) + 0.5), 1013);
  EXPECT_DOUBLE_EQ(RadiansFromDegrees(180.0), std::numbers::pi);
  EXPECT_DOUBLE_EQ(RadiansFromDegrees(-90.0), -std::numbers::pi / 2);
}

}  // namespace
