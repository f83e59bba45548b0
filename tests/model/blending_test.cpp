#include "model/blending.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "stations/metar_stations.h"

namespace {

constexpr double kDegreesPerNm = 1.0 / 60.0;

METAR_Station* AddReportStation(METAR_Stations& stations, const std::string& key, double lat, double lon) {
  auto record = std::make_unique<METAR_Station>();
  record->m_Key = key;
  record->m_Latitude = lat;
  record->m_Longitude = lon;
  record->m_ReportValid = 1;
  return static_cast<METAR_Station*>(stations.SetAt(key, std::move(record)));
}

Weather_Station* AddUpperAirStation(METAR_Stations& stations, const std::string& key, double lat, double lon) {
  auto record = std::make_unique<Weather_Station>();
  record->m_Key = key;
  record->m_Latitude = lat;
  record->m_Longitude = lon;
  record->m_UpperAirValid = 1;
  Weather_Station* stored = stations.SetAt(key, std::move(record));
  stations.m_UpperAirStations.push_back(stored);
  return stored;
}

TEST(SquaredDistance, FlatEarthRules) {
  struct Case {
    const char* name;
    double lat1, lon1, lat2, lon2;
    double expected;
  } cases[] = {
      {"same point", 47.3, 8.5, 47.3, 8.5, 0.0},
      {"one degree of latitude", 10, 20, 11, 20, 3600.0},
      {"across the 180 degree meridian the short way", 0, 179, 0, -179, 120.0 * 120.0},
      {"across the equator", 1, 0, -1, 0, 120.0 * 120.0},
      // Mean latitude across the equator: half the difference of the absolute latitudes, 4 deg.
      {"across the equator with longitude", 10, 0, -2, 1,
       std::pow(std::cos(4.0 * M_PI / 180.0) * 60.0, 2) + 720.0 * 720.0},
      {"same hemisphere, mean latitude", 50, 8, 50, 9, std::pow(std::cos(50.0 * M_PI / 180.0) * 60.0, 2)},
      {"longitude zero counts as the other side", 0, 0, 0, 5, 300.0 * 300.0},
      {"east and west the long way is folded", 0, 100, 0, -100, 9600.0 * 9600.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(static_cast<double>(SquaredDistance(c.lat1, c.lon1, c.lat2, c.lon2)), c.expected,
                1e-9 * (1 + c.expected));
    EXPECT_NEAR(static_cast<double>(SquaredDistance(c.lat2, c.lon2, c.lat1, c.lon1)), c.expected,
                1e-9 * (1 + c.expected));
  }
}

TEST(NeighbourSlots, InsertsInOrderAfterEqualsAndDropsTheEleventh) {
  std::vector<Weather_Station> stations(13);
  NeighbourSlots slots;
  EXPECT_EQ(slots.Filled(), 0);
  EXPECT_EQ(slots.m_Distance[9], kEmptySlotDistance);
  const double distances[] = {50, 10, 30, 10, 90, 70, 20, 60, 80, 40, 100, 5, NAN};
  for (int i = 0; i < 13; ++i) slots.Insert(distances[i], &stations[i]);
  EXPECT_EQ(slots.Filled(), 10);
  const double want[] = {5, 10, 10, 20, 30, 40, 50, 60, 70, 80};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(slots.m_Distance[i], want[i]) << i;
  // The second station at distance 10 went after the first.
  EXPECT_EQ(slots.m_Station[1], &stations[1]);
  EXPECT_EQ(slots.m_Station[2], &stations[3]);
  EXPECT_EQ(slots.m_Station[0], &stations[11]);
}

TEST(WeighPair, MissingValuesNearNeighboursAndInverseSquareWeights) {
  const double kDirMissing = -999.0 / 360.0;
  struct Case {
    const char* name;
    double p, s, q, t;
    double value;
    bool counts;
  } cases[] = {
      {"both missing", -999, 100, -999, 400, 0, false},
      {"both direction fractions missing", kDirMissing, 100, kDirMissing, 400, 0, false},
      {"near one missing: the far one unweighted", -999, 100, 17, 400, 17, true},
      {"far one missing: the near one unweighted", 12, 100, -999, 400, 12, true},
      {"direction fraction missing", kDirMissing, 100, 0.5, 400, 0.5, true},
      {"near within 1 nm taken as it is", 3, 1, 17, 400, 3, true},
      {"far within 1 nm taken when the near is not", 3, 100, 17, 0.5, 17, true},
      {"squared distances 100 and 400 weigh 16 to 1", 0, 100, 17, 400, 1, true},
      {"a zero value is a value", 0, 100, 0, 400, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PairWeighting r = WeighPair(c.p, c.s, c.q, c.t);
    EXPECT_NEAR(r.m_Value, c.value, 1e-12);
    EXPECT_EQ(r.m_Counts, c.counts);
  }
}

TEST(BlendUpperAir, TwoStationsWeighByInverseSquareAndMissingValuesTakeTheOther) {
  METAR_Stations stations;
  Weather_Station* a = AddUpperAirStation(stations, "A", 10 * kDegreesPerNm, 0);  // ~100 sq nm
  Weather_Station* b = AddUpperAirStation(stations, "B", 20 * kDegreesPerNm, 0);  // ~400 sq nm
  a->m_LevelTemperature[2] = 10;
  b->m_LevelTemperature[2] = 20;   // (16 * 10 + 20) / 17 = 10.59 -> 10
  b->m_LevelTemperature[3] = 20;   // a's missing: 20 unweighted
  a->m_LevelWindDirection[2] = 350;
  b->m_LevelWindDirection[2] = 10;  // (16 * 350 + 10) / 17 = 330
  a->m_LevelPressure[2] = 850;
  b->m_LevelPressure[2] = 850;
  a->m_LevelWindSpeed[12] = 40;  // level 12 takes part like the others

  Weather_Station profile;
  profile.m_Key = "stale";
  BlendTrace trace;
  BlendUpperAir(stations, 0, 0, profile, &trace);
  EXPECT_EQ(profile.m_LevelTemperature[2], 10);
  EXPECT_EQ(profile.m_LevelTemperature[3], 20);
  EXPECT_EQ(profile.m_LevelTemperature[4], -999);
  EXPECT_EQ(profile.m_LevelWindDirection[2], 330);
  EXPECT_EQ(profile.m_LevelWindDirection[3], -999);
  EXPECT_EQ(profile.m_LevelPressure[2], 850);
  EXPECT_EQ(profile.m_LevelWindSpeed[12], 40);
  EXPECT_EQ(profile.m_UpperAirValid, 1);
  EXPECT_EQ(profile.m_Key, "");  // the whole base part is replaced
  ASSERT_EQ(trace.m_UpperAir.size(), 2u);
  EXPECT_EQ(trace.m_UpperAir[0].m_Key, "A");
  EXPECT_NEAR(trace.m_UpperAir[0].m_SquaredDistance, 100.0, 1e-6);
  EXPECT_NEAR(trace.m_UpperAir[0].m_Weight, 16.0 / 17.0, 1e-6);
}

TEST(BlendUpperAir, PairsAreFormedBetweenConsecutiveNeighboursOnly) {
  METAR_Stations stations;
  Weather_Station* a = AddUpperAirStation(stations, "A", 10 * kDegreesPerNm, 0);
  Weather_Station* b = AddUpperAirStation(stations, "B", 20 * kDegreesPerNm, 0);
  Weather_Station* c = AddUpperAirStation(stations, "C", 30 * kDegreesPerNm, 0);
  // Only the farthest has the value: pair A-B gives nothing, pair B-C gives it unweighted.
  c->m_LevelDewPoint[5] = -40;
  // B missing: A-B gives A's value, B-C gives C's, each counting once -> (100 + 400) / 2,
  // where one weighting of A and C together would stay near 100.
  a->m_LevelHeight[7] = 100;
  c->m_LevelHeight[7] = 400;
  (void)b;
  Weather_Station profile;
  BlendUpperAir(stations, 0, 0, profile);
  EXPECT_EQ(profile.m_LevelDewPoint[5], -40);
  EXPECT_EQ(profile.m_LevelHeight[7], 250);
}

TEST(BlendUpperAir, OneStationIsTakenUnchangedAndNoneLeavesEverythingMissing) {
  Weather_Station profile;
  METAR_Stations empty;
  BlendUpperAir(empty, 0, 0, profile);
  for (int v : profile.m_LevelTemperature) EXPECT_EQ(v, -999);
  EXPECT_EQ(profile.m_UpperAirValid, 0);

  METAR_Stations one;
  Weather_Station* only = AddUpperAirStation(one, "ONLY", 5, 5);
  for (int level = 0; level < kLevelSlots; ++level) only->m_LevelTemperature[level] = 15 - 5 * level;
  only->m_LevelWindDirection[3] = 275;
  BlendUpperAir(one, 0, 0, profile);
  EXPECT_EQ(profile.m_LevelTemperature, only->m_LevelTemperature);
  EXPECT_EQ(profile.m_LevelWindDirection[3], 275);
  EXPECT_EQ(profile.m_UpperAirValid, 1);
}

TEST(BlendUpperAir, OnlyTheTenNearestTakePart) {
  METAR_Stations stations;
  for (int i = 0; i < 10; ++i) AddUpperAirStation(stations, "N" + std::to_string(i), (i + 1) * 0.1, 0)
      ->m_LevelTemperature[0] = 5;
  AddUpperAirStation(stations, "FAR", 5, 0)->m_LevelTemperature[0] = -50;
  Weather_Station profile;
  BlendUpperAir(stations, 0, 0, profile);
  EXPECT_EQ(profile.m_LevelTemperature[0], 5);
}

TEST(BlendSurface, TwoNeighboursWeighSixteenToOne) {
  METAR_Stations stations;
  METAR_Station* near = AddReportStation(stations, "NEAR", 10 * kDegreesPerNm, 0);
  METAR_Station* far = AddReportStation(stations, "FARR", -20 * kDegreesPerNm, 0);
  near->m_Temperature = 10;
  far->m_Temperature = 20;   // 16/17 * 10 = 9.4 -> 9; + 20/17 = 10.2 -> 10
  near->m_Visibility = 10;
  far->m_Visibility = 5;     // 9.706
  near->m_Pressure = 1000;
  far->m_Pressure = 1017;    // 941.17 -> 941; + 59.82 -> 1000
  near->m_WindDirection = 350;
  far->m_WindDirection = 10;
  near->m_WindSpeed = 18;  // 16.94 -> 16
  near->m_ObsDate = "2003/11/09";
  near->m_ObsTime = "13:50";
  near->m_Weather = "-RA";
  near->m_Thunderstorm = 1;
  far->m_Weather = "SN";
  METAR_Station* s = static_cast<METAR_Station*>(stations.SetAt("SIMS", std::make_unique<METAR_Station>()));
  s->m_Key = "SIMS";
  BlendTrace trace;
  BlendSurface(stations, *s, &trace);
  EXPECT_EQ(s->m_Temperature, 10);
  EXPECT_NEAR(s->m_Visibility, 10 * 16.0 / 17 + 5 / 17.0, 1e-6);
  EXPECT_EQ(s->m_Pressure, 1000);
  EXPECT_EQ(s->m_WindSpeed, 16);
  EXPECT_EQ(s->m_WindDirection, 330);
  EXPECT_EQ(s->m_WindVariation, 20);  // nearer extreme: 350
  EXPECT_EQ(s->m_Weather, "-RA");
  EXPECT_EQ(s->m_Thunderstorm, 1);
  EXPECT_EQ(s->m_ReportValid, 0);
  EXPECT_EQ(s->m_ReportText.rfind("METAR SIMS 2003/11/09 13:50 AUTO 33016G00KT 10SM ", 0), 0u) << s->m_ReportText;
  ASSERT_EQ(trace.m_Surface.size(), 2u);
  EXPECT_TRUE(trace.m_SurfaceBlended);
  EXPECT_EQ(trace.m_Surface[1].m_Key, "FARR");
  EXPECT_NEAR(trace.m_Surface[1].m_Weight, 1.0 / 17, 1e-6);
  EXPECT_TRUE(trace.m_TakenOverFrom.empty());
}

TEST(BlendSurface, DirectionsEitherSideOfNorthBlendArithmetically) {
  METAR_Stations stations;
  AddReportStation(stations, "EAST", 0, 10 * kDegreesPerNm)->m_WindDirection = 350;
  AddReportStation(stations, "WEST", 0, -10 * kDegreesPerNm)->m_WindDirection = 10;
  METAR_Station s;
  BlendSurface(stations, s);
  EXPECT_EQ(s.m_WindDirection, 180);
  EXPECT_EQ(s.m_WindVariation, 170);
}

TEST(BlendSurface, LayerBelowThePreviousIsRemovedAndTheNextComparedAgainstZero) {
  METAR_Stations stations;
  METAR_Station* n = AddReportStation(stations, "ONLY", 10 * kDegreesPerNm, 0);
  n->m_Elevation = 100;
  n->m_CloudBase = {900, 400, 700, 0, 0};
  n->m_CloudCover = {0.5, 0.6, 0.7, 0, 0};
  n->m_CloudThickness = {1, 1, 1, 0, 0};
  n->m_CloudType = {0, 9, 10, 0, 0};
  METAR_Station s;
  BlendSurface(stations, s);
  EXPECT_EQ(s.m_CloudBase[0], 1000);  // neighbour's base plus its elevation
  EXPECT_EQ(s.m_CloudBase[1], 0);
  EXPECT_EQ(s.m_CloudCover[1], 0.0);
  EXPECT_EQ(s.m_CloudThickness[1], 0.0);
  EXPECT_EQ(s.m_CloudType[1], 0);
  EXPECT_EQ(s.m_CloudBase[2], 800);
  EXPECT_EQ(s.m_CloudType[2], 10);
}

TEST(BlendSurface, ReportWithinOneMileIsTakenOverWholeKeepingIdentity) {
  for (double offsetNm : {0.0, 0.5}) {
    SCOPED_TRACE(offsetNm);
    METAR_Stations stations;
    METAR_Station* r = AddReportStation(stations, "EDDF", 50.0 + offsetNm * kDegreesPerNm, 8.5);
    AddReportStation(stations, "EDFE", 50.2, 8.5)->m_Temperature = -30;
    r->m_ReportText = "EDDF 091350Z 27015G25KT 9999 OVC012 05/03 Q1008";
    r->m_ObsDate = "2003/11/09";
    r->m_Temperature = 5;
    r->m_WindGust = 25;
    r->m_CloudBase[0] = 366;
    r->m_CloudCover[0] = 1.0;
    r->m_Pressure = 1008;
    r->m_Weather = "RA";
    r->m_LevelTemperature[3] = -7;
    r->m_SigTemperature = std::make_unique<SigLevelBuffer>();
    (*r->m_SigTemperature)[99] = 42;
    r->m_UpperAirValid = 1;
    r->m_WeatherBlock.bytes[700] = 0x5A;
    r->m_WeatherBlock.stagingCloud[3] = 0x6B;
    r->m_Elevation = 111;

    auto owned = std::make_unique<METAR_Station>();
    owned->m_Key = "SIM1";
    owned->m_Name = "Sim one";
    owned->m_Latitude = 50.0;
    owned->m_Longitude = 8.5;
    owned->m_Elevation = 99;
    owned->m_State = kStateToSend;
    METAR_Station* s = static_cast<METAR_Station*>(stations.SetAt("SIM1", std::move(owned)));
    BlendTrace trace;
    BlendSurface(stations, *s, &trace);
    EXPECT_EQ(trace.m_TakenOverFrom, "EDDF");
    EXPECT_EQ(s->m_ReportText, r->m_ReportText);  // no text composed
    EXPECT_EQ(s->m_ObsDate, "2003/11/09");
    EXPECT_EQ(s->m_Temperature, 5);
    EXPECT_EQ(s->m_WindGust, 25);
    EXPECT_EQ(s->m_CloudBase[0], 366);
    EXPECT_EQ(s->m_Pressure, 1008);
    EXPECT_EQ(s->m_Weather, "RA");
    EXPECT_EQ(s->m_LevelTemperature[3], -7);
    ASSERT_TRUE(s->m_SigTemperature);
    EXPECT_NE(s->m_SigTemperature.get(), r->m_SigTemperature.get());
    EXPECT_EQ((*s->m_SigTemperature)[99], 42);
    EXPECT_EQ(s->m_UpperAirValid, 1);
    EXPECT_EQ(s->m_WeatherBlock.bytes[700], 0x5A);
    EXPECT_EQ(s->m_WeatherBlock.stagingCloud[3], 0x6B);
    EXPECT_EQ(s->m_Key, "SIM1");
    EXPECT_EQ(s->m_Name, "Sim one");
    EXPECT_EQ(s->m_Latitude, 50.0);
    EXPECT_EQ(s->m_Elevation, 99);
    EXPECT_EQ(s->m_State, kStateToSend);
    EXPECT_EQ(s->m_ReportValid, 0);
  }
}

TEST(BlendSurface, OnlyUsableReportsOfReportStationsAreNeighbours) {
  METAR_Stations stations;
  AddReportStation(stations, "GOOD", 0.5, 0)->m_Temperature = 12;
  METAR_Station* stale = AddReportStation(stations, "STAL", 0.1, 0);
  stale->m_ReportValid = 0;
  stale->m_Temperature = -40;
  // A base record cannot carry a report, whatever its flag says.
  auto base = std::make_unique<Weather_Station>();
  base->m_Latitude = 0.05;
  base->m_ReportValid = 1;
  stations.SetAt("01001", std::move(base));
  METAR_Station s;
  BlendTrace trace;
  BlendSurface(stations, s, &trace);
  EXPECT_EQ(s.m_Temperature, 12);
  ASSERT_EQ(trace.m_Surface.size(), 1u);
  EXPECT_EQ(trace.m_Surface[0].m_Key, "GOOD");
}

TEST(BlendSurface, NoReportingStationLeavesClearedValues) {
  METAR_Stations stations;
  METAR_Station s;
  s.m_Key = "LONE";
  s.m_Temperature = 20;
  s.m_Weather = "TS";
  s.m_Thunderstorm = 1;
  s.m_CloudCover[0] = 0.9;
  BlendSurface(stations, s);
  EXPECT_EQ(s.m_Temperature, 0);
  EXPECT_EQ(s.m_CloudCover[0], 0.0);
  EXPECT_EQ(s.m_Thunderstorm, 0);
  EXPECT_EQ(s.m_ReportText, "METAR LONE   AUTO 00000G00KT 0SM CLR 00/00 A0000");
}

}  // namespace
