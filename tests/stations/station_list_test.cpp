#include "stations/station_list.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "base/numbers.h"
#include "stations/metar_stations.h"
#include "support/recording_controls.h"
#include "support/sim_folder.h"

namespace {

using altivane::test::RecordingControls;
using altivane::test::SimFolder;

TEST(ParseCoordinate, DegreesMinutesSecondsAndHemisphere) {
  const struct {
    const char* field;
    char letter;
    double value;
  } cases[] = {
      {"70-56N", 'N', 70 + 56 / 60.0},
      {"008-40W", 'E', -(8 + 40 / 60.0)},
      {"51-28-39N", 'N', 51 + 28 / 60.0 + 39 / 3600.0},
      {"33-56S", 'N', -(33 + 56 / 60.0)},
      {"51-28", 'N', -(51 + 28 / 60.0)},  // no letter: south
      {"179-59E", 'E', 179 + 59 / 60.0},
      {"000-01W", 'E', -1 / 60.0},
      {"12N30", 'N', 12.5},          // letters separate parts too
      {"--12--30N", 'N', 12.5},      // runs of separators are one
      {"12-30-36-59N", 'N', 12.51},  // a fourth part is ignored
      {"AB-30N", 'N', 0.5},          // a part without a leading digit is 0
      {"12.5-30N", 'N', 13.0},
      {"", 'N', 0.0},
      {"N", 'N', 0.0},
      {"45-00N\n", 'N', 45.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    EXPECT_NEAR(ParseCoordinate(c.field, c.letter), c.value, 1e-12);
  }
}

TEST(ParseFieldNumber, DecimalPrefixLikeStrtod) {
  const struct {
    const char* field;
    double value;
  } cases[] = {
      {"1422", 1422}, {"", 0},     {" 12", 12},      {"\n9", 9},  {"+5", 5},   {"-3.5e1x", -35}, {".5", 0.5},
      {"-.5", -0.5},  {"12.", 12}, {"abc", 0},       {"- 5", 0},  {"0x10", 0}, {"inf", 0},       {"NAN", 0},
      {"INFO", 0},    {"KSEA", 0}, {"72793", 72793}, {"1ABC", 1}, {"0S9", 0},  {"1e-999", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    EXPECT_DOUBLE_EQ(ParseFieldNumber(c.field), c.value);
  }
  EXPECT_EQ(ParseFieldNumber("-1e999"), -std::numeric_limits<double>::infinity());
}

struct LineCase {
  const char* name;
  std::string line;
  std::string key;
  std::string wmo;
  bool metar;
};

constexpr const char* kNorthfield = "01;001;ABCD;Northfield;;Country;6;70-56N;008-40W;;;9;;P\n";

TEST(StationLine, KeyAndClass) {
  const LineCase cases[] = {
      {"indicator and elevation", kNorthfield, "ABCD", "01001", true},
      {"no indicator", "01;001;----;Northfield;;Country;6;70-56N;008-40W;;;9;;P\n", "01001", "01001", false},
      {"no elevation", "01;001;ABCD;Northfield;;Country;6;70-56N;008-40W;;;;;P\n", "01001", "01001", false},
      {"indicator with non-zero digit first", "--;---;1ABC;X;;C;4;10-00N;010-00E;;;5;;\n", "1ABC", "-----", false},
      {"indicator with zero first", "--;---;0S9;X;;C;4;10-00N;010-00E;;;5;;\n", "0S9", "-----", true},
      {"elevation is the last field", "--;---;KBRX;Bordeaux;WY;US;4;41-56N;104-57W;;;1422\n", "KBRX", "-----", true},
      {"line ends before elevation", "72;793;KSEA;Seattle\n", "72793", "72793", false},
      {"empty line", "\n", "\n", "\n", true},
      {"no line break, no fields", "", "", "", true},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    METAR_Stations stations;
    stations.AddStationLine(c.line);
    ASSERT_EQ(stations.Count(), 1u);
    Weather_Station* record = stations.Lookup(c.key);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->m_Key, c.key);
    EXPECT_EQ(record->m_WmoNumber, c.wmo);
    EXPECT_EQ(dynamic_cast<METAR_Station*>(record) != nullptr, c.metar);
    EXPECT_EQ(record->m_State, kStateIdle);
    ASSERT_NE(stations.LookupWmoKey(c.wmo), nullptr);
    EXPECT_EQ(*stations.LookupWmoKey(c.wmo), c.key);
  }
}

TEST(StationLine, FieldsOfAFullLine) {
  auto s = ParseStationLine(
      "72;793;KSEA;Seattle, Seattle-Tacoma;WA;United States;4;47-26-41N;122-18-49W;"
      "47-26-37N;122-18-07W;130;136;P\n");
  EXPECT_EQ(s->m_Key, "KSEA");
  EXPECT_EQ(s->m_WmoNumber, "72793");
  EXPECT_EQ(s->m_Name, "Seattle, Seattle-Tacoma");
  EXPECT_EQ(s->m_Region, "WA");
  EXPECT_DOUBLE_EQ(s->m_Latitude, 47 + 26 / 60.0 + 41 / 3600.0);
  EXPECT_DOUBLE_EQ(s->m_Longitude, -(122 + 18 / 60.0 + 49 / 3600.0));
  EXPECT_DOUBLE_EQ(s->m_UpperAirLatitude, 47 + 26 / 60.0 + 37 / 3600.0);
  EXPECT_DOUBLE_EQ(s->m_UpperAirLongitude, -(122 + 18 / 60.0 + 7 / 3600.0));
  EXPECT_DOUBLE_EQ(s->m_Elevation, 130);
  EXPECT_DOUBLE_EQ(s->m_UpperAirElevation, 136);

  auto n = ParseStationLine(kNorthfield);
  EXPECT_EQ(n->m_Name, "Northfield");
  EXPECT_EQ(n->m_Region, "");
  EXPECT_DOUBLE_EQ(n->m_Latitude, 70 + 56 / 60.0);
  EXPECT_DOUBLE_EQ(n->m_Longitude, -(8 + 40 / 60.0));
  EXPECT_DOUBLE_EQ(n->m_Elevation, 9);
  EXPECT_EQ(n->m_UpperAirLatitude, 0.0);
  EXPECT_EQ(n->m_UpperAirLongitude, 0.0);
  EXPECT_EQ(n->m_UpperAirElevation, 0.0);
}

TEST(StationLine, ConvertedRecordKeepsTheListValues) {
  METAR_Stations stations;
  stations.AddStationLine(
      "72;793;KSEA;Seattle;WA;United States;4;47-26-41N;122-18-49W;47-26-37N;122-18-07W;130;136;P\n");
  auto* s = dynamic_cast<METAR_Station*>(stations.Lookup("KSEA"));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->m_Name, "Seattle");
  EXPECT_EQ(s->m_WmoNumber, "72793");
  EXPECT_DOUBLE_EQ(s->m_UpperAirElevation, 136);
  EXPECT_EQ(s->m_CloudCover[0], kMissingReal);
}

TEST(StationList, CountsDuplicatesAndWmoNumbers) {
  RecordingControls controls;
  SimFolder folder;
  folder.WriteStationList(
      "01;001;ABCD;First;;C;6;70-56N;008-40W;;;9;;P\r\n"
      "01;002;ABCD;Second;;C;6;70-00N;008-00W;;;10;;P\r\n"
      "01;003;----;Upper air;;C;6;70-00N;008-00W;;;10;;P\r\n"
      "\r\n"
      "\r\n"
      "01;004;EFGH;No elevation;;C;6;70-00N;008-00W;;;;;\r\n");
  METAR_Stations stations;
  stations.ReadStationList(folder.Folder());
  EXPECT_EQ(g_MetarStationCount.load(), 4);  // ABCD twice and two empty lines
  EXPECT_EQ(g_WeatherStationCount.load(), 2);
  EXPECT_EQ(stations.Count(), 4u);  // ABCD, 01003, "\n", 01004
  EXPECT_EQ(stations.Lookup("ABCD")->m_Name, "Second");
  EXPECT_EQ(*stations.LookupWmoKey("01001"), "ABCD");
  EXPECT_EQ(*stations.LookupWmoKey("01002"), "ABCD");
  EXPECT_EQ(*stations.LookupWmoKey("01004"), "01004");
  EXPECT_NE(stations.Lookup("\n"), nullptr);
  EXPECT_EQ(controls.status.GetText(), "4 METAR Stations and 2 weather Stations read.");
  EXPECT_EQ(controls.status.History().size(), 6u);  // one text per line
}

TEST(StationList, LongLineIsReadAsTwoLines) {
  SimFolder folder;
  const std::string name(260, 'x');
  folder.WriteStationList("01;001;ABCD;" + name + ";;C;6;70-56N;008-40W;;;9;;P\n01;002;EFGH;B;;C;6;1N;1E;;;3;;\n");
  METAR_Stations stations;
  stations.ReadStationList(folder.Folder());
  // Piece one ends inside the name (no elevation: keyed 01001); the rest is a line of its own
  // whose first field is the tail of the name.
  EXPECT_EQ(g_MetarStationCount.load() + g_WeatherStationCount.load(), 3);
  Weather_Station* first = stations.Lookup("01001");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->m_Name.size(), kStationLinePiece - std::string("01;001;ABCD;").size());
  EXPECT_NE(stations.Lookup("EFGH"), nullptr);
}

TEST(StationList, MissingFileAddsNothing) {
  SimFolder folder;
  METAR_Stations stations;
  g_MetarStationCount = 7;
  stations.ReadStationList(folder.Folder());
  EXPECT_EQ(stations.Count(), 0u);
  EXPECT_EQ(g_MetarStationCount.load(), 0);
  EXPECT_EQ(g_WeatherStationCount.load(), 0);
}

TEST(StationList, BinaryGarbageIsStoredWithoutHarm) {
  SimFolder folder;
  std::string bytes;
  for (int i = 0; i < 2000; ++i) bytes.push_back(static_cast<char>((i * 37 + 11) % 256));
  folder.WriteStationList(bytes);
  METAR_Stations stations;
  stations.ReadStationList(folder.Folder());
  EXPECT_GT(stations.Count(), 0u);
  EXPECT_GE(static_cast<std::size_t>(g_MetarStationCount + g_WeatherStationCount), stations.Count());
}

}  // namespace
