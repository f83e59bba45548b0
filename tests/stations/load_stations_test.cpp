// The whole start-up load: station list, then the simulator's map, under g_SimFolder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "stations/sim_folder.h"
#include "stations/metar_stations.h"
#include "stations/sim_map.h"
#include "stations/station_list.h"
#include "support/recording_controls.h"
#include "support/sim_folder.h"
#include "support/station_list_count.h"

namespace {

using altivane::test::CountList;
using altivane::test::ListFigures;
using altivane::test::MapBytes;
using altivane::test::RecordingControls;
using altivane::test::SimFolder;

std::vector<std::string> Keys(const std::vector<METAR_Station*>& list) {
  std::vector<std::string> keys;
  for (const METAR_Station* s : list) keys.push_back(s->m_Key);
  return keys;
}

TEST(LoadStations, ListThenMap) {
  RecordingControls controls;
  SimFolder folder;
  folder.WriteStationList(
      "72;793;KSEA;Seattle;WA;US;4;47-26-41N;122-18-49W;;;130;;P\r\n"
      "72;698;KPDX;Portland;OR;US;4;45-35-27N;122-36-01W;;;8;;P\r\n"
      "--;---;KBLI;Bellingham;WA;US;4;48-47-58N;122-32-21W;;;48;;\r\n"
      "72;786;----;Spokane upper air;WA;US;4;47-41N;117-38W;47-41N;117-38W;728;728;\r\n"
      "71;569;CXBK;Bratts Lake;;Canada;4;50-12N;104-42W;;580;;\r\n");
  folder.WriteMap(MapBytes({
      {"KBLI", 48.8f, 237.46f, 48.0f, "Bellingham"},
      {"KRNT", 47.49f, 237.79f, 8.0f, "Renton"},
      {"KSEA", 47.44f, 237.69f, 130.0f, "Seattle"},
      {"KBLI", 48.8f, 237.46f, 48.0f, "Bellingham"},
  }));
  METAR_Stations stations;
  stations.LoadStations();

  EXPECT_EQ(controls.status.GetText(), "4 FS2004 Stations, 3 METAR Stations and 2 weather Stations read.");
  EXPECT_TRUE(controls.status.Saw("3 METAR Stations and 2 weather Stations read."));
  // KBLI listed twice is one simulator station.
  EXPECT_EQ(Keys(stations.m_SimStations), (std::vector<std::string>{"KBLI", "KRNT", "KSEA"}));
  EXPECT_EQ(stations.Count(), 6u);
  EXPECT_EQ(stations.Lookup("71569")->m_State, kStateIdle);
  EXPECT_EQ(stations.Lookup("KPDX")->m_State, kStateIdle);
  for (const METAR_Station* s : stations.m_SimStations) EXPECT_EQ(s->m_State, kStateToSend) << s->m_Key;
}

TEST(LoadStations, MissingListStillReadsTheMap) {
  RecordingControls controls;
  SimFolder folder;
  folder.WriteMap(MapBytes({{"KRNT", 47.49f, 237.79f, 8.0f, "Renton"}}));
  METAR_Stations stations;
  stations.LoadStations();
  EXPECT_EQ(stations.Count(), 1u);
  ASSERT_EQ(stations.m_SimStations.size(), 1u);
  EXPECT_EQ(controls.status.GetText(), "1 FS2004 Stations, 0 METAR Stations and 0 weather Stations read.");
}

TEST(LoadStations, CountersStartAtZeroOnEveryLoad) {
  SimFolder folder;
  folder.WriteStationList("72;793;KSEA;Seattle;WA;US;4;47-26N;122-18W;;;130;;P\n");
  folder.WriteMap(MapBytes({{"KSEA", 47.44f, 237.69f, 130.0f, "Seattle"}}));
  for (int round = 0; round < 2; ++round) {
    METAR_Stations stations;
    stations.LoadStations();
    EXPECT_EQ(g_MetarStationCount.load(), 1);
    EXPECT_EQ(g_SimStationCount.load(), 1);
  }
}

TEST(LoadStations, RealStationList) {
  ALTIVANE_REQUIRE_SHARED_DATA();
  const auto list = altivane::test::SharedDataDir() / "stations" / "station.txt";
  ASSERT_TRUE(std::filesystem::exists(list)) << list;
  const ListFigures expected = CountList(list);
  ASSERT_LT(expected.longestLine, kStationLinePiece);  // otherwise the counts below differ by design
  ASSERT_EQ(expected.lines, 6519);

  RecordingControls controls;
  SimFolder folder;
  std::filesystem::create_directories(folder.Dir().Path() / "Altivane" / "stations");
  const auto target = folder.Dir().Path() / "Altivane" / "stations" / "station.txt";
  std::error_code linkError;
  std::filesystem::create_symlink(list, target, linkError);
  // Windows (and Wine) may not link files; a copy in the temporary folder serves as well.
  if (linkError) std::filesystem::copy_file(list, target);
  METAR_Stations stations;
  stations.LoadStations();

  EXPECT_EQ(g_MetarStationCount + g_WeatherStationCount, expected.lines);
  EXPECT_EQ(g_MetarStationCount.load(), expected.metar);
  EXPECT_EQ(g_WeatherStationCount.load(), expected.weather);
  EXPECT_EQ(stations.Count(), expected.keys.size());
  EXPECT_TRUE(stations.m_SimStations.empty());
  EXPECT_EQ(controls.status.GetText(), std::to_string(expected.metar) + " METAR Stations and " +
                                           std::to_string(expected.weather) + " weather Stations read.");

  auto* seattle = dynamic_cast<METAR_Station*>(stations.Lookup("KSEA"));
  ASSERT_NE(seattle, nullptr);
  EXPECT_EQ(seattle->m_WmoNumber, "72793");
  EXPECT_NEAR(seattle->m_Latitude, 47.4447, 1e-4);
  EXPECT_NEAR(seattle->m_Longitude, -122.3136, 1e-4);
  EXPECT_EQ(seattle->m_Elevation, 130.0);
  // No elevation: keyed by its WMO number, no surface report.
  Weather_Station* bratts = stations.Lookup("71569");
  ASSERT_NE(bratts, nullptr);
  EXPECT_EQ(dynamic_cast<METAR_Station*>(bratts), nullptr);
  EXPECT_EQ(bratts->m_Name, "Bratts Lake, Sask.");
  EXPECT_EQ(*stations.LookupWmoKey("72793"), "KSEA");
  // A leading zero still makes a WMO number; stations with neither number nor elevation share
  // the key "-----".
  EXPECT_NE(stations.Lookup("08219"), nullptr);
  EXPECT_NE(dynamic_cast<METAR_Station*>(stations.Lookup("-----")), nullptr);
  // The last line of the file.
  EXPECT_EQ(stations.Lookup("ZYTX")->m_Name, "Shenyang / Taokian");
}

// The world list the package and the installer ship, derived from NOAA's list by
// tools/stationlist: every line loads, and the lines the derivation mended read as they should.
TEST(LoadStations, ShippedWorldList) {
  const auto world = altivane::test::SourceDir() / "data" / "world";
  const ListFigures expected = CountList(world / "Altivane" / "stations" / "station.txt");
  ASSERT_LT(expected.longestLine, kStationLinePiece);
  ASSERT_GT(expected.lines, 6000);

  const std::string previous = g_SimFolder;
  g_SimFolder = world.string() + "\\";
  RecordingControls controls;
  METAR_Stations stations;
  stations.LoadStations();
  g_SimFolder = previous;

  EXPECT_EQ(g_MetarStationCount + g_WeatherStationCount, expected.lines);
  EXPECT_EQ(g_MetarStationCount.load(), expected.metar);
  EXPECT_EQ(g_WeatherStationCount.load(), expected.weather);
  EXPECT_EQ(stations.Count(), expected.keys.size());
  // No two lines share a key: no station hides another.
  EXPECT_EQ(expected.keys.size(), static_cast<std::size_t>(expected.lines));
  EXPECT_EQ(stations.Lookup("-----"), nullptr);
  for (const auto& [key, record] : stations.Records()) {
    SCOPED_TRACE(key);
    EXPECT_TRUE(std::abs(record->m_Latitude) <= 90.0 && std::abs(record->m_Longitude) <= 180.0);
    EXPECT_TRUE(std::abs(record->m_UpperAirLatitude) <= 90.0 && std::abs(record->m_UpperAirLongitude) <= 180.0);
    // No sounding on the equator for want of a latitude; a station with a WMO index (the only
    // kind a sounding reaches) has its upper-air position near the station.
    EXPECT_FALSE(record->m_UpperAirLatitude == 0.0 && record->m_UpperAirLongitude != 0.0);
    if (record->m_WmoNumber != "-----" && record->m_UpperAirLatitude != 0.0) {
      EXPECT_NEAR(record->m_UpperAirLatitude, record->m_Latitude, 1.0);
    }
  }

  struct Mended {
    const char* key;
    double latitude, longitude, elevation;
    const char* name;
  };
  const Mended mended[] = {
      {"KCIR", 37.0644, -89.2194, 98, "Cairo, Cairo Regional Airport"},  // state was in the name
      {"CXBK", 50.2, -104.7, 580, "Bratts Lake, Sask."},                 // elevation one field late
      {"KXNA", 36.2819, -94.3069, 392, nullptr},                         // " 094-18-25W"
      {"KSEA", 47.4447, -122.3136, 130, "Seattle, Seattle-Tacoma International Airport"},
  };
  for (const Mended& m : mended) {
    SCOPED_TRACE(m.key);
    auto* station = dynamic_cast<METAR_Station*>(stations.Lookup(m.key));
    ASSERT_NE(station, nullptr);
    EXPECT_NEAR(station->m_Latitude, m.latitude, 1e-3);
    EXPECT_NEAR(station->m_Longitude, m.longitude, 1e-3);
    EXPECT_EQ(station->m_Elevation, m.elevation);
    if (m.name) {
      EXPECT_EQ(station->m_Name, m.name);
    }
  }
  EXPECT_EQ(stations.Lookup("KCIR")->m_Region, "IL");
  EXPECT_NEAR(stations.Lookup("CYPG")->m_UpperAirLatitude, 49.9, 1e-3);    // only its longitude was given
  EXPECT_NEAR(stations.Lookup("KTYR")->m_UpperAirLongitude, -95.4, 1e-3);  // "095-24-  W"
}

TEST(LoadStations, BundledSampleFolder) {
  const auto sample = altivane::test::SourceDir() / "data" / "sample";
  const std::string previous = g_SimFolder;
  g_SimFolder = sample.string() + "\\";
  RecordingControls controls;
  METAR_Stations stations;
  stations.LoadStations();
  g_SimFolder = previous;

  const ListFigures list = CountList(sample / "Altivane" / "stations" / "station.txt");
  EXPECT_EQ(g_MetarStationCount.load(), list.metar);
  EXPECT_EQ(g_WeatherStationCount.load(), list.weather);
  EXPECT_GE(list.metar, 24);
  EXPECT_GE(list.weather, 2);
  EXPECT_GE(stations.m_SimStations.size(), 24u);
  for (const METAR_Station* s : stations.m_SimStations) EXPECT_EQ(s->m_State, kStateToSend) << s->m_Key;
  // The map lists KSEA twice, as the simulator's own file does with some stations; it is one
  // simulator station.
  EXPECT_EQ(std::count(stations.m_SimStations.begin(), stations.m_SimStations.end(), stations.Lookup("KSEA")), 1);

  // The map is exactly what the writer makes of its text source.
  std::ifstream text(altivane::test::SourceDir() / "data" / "sample-src" / "wxmapping.txt", std::ios::binary);
  std::ifstream map(sample / "Weather" / "wxmapping.bin", std::ios::binary);
  std::stringstream textBytes, mapBytes;
  textBytes << text.rdbuf();
  mapBytes << map.rdbuf();
  std::string built, error;
  ASSERT_TRUE(BuildSimMapFromText(textBytes.str(), true, &built, &error)) << error;
  EXPECT_EQ(built, mapBytes.str()) << "data/sample/Weather/wxmapping.bin is out of date: rebuild it with "
                                      "altivane-mapwriter --longitudes-0-360 data/sample-src/wxmapping.txt";
}

}  // namespace
