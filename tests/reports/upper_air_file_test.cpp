#include "reports/upper_air_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/progress.h"
#include "stations/metar_stations.h"
#include "support/recording_controls.h"
#include "support/sim_folder.h"
#include "support/test_data.h"

namespace {

using altivane::test::RecordingControls;
using altivane::test::TempDir;

// Two sea-level stations: 12345 keyed by its number, 70398 keyed by its ICAO indicator.
class UpperAirFileTest : public ::testing::Test {
 protected:
  UpperAirFileTest() {
    auto byNumber = std::make_unique<Weather_Station>();
    byNumber->m_Key = byNumber->m_WmoNumber = "12345";
    numbered = m_Stations.SetAt("12345", std::move(byNumber));
    auto byIcao = std::make_unique<METAR_Station>();
    byIcao->m_Key = "PANT";
    byIcao->m_WmoNumber = "70398";
    byIcao->m_Elevation = 37.0;
    icao = m_Stations.SetAt("PANT", std::move(byIcao));
    m_Stations.SetWmoKey("70398", "PANT");
    m_Stations.SetWmoKey("12345", "12345");
  }

  bool Read(const std::string& content) {
    return m_Stations.ReadUpperAirFile(m_Dir.Write("upa.txt", content).string(), StatusFieldProgress(), &m_Counts);
  }

  TempDir m_Dir;
  RecordingControls m_Controls;
  METAR_Stations m_Stations;
  UpperAirCounts m_Counts;  // of the last Read
  Weather_Station* numbered = nullptr;
  Weather_Station* icao = nullptr;
};

const char kTtaaLines[] =
    "TTAA 63001 12345 99012 12019 00000 00105 12226 33515\r\n"
    "92754 10046 35007 85512 05223 32510 70010 00863 32015\r\n"
    "50575 14972 32020=\r\n";
const char kTtbbLines[] =
    "TTBB 63008 12345 00012 12019 11850 05223\r\n"
    "22700 00863=\r\n";

TEST_F(UpperAirFileTest, MessageOverThreeLinesIsDecodedOnceAtItsEnd) {
  ASSERT_TRUE(Read(std::string("USUS50 KWBC 130000\r\n") + kTtaaLines));
  EXPECT_EQ(numbered->m_UpperAirValid, 1);
  EXPECT_EQ(numbered->m_LevelPressure[5], 500);
  ASSERT_EQ(m_Stations.m_UpperAirStations.size(), 1u);
  EXPECT_EQ(m_Stations.m_UpperAirStations[0], numbered);
  EXPECT_EQ(m_Counts.windsAloft, 1);
  EXPECT_EQ(m_Controls.status.History(), std::vector<std::string>{"1 Winds aloft station read and valid."});
}

TEST_F(UpperAirFileTest, ReaderLineRules) {
  struct Case {
    const char* name;
    std::string content;
    int valid;
  };
  const Case cases[] = {
      {"message ending on its first line", "TTAA 63001 12345 99012 12019 00000 00105 12226 33515=\n", 0},
      {"NIL on the first line", "TTAA 63001 12345 NIL\n99012 12019 00000=\n", 0},
      {"NIL further down (decoder)", "TTAA 63001 12345 99012\n12019 NIL=\n", 0},
      {"no wind data", "TTAA 6300/ 12345 99012 12019 00000\n00105 12226 33515=\n", 0},
      {"unknown station", "TTAA 63001 54321 99012 12019 00000\n00105 12226 33515=\n", 0},
      {"begins mid-line after a station prefix", "12345 TTAA 63001 12345 99012 12019 00000\n00105 12226 33515=\n", 1},
      {"begins on the line where the previous one ends",
       "TTAA 63001 54321 99012 12019 00000\n00105 12226 33515= TTAA 63001 12345 99012\n12019 00000 00105 "
       "12226 33515=\n",
       0},
      {"lone CR line ends", "TTAA 63001 12345 99012 12019 00000\r00105 12226 33515=\r", 1},
      {"still open at the end of the file", "TTAA 63001 12345 99012 12019 00000\n00105 12226 33515\n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    METAR_Stations stations;
    auto s = std::make_unique<Weather_Station>();
    s->m_WmoNumber = "12345";
    Weather_Station* station = stations.SetAt("12345", std::move(s));
    ASSERT_TRUE(stations.ReadUpperAirFile(m_Dir.Write("rules.txt", c.content).string()));
    EXPECT_EQ(station->m_UpperAirValid, c.valid);
    EXPECT_EQ(stations.m_UpperAirStations.size(), static_cast<std::size_t>(c.valid));
  }
}

TEST_F(UpperAirFileTest, StationKeyedByIcaoIsFoundThroughItsNumber) {
  ASSERT_TRUE(
      Read("70398 TTAA 60121 70398 99018 12019 00000 00185 12226 33515\n"
           "92836 10046 35007 85532 05223 32510=\n"));
  EXPECT_EQ(icao->m_UpperAirValid, 1);
  EXPECT_EQ(icao->m_LevelHeight[1], 185);
  ASSERT_EQ(m_Stations.m_UpperAirStations.size(), 1u);
  EXPECT_EQ(m_Stations.m_UpperAirStations[0], icao);
}

TEST_F(UpperAirFileTest, FirstValidTtaaWinsAndLastTtbbWins) {
  const std::string later =
      "TTAA 63001 12345 99999 12019 00000 00105 12226 33515\n85512 10046 35007=\n"
      "TTBB 63008 12345 00012 12019\n11900 10046 22850 05223 33800 00000=\n";
  ASSERT_TRUE(Read(std::string(kTtaaLines) + kTtbbLines + later));
  EXPECT_EQ(numbered->m_LevelPressure[0], 1012);
  EXPECT_EQ(m_Stations.m_UpperAirStations.size(), 1u);
  EXPECT_EQ(numbered->m_SigLevelCount, 3);
  EXPECT_EQ((*numbered->m_SigPressure)[0], 900);
  EXPECT_EQ(m_Counts.windsAloft, 1);
  EXPECT_EQ(m_Counts.temperatureAloft, 1);  // one station, sent twice
  EXPECT_EQ(m_Controls.status.GetText(), "1 Temperature aloft station read and valid.");

  // A second file: the station keeps its first TTAA and stays listed once.
  ASSERT_TRUE(Read(later));
  EXPECT_EQ(numbered->m_LevelPressure[0], 1012);
  EXPECT_EQ(m_Stations.m_UpperAirStations.size(), 1u);
  EXPECT_EQ(m_Counts.windsAloft, 0);
  EXPECT_EQ(m_Counts.temperatureAloft, 1);
}

TEST_F(UpperAirFileTest, TtbbBeforeItsTtaaIsDropped) {
  ASSERT_TRUE(Read(std::string(kTtbbLines) + kTtaaLines));
  EXPECT_EQ(numbered->m_UpperAirValid, 1);
  EXPECT_EQ(numbered->m_SigLevelsValid, 0);
  EXPECT_FALSE(numbered->m_SigPressure);
  EXPECT_EQ(m_Counts.temperatureAloft, 0);
}

TEST_F(UpperAirFileTest, MessageLongerThanOneReadIsJoinedFromItsPieces) {
  // One physical line of 400 characters: read in pieces of 255, the "=" in the second.
  std::string line = "TTAA 63001 12345 99012 12019 00000 00105 12226 33515 ";
  while (line.size() < 400) line += "  ";
  ASSERT_TRUE(Read(line + "85512 10046 35007=\n"));
  EXPECT_EQ(numbered->m_UpperAirValid, 1);
  EXPECT_EQ(numbered->m_LevelPressure[2], 850);
}

TEST_F(UpperAirFileTest, RunawayMessageIsDroppedAndTheNextOneRead) {
  std::string content = "TTAA 63001 54321 99012\n";
  for (int i = 0; i < 200; ++i) content += std::string(60, '1') + "\n";
  ASSERT_TRUE(Read(content + kTtaaLines));
  EXPECT_EQ(numbered->m_UpperAirValid, 1);
}

TEST_F(UpperAirFileTest, BinaryBytesAroundMessagesAreJustCharacters) {
  // Bulletin framing (SOH, ETX), a NUL and bytes above 127 before and after the message.
  const char framing[] = "\x01\r\r\n441 \r\r\nUSUS41 KLWX\r\n\0\xff\x80 junk\r\n";
  std::string content(framing, sizeof framing - 1);
  content += kTtaaLines;
  content.insert(content.size() - 2, std::string("\x03\0", 2));
  ASSERT_TRUE(Read(content));
  EXPECT_EQ(numbered->m_UpperAirValid, 1);
  EXPECT_EQ(numbered->m_LevelPressure[5], 500);
}

TEST_F(UpperAirFileTest, FileThatCannotBeOpenedClearsTheCycleFlag) {
  m_Stations.m_CycleFileRead = 1;
  EXPECT_TRUE(Read(""));
  EXPECT_EQ(m_Stations.m_CycleFileRead, 1);
  EXPECT_FALSE(m_Stations.ReadUpperAirFile((m_Dir.Path() / "missing.rdisnd").string()));
  EXPECT_EQ(m_Stations.m_CycleFileRead, 0);
  EXPECT_TRUE(m_Controls.status.History().empty());
}

TEST(FillUpperAirGaps, ZeroTemperaturesAndDewPointsAreFilled) {
  struct Case {
    const char* name;
    LevelTable temperature, height, expected;
  };
  const LevelTable heights = {0, 100, 800, 1500, 3000, 5500, 7500, 9000, 10500, 12000, 14000, 16000, -999};
  const Case cases[] = {
      {"between 10 and 4",
       {15, 10, 0, 4, -5, -20, -30, -40, -50, -55, -55, -55, -999},
       heights,
       {15, 10, 7, 4, -5, -20, -30, -40, -50, -55, -55, -55, -999}},
      // 6 per full 1000 m between 150 hPa (14000 m) and 100 hPa (16000 m), not of the whole height.
      {"top level, 6 per full 1000 m above the level below",
       {15, 10, 5, 4, -5, -20, -30, -40, -50, -55, -55, 0, -999},
       heights,
       {15, 10, 5, 4, -5, -20, -30, -40, -50, -55, -55, -55 - 6 * 2, -999}},
      {"level below the last one decoded",
       {15, 10, 0, -999, -999, -999, -999, -999, -999, -999, -999, -999, -999},
       heights,
       {15, 10, 10 - 6 * 0, -999, -999, -999, -999, -999, -999, -999, -999, -999, -999}},
      {"a filled level serves the next",
       {15, 0, 0, 4, -5, -20, -30, -40, -50, -55, -55, -55, -999},
       heights,
       {15, 7, 5, 4, -5, -20, -30, -40, -50, -55, -55, -55, -999}},
      {"surface keeps its 0",
       {0, 0, 6, 4, -5, -20, -30, -40, -50, -55, -55, -55, -999},
       heights,
       {0, 3, 6, 4, -5, -20, -30, -40, -50, -55, -55, -55, -999}},
      {"nothing known below",
       {-999, 0, 6, 4, -5, -20, -30, -40, -50, -55, -55, -55, -999},
       heights,
       {-999, 0, 6, 4, -5, -20, -30, -40, -50, -55, -55, -55, -999}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Weather_Station s;
    s.m_LevelHeight = c.height;
    s.m_LevelTemperature = c.temperature;
    s.m_LevelDewPoint = c.temperature;
    FillUpperAirGaps(s);
    EXPECT_EQ(s.m_LevelTemperature, c.expected);
    EXPECT_EQ(s.m_LevelDewPoint, c.expected);
  }
}

TEST_F(UpperAirFileTest, GapsAreFilledAfterTheTtaa) {
  // 925 hPa reads 0 C between 10 C (1000 hPa) and 4 C (850 hPa); 100 hPa is missing on top.
  ASSERT_TRUE(
      Read("TTAA 63001 12345 99012 12019 00000 00105 10000 33515\n"
           "92754 ///// 35007 85512 04000 32510 70010 01000 32510 50575 15100 32510\n"
           "40740 26382 32036 30940 42162 31548 25060 52161 31551 20200 55563 31045\n"
           "15390 50571 30031 10650 ///// 28020=\n"));
  EXPECT_EQ(numbered->m_LevelTemperature[2], 7);
  EXPECT_EQ(numbered->m_LevelDewPoint[2], 7);
  // 16500 m, 2600 m above the 150 hPa level at -51 C: not the -149 C of its whole height.
  EXPECT_EQ(numbered->m_LevelTemperature[11], -51 - 6 * 2);
}

// The real bulletins, each read into a fresh catalogue loaded from the real station list.
TEST(UpperAirFileRealData, BulletinsAgainstTheStationList) {
  ALTIVANE_REQUIRE_SHARED_DATA();
  std::ifstream in(altivane::test::SharedDataDir() / "stations" / "station.txt", std::ios::binary);
  const std::string list((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(list.empty());
  struct Case {
    const char* file;
    int winds;
    int temperature;
    const char* key;  // a station to look at, with its number of significant levels
    int sigLevels;
  };
  const Case cases[] = {
      // 616 TTAA (197 NIL) and 598 TTBB: high stations keep their levels below the ground (KSLC);
      // KEYW sends more than 99 significant levels.
      {"noaaport_upperair_20220713_00Z.wmo", 78, 65, "KEYW", 99},
      {"noaaport_upperair_20220713_00Z.wmo", 78, 65, "KSLC", 17},
      {"pyiem_MANANN.txt", 1, 0, "PANT", -1},
      {"20220714_00Z_KLWX.uair", 0, 0, nullptr, 0},  // winds indicator "/", only regional groups
      // One line per message, longer than a read: the "=" comes in a later piece.
      {"redemet_83746_20230223.json", 1, 1, "SBGL", 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    altivane::test::SimFolder folder;
    folder.WriteStationList(list);
    METAR_Stations stations;
    stations.LoadStations();
    RecordingControls controls;
    UpperAirCounts counts;
    ASSERT_TRUE(stations.ReadUpperAirFile((altivane::test::SharedDataDir() / "upperair" / c.file).string(),
                                          StatusFieldProgress(), &counts));
    EXPECT_EQ(counts.windsAloft, c.winds);
    EXPECT_EQ(counts.temperatureAloft, c.temperature);
    EXPECT_EQ(stations.m_UpperAirStations.size(), static_cast<std::size_t>(c.winds));
    if (!c.key) continue;
    const Weather_Station* station = stations.Lookup(c.key);
    ASSERT_NE(station, nullptr);
    EXPECT_EQ(station->m_UpperAirValid, 1);
    EXPECT_EQ(station->m_SigLevelsValid, c.sigLevels >= 0 ? 1 : 0);
    if (c.sigLevels >= 0) {
      EXPECT_EQ(station->m_SigLevelCount, c.sigLevels);
    }
  }
}

TEST(UpperAirFileRealData, QuillayuteProfileFromTheNoaaportFeed) {
  ALTIVANE_REQUIRE_SHARED_DATA();
  altivane::test::SimFolder folder;
  folder.WriteStationList(
      "72;797;KUIL;Quillayute State Airport;WA;United States;4;47-56-15N;124-33-18W;"
      "47-56-03N;124-33-32W;59;54;P\r\n");
  METAR_Stations stations;
  stations.LoadStations();
  ASSERT_TRUE(stations.ReadUpperAirFile(
      (altivane::test::SharedDataDir() / "upperair" / "noaaport_upperair_20220713_00Z.wmo").string()));
  const Weather_Station* s = stations.Lookup("KUIL");
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->m_UpperAirValid, 1);
  const LevelTable pressure = {1010, 1000, 925, 850, 700, 500, 400, 300, 250, 200, 150, 100, -999};
  const LevelTable height = {59, 139, 793, 1501, 3110, 5770, 7440, 9460, 10680, 12130, 13970, 16570, -999};
  const LevelTable temperature = {18, 15, 9, 12, 5, -12, -25, -40, -49, -55, -53, -56, -999};
  const LevelTable dewPoint = {11, 10, 8, -9, -12, -35, -41, -52, -63, -73, -83, -87, -999};
  const LevelTable direction = {230, 290, 330, 225, 220, 225, 225, 225, 225, 225, 225, 220, -999};
  const LevelTable speed = {6, 14, 17, 13, 36, 51, 56, 66, 70, 70, 62, 32, -999};
  EXPECT_EQ(s->m_LevelPressure, pressure);
  EXPECT_EQ(s->m_LevelHeight, height);
  EXPECT_EQ(s->m_LevelTemperature, temperature);
  EXPECT_EQ(s->m_LevelDewPoint, dewPoint);
  EXPECT_EQ(s->m_LevelWindDirection, direction);
  EXPECT_EQ(s->m_LevelWindSpeed, speed);
  EXPECT_EQ(s->m_SigLevelsValid, 1);
  EXPECT_EQ(s->m_SigLevelCount, 98);
}

}  // namespace

// Lines fed straight to the core: the counts go to the given sink only, in order, and the
// status field is left alone.
TEST_F(UpperAirFileTest, LinesFedToTheCoreReportToTheirSinkOnly) {
  struct Texts final : ProgressSink {
    void Show(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
  } sink;
  UpperAirLineReader reader(m_Stations, sink);
  for (const char* line : {"TTAA 63001 12345 99012 12019 00000 00105 12226 33515\n",
                           "92754 10046 35007 85512 05223 32510 70010 00863 32015\n", "50575 14972 32020=\n",
                           "TTBB 63008 12345 00012 12019 11850 05223\n", "22700 00863=\n"})
    reader.AddLine(line);
  EXPECT_EQ(numbered->m_SigLevelsValid, 1);
  EXPECT_EQ(sink.shown, (std::vector<std::string>{"1 Winds aloft station read and valid.",
                                                  "1 Temperature aloft station read and valid."}));
  EXPECT_TRUE(m_Controls.status.History().empty());
}
