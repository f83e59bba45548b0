#include "stations/sim_map.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stations/metar_stations.h"
#include "stations/station_list.h"
#include "support/recording_controls.h"
#include "support/sim_folder.h"

namespace {

using altivane::test::MapBytes;
using altivane::test::MapEntry;
using altivane::test::MapRecordBytes;
using altivane::test::RecordingControls;
using altivane::test::SimFolder;

const std::uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

TEST(SimMapRecord, DecodesTheFixedPartAndName) {
  // Identifier ABCD, latitude 47.5, longitude 237.75, elevation 131, no name.
  const std::string golden("ABCD\x00\x00\x3e\x42\x00\xc0\x6d\x43\x00\x00\x03\x43\x00", 17);
  EXPECT_EQ(MapRecordBytes({"ABCD", 47.5f, 237.75f, 131.0f, ""}), golden);
  std::size_t offset = 0;
  SimMapRecord record;
  ASSERT_TRUE(DecodeSimMapRecord(Bytes(golden), golden.size(), offset, record));
  EXPECT_EQ(offset, 17u);
  EXPECT_EQ(record.m_Key, "ABCD");
  EXPECT_EQ(record.m_Latitude, 47.5f);
  EXPECT_EQ(SimMapLongitude(record.m_Longitude), -122.25);
  EXPECT_EQ(record.m_Elevation, 131.0f);
  EXPECT_EQ(record.m_Name, "");
  EXPECT_FALSE(DecodeSimMapRecord(Bytes(golden), golden.size(), offset, record));
  EXPECT_EQ(offset, 17u);
}

TEST(SimMapRecord, LongitudeRule) {
  const struct {
    float stored;
    double value;
  } cases[] = {{180.0f, 180.0}, {180.5f, -179.5}, {359.5f, -0.5}, {-10.25f, -10.25}, {0.0f, 0.0}, {237.75f, -122.25}};
  for (const auto& c : cases) EXPECT_EQ(SimMapLongitude(c.stored), c.value) << c.stored;
}

TEST(SimMapRecord, KeyAndNameEndAtZeroBytes) {
  const struct {
    std::string key;
    std::string name;
    std::string wantKey;
    std::string wantName;
  } cases[] = {
      {"S50", "Auburn", "S50", "Auburn"},
      {std::string("A\0CD", 4), std::string("Sea\0ttle", 8), "A", "Sea"},
      {"", "", "", ""},
      {"KSEAX", "Seattle", "KSEA", "Seattle"},  // the writer cuts the key to 4
      {"\xff\xfe", "\x80\x81", "\xff\xfe", "\x80\x81"},
  };
  for (const auto& c : cases) {
    const std::string bytes = MapRecordBytes({c.key, 1, 2, 3, c.name});
    std::size_t offset = 0;
    SimMapRecord record;
    ASSERT_TRUE(DecodeSimMapRecord(Bytes(bytes), bytes.size(), offset, record));
    EXPECT_EQ(record.m_Key, c.wantKey);
    EXPECT_EQ(record.m_Name, c.wantName);
    EXPECT_EQ(offset, bytes.size());
  }
}

TEST(SimMapRecord, TruncatedRecords) {
  const std::string full = MapRecordBytes({"KSEA", 47.4f, -122.3f, 130.0f, "Seattle"});
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    SCOPED_TRACE(cut);
    const std::string bytes = full.substr(0, cut);
    std::size_t offset = 0;
    SimMapRecord record;
    const bool decoded = DecodeSimMapRecord(Bytes(bytes), bytes.size(), offset, record);
    if (cut < kSimMapFixedSize) {
      EXPECT_FALSE(decoded);
      EXPECT_EQ(offset, 0u);
    } else {
      ASSERT_TRUE(decoded);
      EXPECT_EQ(record.m_Name, std::string("Seattle").substr(0, cut - kSimMapFixedSize));
      EXPECT_EQ(offset, cut);
    }
  }
  // A length byte running far past the end takes what is there.
  const std::string overlong = MapRecordBytes({"KSEA", 1, 2, 3, "abc", 255});
  std::size_t offset = 0;
  SimMapRecord record;
  ASSERT_TRUE(DecodeSimMapRecord(Bytes(overlong), overlong.size(), offset, record));
  EXPECT_EQ(record.m_Name, "abc");
  EXPECT_EQ(offset, overlong.size());
  // An offset beyond the end is no record, not a wrap-around.
  offset = overlong.size() + 5;
  EXPECT_FALSE(DecodeSimMapRecord(Bytes(overlong), overlong.size(), offset, record));
}

TEST(SimMapRecord, WriterCutsNamesAt255) {
  const std::string bytes = MapRecordBytes({"KSEA", 1, 2, 3, std::string(300, 'n')});
  EXPECT_EQ(bytes.size(), kSimMapFixedSize + 255);
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[kSimMapNameLengthOffset]), 255);
}

// A catalogue with 3 METAR stations and 2 weather stations from the list.
void LoadList(METAR_Stations& stations) {
  g_MetarStationCount = 0;
  g_WeatherStationCount = 0;
  stations.AddStationLine("72;793;KSEA;Seattle;WA;US;4;47-26-41N;122-18-49W;;;130;;P\n");
  stations.AddStationLine("72;698;KPDX;Portland;OR;US;4;45-35-27N;122-36-01W;;;8;;P\n");
  stations.AddStationLine("--;---;KBLI;Bellingham;WA;US;4;48-47-58N;122-32-21W;;;48;;\n");
  stations.AddStationLine("72;786;----;Spokane upper air;WA;US;4;47-41N;117-38W;47-41N;117-38W;728;728;\n");
  stations.AddStationLine("--;---;1ABC;Odd indicator;WA;US;4;47-00N;120-00W;;;100;;\n");
}

TEST(SimMap, StationsJoinTheCatalogue) {
  RecordingControls controls;
  METAR_Stations stations;
  LoadList(stations);
  const std::string map = MapBytes({
      {"KRNT", 47.49f, 237.79f, 8.0f, "Renton"},
      {"KSEA", 10.0f, 10.0f, 999.0f, "Sim name"},
      {"KRNT", 47.49f, 237.79f, 8.0f, "Renton again"},
      {"1ABC", 47.0f, 240.0f, 100.0f, "Odd"},
  });
  stations.AddSimulatorMap(Bytes(map), map.size());

  EXPECT_EQ(g_SimStationCount.load(), 4);
  EXPECT_EQ(controls.status.GetText(), "4 FS2004 Stations, 3 METAR Stations and 2 weather Stations read.");
  // KRNT listed twice in the map is one simulator station: the pass sets it once.
  ASSERT_EQ(stations.m_SimStations.size(), 3u);
  EXPECT_EQ(stations.Count(), 6u);  // 5 from the list and KRNT once

  METAR_Station* renton = stations.m_SimStations[0];
  EXPECT_EQ(renton, stations.Lookup("KRNT"));
  EXPECT_EQ(renton->m_Name, "Renton");  // the first record of the key stays
  EXPECT_NEAR(renton->m_Longitude, -122.21, 1e-4);
  EXPECT_EQ(renton->m_Region, "");
  EXPECT_EQ(renton->m_WmoNumber, "");
  EXPECT_EQ(renton->m_State, kStateToSend);

  // The list's record serves and keeps the list's values.
  METAR_Station* seattle = stations.m_SimStations[1];
  EXPECT_EQ(seattle, stations.Lookup("KSEA"));
  EXPECT_EQ(seattle->m_Name, "Seattle");
  EXPECT_NEAR(seattle->m_Latitude, 47.4447, 1e-4);
  EXPECT_EQ(seattle->m_Elevation, 130.0);
  EXPECT_EQ(seattle->m_WmoNumber, "72793");
  EXPECT_EQ(seattle->m_State, kStateToSend);

  // A base record under the key is promoted with the list's values.
  METAR_Station* odd = stations.m_SimStations[2];
  EXPECT_EQ(odd, stations.Lookup("1ABC"));
  EXPECT_EQ(odd->m_Name, "Odd indicator");
  EXPECT_EQ(odd->m_State, kStateToSend);
  EXPECT_EQ(*stations.LookupWmoKey("-----"), "1ABC");

  // Stations of the list alone stay out of the cycle.
  EXPECT_EQ(stations.Lookup("KPDX")->m_State, kStateIdle);
  EXPECT_EQ(stations.Lookup("72786")->m_State, kStateIdle);
}

TEST(SimMap, CutShortMapKeepsWhatWasComplete) {
  METAR_Stations stations;
  std::string map = MapBytes({{"KAAA", 1, 2, 3, "A"}, {"KBBB", 1, 2, 3, "Bee"}});
  map += MapRecordBytes({"KCCC", 1, 2, 3, "C"}).substr(0, 16);
  stations.AddSimulatorMap(Bytes(map), map.size());
  ASSERT_EQ(stations.m_SimStations.size(), 2u);
  EXPECT_EQ(stations.m_SimStations[1]->m_Key, "KBBB");
  EXPECT_EQ(stations.Lookup("KCCC"), nullptr);
}

TEST(SimMap, MissingFileAddsNoSimulatorStation) {
  SimFolder folder;
  METAR_Stations stations;
  g_SimStationCount = 5;
  stations.ReadSimulatorMap(folder.Folder());
  EXPECT_TRUE(stations.m_SimStations.empty());
  EXPECT_EQ(g_SimStationCount.load(), 0);
}

TEST(SimMapText, BuildsRecordsAndRejectsBadLines) {
  std::string bytes, error;
  ASSERT_TRUE(BuildSimMapFromText("# comment\n\nKSEA; 47.5 ;-122.25;130;Seattle-Tacoma; Intl\r\nS50;47;-122;25;\n",
                                  true, &bytes, &error))
      << error;
  EXPECT_EQ(bytes, MapRecordBytes({"KSEA", 47.5f, 237.75f, 130.0f, "Seattle-Tacoma; Intl"}) +
                       MapRecordBytes({"S50", 47.0f, 238.0f, 25.0f, ""}));
  ASSERT_TRUE(BuildSimMapFromText("KSEA;47.5;-122.25;130;Seattle", false, &bytes, &error));
  EXPECT_EQ(bytes, MapRecordBytes({"KSEA", 47.5f, -122.25f, 130.0f, "Seattle"}));

  const struct {
    const char* text;
    const char* message;
  } bad[] = {
      {"KSEA;47.5;-122.25;130\n", "line 1: expected"}, {"\nKSEAX;47.5;-122.25;130;n\n", "line 2: the key"},
      {";47.5;-122.25;130;n\n", "line 1: the key"},    {"KSEA;47.5N;-122.25;130;n\n", "line 1: latitude"},
      {"KSEA;47.5;;130;n\n", "line 1: latitude"},
  };
  for (const auto& c : bad) {
    SCOPED_TRACE(c.text);
    EXPECT_FALSE(BuildSimMapFromText(c.text, false, &bytes, &error));
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
  }
}

}  // namespace
