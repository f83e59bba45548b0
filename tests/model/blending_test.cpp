#include "model/blending.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <sstream>

#include "model/layers.h"
#include "model/neighbour_index.h"
#include "reports/metar_decoder.h"
#include "stations/metar_stations.h"
#include "support/test_data.h"

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
  b->m_LevelTemperature[2] = 20;  // (16 * 10 + 20) / 17 = 10.59 -> 11, rounded once
  b->m_LevelTemperature[3] = 20;  // a's missing: 20 unweighted
  a->m_LevelWindDirection[2] = 350;
  b->m_LevelWindDirection[2] = 10;  // 20 degrees apart the short way: 350 + 20 / 17 = 351
  a->m_LevelPressure[2] = 850;
  b->m_LevelPressure[2] = 850;
  a->m_LevelWindSpeed[12] = 40;  // level 12 takes part like the others

  Weather_Station profile;
  profile.m_Key = "stale";
  BlendTrace trace;
  BlendUpperAir(stations, 0, 0, profile, &trace);
  EXPECT_EQ(profile.m_LevelTemperature[2], 11);
  EXPECT_EQ(profile.m_LevelTemperature[3], 20);
  EXPECT_EQ(profile.m_LevelTemperature[4], -999);
  EXPECT_EQ(profile.m_LevelWindDirection[2], 351);
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
  // Sums are kept whole until the end: 1015 from every pair stays 1015, and pairs either side
  // of north average to north.
  for (Weather_Station* w : {a, b, c}) w->m_LevelPressure[0] = 1015;
  a->m_LevelWindDirection[4] = 350;
  b->m_LevelWindDirection[4] = 10;
  c->m_LevelWindDirection[4] = 350;
  Weather_Station profile;
  BlendTrace trace;
  BlendUpperAir(stations, 0, 0, profile, &trace);
  EXPECT_EQ(profile.m_LevelDewPoint[5], -40);
  EXPECT_EQ(profile.m_LevelHeight[7], 250);
  EXPECT_EQ(profile.m_LevelPressure[0], 1015);
  EXPECT_LE(std::min(profile.m_LevelWindDirection[4], 360 - profile.m_LevelWindDirection[4]), 10);
  // The trace gives the weights the pairs actually used: A-B 16:1, B-C 81:16, each pair half.
  ASSERT_EQ(trace.m_UpperAir.size(), 3u);
  const double bc = 1.0 / (400.0 * 400.0) / (1.0 / (400.0 * 400.0) + 1.0 / (900.0 * 900.0));
  EXPECT_NEAR(trace.m_UpperAir[0].m_Weight, 16.0 / 17 / 2, 1e-6);
  EXPECT_NEAR(trace.m_UpperAir[1].m_Weight, (1.0 / 17 + bc) / 2, 1e-6);
  EXPECT_NEAR(trace.m_UpperAir[2].m_Weight, (1 - bc) / 2, 1e-6);
}

TEST(WeighPairDirection, TheShortWayRoundTheCircle) {
  struct Case {
    const char* name;
    double p, s, q, t;
    double value;
    bool counts;
  } cases[] = {
      {"either side of north, equal weights", 350, 100, 10, 100, 0, true},
      {"either side of north, the other way", 10, 100, 350, 100, 0, true},
      {"16 to 1 across north", 350, 100, 10, 400, 350 + 20.0 / 17, true},
      {"16 to 1 the long way is not taken", 10, 100, 350, 400, 10 - 20.0 / 17, true},
      {"no crossing", 90, 100, 180, 100, 135, true},
      {"both missing", -999, 100, -999, 400, 0, false},
      {"one missing", -999, 100, 200, 400, 200, true},
      {"near within 1 nm", 300, 0.5, 10, 400, 300, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PairWeighting r = WeighPairDirection(c.p, c.s, c.q, c.t);
    EXPECT_NEAR(r.m_Value, c.value, 1e-9);
    EXPECT_EQ(r.m_Counts, c.counts);
  }
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
  for (int i = 0; i < 10; ++i)
    AddUpperAirStation(stations, "N" + std::to_string(i), (i + 1) * 0.1, 0)->m_LevelTemperature[0] = 5;
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
  far->m_Temperature = 20;  // (16 * 10 + 20) / 17 = 10.59 -> 11, rounded once
  near->m_Visibility = 10;
  far->m_Visibility = 5;  // 9.706
  near->m_Pressure = 1000;
  far->m_Pressure = 1017;  // (16 * 1000 + 1017) / 17 = 1001
  near->m_WindDirection = 350;
  far->m_WindDirection = 10;
  near->m_WindSpeed = 18;  // 16.94 -> 17; the calm far one gives the direction no say
  near->m_ObsDate = "2003/11/09";
  near->m_ObsTime = "13:50";
  near->m_Weather = "-RA";
  near->m_Thunderstorm = 1;
  far->m_Weather = "SN";
  METAR_Station* s = static_cast<METAR_Station*>(stations.SetAt("SIMS", std::make_unique<METAR_Station>()));
  s->m_Key = "SIMS";
  BlendTrace trace;
  BlendSurface(stations, *s, &trace);
  EXPECT_EQ(s->m_Temperature, 11);
  EXPECT_NEAR(s->m_Visibility, 9.71, 1e-9);  // 9.706 in hundredths of a mile
  EXPECT_EQ(s->m_Pressure, 1001);
  EXPECT_EQ(s->m_DewPoint, -999);  // neither reports one
  EXPECT_EQ(s->m_WindSpeed, 17);
  EXPECT_EQ(s->m_WindDirection, 350);
  EXPECT_EQ(s->m_WindVariation, 0);  // nearer extreme: 350 itself
  EXPECT_EQ(s->m_Weather, "-RA");
  EXPECT_EQ(s->m_Thunderstorm, 1);
  EXPECT_EQ(s->m_ReportValid, 0);
  EXPECT_EQ(s->m_ReportText.rfind("METAR SIMS 2003/11/09 13:50 AUTO 35017G00KT 10SM ", 0), 0u) << s->m_ReportText;
  ASSERT_EQ(trace.m_Surface.size(), 2u);
  EXPECT_TRUE(trace.m_SurfaceBlended);
  EXPECT_EQ(trace.m_Surface[1].m_Key, "FARR");
  EXPECT_NEAR(trace.m_Surface[1].m_Weight, 1.0 / 17, 1e-6);
  EXPECT_TRUE(trace.m_TakenOverFrom.empty());
}

TEST(BlendSurface, DirectionsEitherSideOfNorthBlendToNorth) {
  METAR_Stations stations;
  AddReportStation(stations, "EAST", 0, 10 * kDegreesPerNm)->m_WindDirection = 350;
  AddReportStation(stations, "WEST", 0, -10 * kDegreesPerNm)->m_WindDirection = 10;
  METAR_Station s;
  BlendSurface(stations, s);  // both calm: the directions alone
  EXPECT_EQ(s.m_WindDirection, 0);
  EXPECT_EQ(s.m_WindVariation, 10);
}

// One neighbour of a blend case: where it lies (nm north and east of the blended station at
// 0, 0) and what it reports besides the defaults of ReportLike.
struct Neighbour {
  double northNm, eastNm;
  std::function<void(METAR_Station&)> set;
};

void ReportLike(METAR_Station& r) {
  r.m_ObsDate = "2023/04/29";
  r.m_ObsTime = "11:53";
  r.m_Temperature = 9;
  r.m_DewPoint = 5;
  r.m_Pressure = 1015;
  r.m_Visibility = 10;
  r.m_CloudCover[0] = 0.0;
}

std::unique_ptr<METAR_Station> BlendOf(const std::vector<Neighbour>& neighbours, BlendTrace* trace = nullptr) {
  METAR_Stations stations;
  int i = 0;
  for (const Neighbour& n : neighbours) {
    METAR_Station* r =
        AddReportStation(stations, "N" + std::to_string(i++), n.northNm * kDegreesPerNm, n.eastNm * kDegreesPerNm);
    ReportLike(*r);
    if (n.set) n.set(*r);
  }
  auto s = std::make_unique<METAR_Station>();
  s->m_Key = "XXXX";
  BlendSurface(stations, *s, trace);
  return s;
}

TEST(BlendSurface, SummedOnceMissingLeftOutBasesAboveGroundWindOnTheCircle) {
  std::vector<Neighbour> tenAlike;
  for (int i = 0; i < 10; ++i) tenAlike.push_back({3.0 + i, 0, nullptr});
  auto windOf = [](int dir, int speed, int gust) {
    return [=](METAR_Station& r) {
      r.m_WindDirection = dir;
      r.m_WindSpeed = speed;
      r.m_WindGust = gust;
    };
  };
  auto overcastRain = [](METAR_Station& r) {
    r.m_CloudCover[0] = 1.0;
    r.m_CloudBase[0] = 300;
    r.m_CloudThickness[0] = 1.0;
    r.m_PrecipIntensity = 0.4;
    r.m_Weather = "RA";
  };
  auto cloudOf = [](int type, int base, double elevation) {
    return [=](METAR_Station& r) {
      r.m_CloudCover[0] = 1.0;
      r.m_CloudBase[0] = base;
      r.m_CloudThickness[0] = 1.0;
      r.m_CloudType[0] = type;
      r.m_Elevation = elevation;
    };
  };
  struct Case {
    const char* name;
    std::vector<Neighbour> neighbours;
    std::optional<int> temperature, dewPoint, pressure, direction, speed, gust, base0, type0;
    std::optional<double> cover0;
    std::string textPart;
  } cases[] = {
      // Truncating after each of ten neighbours lost up to a unit each: 1014 hPa, 06 C.
      {"ten reports alike blend to the same", tenAlike, 9, 5, 1015, {}, {}, {}, {}, {}, {}, "09/05 A1015"},
      {"a neighbour without a value is left out",
       {{10, 0,
         [](METAR_Station& r) {
           r.m_Temperature = kMissing;
           r.m_Pressure = 1020;
         }},
        {20, 0,
         [](METAR_Station& r) {
           r.m_Temperature = 12;
           r.m_Pressure = kMissing;
         }}},
       12,
       5,
       1020,
       {},
       {},
       {},
       {},
       {},
       {},
       "12/05 A1020"},
      {"a value no neighbour has stays missing",
       {{10, 0,
         [](METAR_Station& r) {
           r.m_DewPoint = kMissing;
           r.m_Pressure = kMissing;
         }},
        {20, 0,
         [](METAR_Station& r) {
           r.m_DewPoint = kMissing;
           r.m_Pressure = kMissing;
         }}},
       9,
       kMissing,
       kMissing,
       {},
       {},
       {},
       {},
       {},
       {},
       ""},
      // Weight (10/56)^4 = 0.1 %: as a number, -999 turned the overcast into CLR and lost its rain.
      {"a report without cloud information leaves the clouds alone",
       {{10, 0, overcastRain}, {56, 0, [](METAR_Station& r) { r.m_CloudCover[0] = kMissingReal; }}},
       {},
       {},
       {},
       {},
       {},
       {},
       300,
       {},
       1.0,
       "RA OVC009 "},
      {"no neighbour with cloud information: no cloud",
       {{10, 0, [](METAR_Station& r) { r.m_CloudCover[0] = kMissingReal; }}},
       {},
       {},
       {},
       {},
       {},
       {},
       0,
       {},
       kMissingReal,
       "10SM CLR "},
      // Spokane's OVC045 (1371 m) at 723 m stays 1371 m above the ground three miles away, not
      // OVC068 (the text truncates 4498 ft to 044 as for any base).
      {"cloud bases stay above the ground",
       {{3, 0, cloudOf(0, 1371, 723)}},
       {},
       {},
       {},
       {},
       {},
       {},
       1371,
       {},
       {},
       "OVC044 "},
      {"cloud type from the nearest, not the farthest",
       {{5, 0, cloudOf(kMarkCumulonimbus, 900, 0)},
        {0, 6, cloudOf(kMarkCumulonimbus, 900, 0)},
        {74, 0, cloudOf(kMarkToweringCumulus, 900, 0)}},
       {},
       {},
       {},
       {},
       {},
       {},
       900,
       kMarkCumulonimbus,
       {},
       ""},
      {"350 and 10 degrees make north",
       {{0, 10, windOf(350, 10, 0)}, {0, -10, windOf(10, 10, 0)}},
       {},
       {},
       {},
       0,
       10,
       0,
       {},
       {},
       {},
       "AUTO 00010G00KT "},
      {"the stronger wind pulls harder",
       {{0, 10, windOf(90, 30, 0)}, {0, -10, windOf(180, 10, 0)}},
       {},
       {},
       {},
       108,
       20,
       0,
       {},
       {},
       {},
       "AUTO 10820G00KT "},
      {"a gust at or below the mean wind is none",
       {{0, 10, windOf(165, 10, 20)}, {0, -10, windOf(165, 14, 0)}},
       {},
       {},
       {},
       165,
       12,
       0,
       {},
       {},
       {},
       "AUTO 16512G00KT "},
      {"a gust above the mean wind stays",
       {{0, 10, windOf(165, 10, 30)}, {0, -10, windOf(165, 14, 0)}},
       {},
       {},
       {},
       165,
       12,
       15,
       {},
       {},
       {},
       "AUTO 16512G15KT "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::unique_ptr<METAR_Station> blended = BlendOf(c.neighbours);
    const METAR_Station& s = *blended;
    if (c.temperature) {
      EXPECT_EQ(s.m_Temperature, *c.temperature);
    }
    if (c.dewPoint) {
      EXPECT_EQ(s.m_DewPoint, *c.dewPoint);
    }
    if (c.pressure) {
      EXPECT_EQ(s.m_Pressure, *c.pressure);
    }
    if (c.direction) {
      EXPECT_EQ(s.m_WindDirection, *c.direction);
    }
    if (c.speed) {
      EXPECT_EQ(s.m_WindSpeed, *c.speed);
    }
    if (c.gust) {
      EXPECT_EQ(s.m_WindGust, *c.gust);
    }
    if (c.base0) {
      EXPECT_EQ(s.m_CloudBase[0], *c.base0);
    }
    if (c.type0) {
      EXPECT_EQ(s.m_CloudType[0], *c.type0);
    }
    if (c.cover0) {
      EXPECT_NEAR(s.m_CloudCover[0], *c.cover0, 1e-12);
    }
    EXPECT_NE(s.m_ReportText.find(c.textPart), std::string::npos) << s.m_ReportText;
  }
}

TEST(BlendSurface, ReportTextOfWholeInputsIsThatOfEachNeighbour) {
  // Ten neighbours reporting the same whole values, at different distances and elevations,
  // blend to exactly those values: the text is the one composed from them directly.
  struct Case {
    const char* name;
    std::function<void(METAR_Station&)> set;
    std::string expected;
  } cases[] = {
      {"the worked example",
       [](METAR_Station& r) {
         r.m_WindDirection = 270, r.m_WindSpeed = 15, r.m_WindGust = 25, r.m_Visibility = 6;
         r.m_CloudCover[0] = 1.0, r.m_CloudBase[0] = 366, r.m_Temperature = 5, r.m_DewPoint = 3;
         r.m_Pressure = 1008, r.m_Weather = "RA";
       },
       "METAR XXXX 2003/11/09 13:50 AUTO 27015G25KT 6SM OVC012 05/03 A1008"},
      {"wind without gust, visibility rounded",
       [](METAR_Station& r) { r.m_WindDirection = 5, r.m_WindSpeed = 7, r.m_Visibility = 9.5, r.m_Pressure = 1013; },
       "METAR XXXX 2003/11/09 13:50 AUTO 00507G00KT 10SM CLR 00/00 A1013"},
      {"clear first layer then scattered",
       [](METAR_Station& r) {
         r.m_Visibility = 3, r.m_CloudCover = {0.1, 0.3, 0, 0, 0}, r.m_CloudBase = {0, 1000, 0, 0, 0};
         r.m_Temperature = 1, r.m_DewPoint = 1, r.m_Pressure = 999;
       },
       "METAR XXXX 2003/11/09 13:50 AUTO 00000G00KT 3SM CLR SCT032 01/01 A0999"},
      {"negative temperature and dew point",
       [](METAR_Station& r) { r.m_Visibility = 3, r.m_Temperature = -3, r.m_DewPoint = -7, r.m_Pressure = 1020; },
       "METAR XXXX 2003/11/09 13:50 AUTO 00000G00KT 3SM CLR M03/M07 A1020"},
      {"missing temperature prints in full",
       [](METAR_Station& r) { r.m_Visibility = 3, r.m_Temperature = r.m_DewPoint = r.m_Pressure = kMissing; },
       "METAR XXXX 2003/11/09 13:50 AUTO 00000G00KT 3SM CLR M999/M999 A-0999"},
      {"weather only with an intensity",
       [](METAR_Station& r) {
         r.m_WindDirection = 90, r.m_WindSpeed = 12, r.m_Visibility = 2, r.m_PrecipIntensity = 0.4;
         r.m_Weather = "-SHRA", r.m_CloudCover = {0.2, 0.5, 0.8, 1.0, 0}, r.m_CloudBase = {300, 600, 900, 3000, 0};
         r.m_Temperature = 10, r.m_DewPoint = 8, r.m_Pressure = 1001;
       },
       "METAR XXXX 2003/11/09 13:50 AUTO 09012G00KT 2SM -SHRA FEW009 SCT019 BKN029 OVC098 10/08 A1001"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Neighbour> ten;
    for (int i = 0; i < 10; ++i)
      ten.push_back({2.0 + 3 * i, i % 2 ? 1.0 : -1.0, [&c, i](METAR_Station& r) {
                       r.m_ObsDate = "2003/11/09";
                       r.m_ObsTime = "13:50";
                       r.m_CloudCover[0] = 0.0;
                       r.m_Temperature = r.m_DewPoint = 0;
                       r.m_Elevation = 100.0 * i;
                       c.set(r);
                     }});
    EXPECT_EQ(BlendOf(ten)->m_ReportText, c.expected);
  }
}

TEST(BlendSurface, TraceTellsWhereEachValueCameFrom) {
  BlendTrace trace;
  BlendOf({{10, 0,
            [](METAR_Station& r) {
              r.m_Pressure = kMissing;
              r.m_CloudType[0] = kMarkCumulonimbus;
            }},
           {20, 0,
            [](METAR_Station& r) {
              r.m_Pressure = kMissing;
              r.m_Temperature = kMissing;
            }}},
          &trace);
  auto find = [&](const std::string& name) -> const FieldNote* {
    for (const FieldNote& f : trace.m_Fields)
      if (f.m_Field == name) return &f;
    return nullptr;
  };
  struct Case {
    const char* field;
    ValueOrigin origin;
    int neighbours;
    const char* from;
  } cases[] = {{"m_Temperature", ValueOrigin::kBlend, 1, ""},
               {"m_DewPoint", ValueOrigin::kBlend, 2, ""},
               {"m_Pressure", ValueOrigin::kMissing, 0, ""},
               {"m_CloudType", ValueOrigin::kNearest, 1, "N0"},
               {"m_Weather", ValueOrigin::kNearest, 1, "N0"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    const FieldNote* f = find(c.field);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->m_Origin, c.origin);
    EXPECT_EQ(f->m_Neighbours, c.neighbours);
    EXPECT_EQ(f->m_From, c.from);
  }
}

// Layers blend by height, not by slot: a report's slots in cover order come out in height order,
// none dropped for lying below the slot before it.
TEST(BlendSurface, LayersOutOfHeightOrderAreSortedNotRemoved) {
  METAR_Stations stations;
  METAR_Station* n = AddReportStation(stations, "ONLY", 10 * kDegreesPerNm, 0);
  n->m_Elevation = 100;
  n->m_CloudBase = {900, 400, 700, 0, 0};
  n->m_CloudCover = {0.5, 0.6, 0.7, 0, 0};
  n->m_CloudThickness = {1, 1, 1, 0, 0};
  n->m_CloudType = {0, 9, 10, 0, 0};
  METAR_Station s;
  BlendSurface(stations, s);
  // Above the ground, the neighbour's heights as this one's; each layer keeps its cover and type.
  EXPECT_EQ(s.m_CloudBase, (std::array<std::int32_t, kCloudSlots>{400, 700, 900, 0, 0}));
  EXPECT_EQ(s.m_CloudCover, (std::array<double, kCloudSlots>{0.6, 0.7, 0.5, 0, 0}));
  EXPECT_EQ(s.m_CloudType, (std::array<std::int32_t, kCloudSlots>{9, 10, 0, 0, 0}));
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
  EXPECT_EQ(s.m_ReportText, "METAR LONE   AUTO 00000G00KT 10SM CLR 00/00 A0000");
}

// The grid against the walk over the real station list with the reports of a real cycle: every
// station of the list, and 25,000 other positions (poles, the date line, on top of a station,
// a hair beside one, anywhere) in catalogues that add stations on the same positions as
// others (ties broken by key order), at the poles and on the date line, outside the grid's
// range, and where fewer than ten reports are usable. Slot by slot: the same station and the
// same distance. Each run takes a new random sample (its seed printed, ALTIVANE_TEST_SEED
// replays it), so that runs together cover far more than one run's share.
class NeighbourGrid : public testing::Test {
 protected:
  void SetUp() override {
    if (!altivane::test::HaveSharedData()) GTEST_SKIP() << "real-world data folder not found";
    const std::filesystem::path data = altivane::test::SharedDataDir();
    std::ifstream list(data / "stations" / "station.txt", std::ios::binary);
    ASSERT_TRUE(list);
    for (std::string line; std::getline(list, line);) m_Stations.AddStationLine(line);
    ASSERT_TRUE(m_Stations.ReadMetarFile((data / "metar" / "cycles" / "20230429_12Z.TXT").string(), NoAgeLimit()));
    int valid = 0;
    for (const auto& [key, record] : m_Stations.Records()) {
      if (auto* r = dynamic_cast<METAR_Station*>(record.get())) {
        m_Listed.push_back(r);
        valid += r->m_ReportValid != 0;
      }
    }
    ASSERT_GT(m_Listed.size(), 5000u);
    ASSERT_GT(valid, 1000);
  }

  void Compare(const METAR_Station& station, const char* what) {
    const NeighbourSlots grid = NearestReportingStations(m_Stations, station);
    const NeighbourSlots walk = NearestReportingStationsByWalk(m_Stations, station);
    ++m_Compared;
    bool same = grid.m_Filled == walk.m_Filled;
    for (int i = 0; same && i < kNeighbourCount; ++i)
      same = grid.m_Station[i] == walk.m_Station[i] &&
             std::memcmp(&grid.m_Distance[i], &walk.m_Distance[i], sizeof(double)) == 0;
    if (same || m_Mismatches++ > 0) return;
    std::ostringstream out;
    out.precision(17);
    out << what << " at " << station.m_Latitude << ", " << station.m_Longitude << ": grid";
    for (int i = 0; i < grid.m_Filled; ++i) out << " " << grid.m_Station[i]->m_Key << "=" << grid.m_Distance[i];
    out << ", walk";
    for (int i = 0; i < walk.m_Filled; ++i) out << " " << walk.m_Station[i]->m_Key << "=" << walk.m_Distance[i];
    m_First = out.str();
  }

  const METAR_Station& Pick() { return *m_Listed[m_Random() % m_Listed.size()]; }

  // Positions by turns: a pole, the date line, one station's latitude with another's
  // longitude, on top of a station, a hair beside one, anywhere.
  void ComparePositions(int count, const char* what) {
    std::uniform_real_distribution<double> anyLatitude(-90.0, 90.0), anyLongitude(-180.0, 180.0), unit(0.0, 1.0);
    METAR_Station probe;
    for (int i = 0; i < count; ++i) {
      switch (i % 6) {
        case 0:
          probe.m_Latitude = (i / 6) % 2 ? 90.0 : -90.0;
          probe.m_Longitude = anyLongitude(m_Random);
          break;
        case 1:
          probe.m_Latitude = anyLatitude(m_Random);
          probe.m_Longitude = (i / 6) % 2 ? 180.0 : -180.0;
          break;
        case 2:
          probe.m_Latitude = Pick().m_Latitude;
          probe.m_Longitude = Pick().m_Longitude;
          break;
        case 3: {
          const METAR_Station& s = Pick();
          probe.m_Latitude = s.m_Latitude;
          probe.m_Longitude = s.m_Longitude;
          break;
        }
        case 4: {
          const METAR_Station& s = Pick();
          probe.m_Latitude = std::clamp(s.m_Latitude + (unit(m_Random) - 0.5) * 1e-7, -90.0, 90.0);
          probe.m_Longitude = std::clamp(s.m_Longitude + (unit(m_Random) - 0.5) * 1e-7, -180.0, 180.0);
          break;
        }
        default:
          probe.m_Latitude = anyLatitude(m_Random);
          probe.m_Longitude = anyLongitude(m_Random);
          break;
      }
      Compare(probe, what);
    }
  }

  // Twins of listed stations (keys before and after theirs, some without a usable report),
  // stations at the poles and on the date line, and positions no cell holds.
  void AddTwinsPolesAndDateLine() {
    std::uniform_real_distribution<double> anyLatitude(-90.0, 90.0), anyLongitude(-180.0, 180.0);
    auto add = [&](const std::string& key, double lat, double lon, int reportValid) {
      auto r = std::make_unique<METAR_Station>();
      r->m_Key = key;
      r->m_Latitude = lat;
      r->m_Longitude = lon;
      r->m_ReportValid = reportValid;
      m_Stations.SetAt(key, std::move(r));
    };
    for (int i = 0; i < 400; ++i) {
      const METAR_Station& s = Pick();
      add((i % 2 ? "ZZ" : "00") + std::to_string(i), s.m_Latitude, s.m_Longitude, i % 5 != 0);
    }
    for (int i = 0; i < 60; ++i) add("POLE" + std::to_string(i), i % 2 ? 90.0 : -90.0, anyLongitude(m_Random), 1);
    for (int i = 0; i < 120; ++i) add("DATE" + std::to_string(i), anyLatitude(m_Random), i % 2 ? 180.0 : -180.0, 1);
    add("OUT1", 0.0, 200.0, 1);
    add("OUT2", 95.0, 10.0, 1);
    add("OUT3", std::numeric_limits<double>::quiet_NaN(), 10.0, 1);
  }

  METAR_Stations m_Stations;
  std::vector<METAR_Station*> m_Listed;
  std::mt19937 m_Random{altivane::test::TestSeed()};
  int m_Compared = 0;
  int m_Mismatches = 0;
  std::string m_First;
};

// Each run compares a sample: the walk costs about a third of a millisecond a position natively
// and several times that under the sanitizers.
constexpr int kListedSample = 2000;
constexpr int kPositionSample = 2500;

TEST_F(NeighbourGrid, ListedStations) {
  std::shuffle(m_Listed.begin(), m_Listed.end(), m_Random);
  for (int i = 0; i < kListedSample; ++i) Compare(*m_Listed[i], "listed station");
  EXPECT_EQ(m_Compared, kListedSample);
  EXPECT_EQ(m_Mismatches, 0) << "first: " << m_First;
}

TEST_F(NeighbourGrid, Positions) {
  ComparePositions(kPositionSample, "position");
  EXPECT_EQ(m_Compared, kPositionSample);
  EXPECT_EQ(m_Mismatches, 0) << "first: " << m_First;
}

TEST_F(NeighbourGrid, TwinsPolesDateLineAndOutside) {
  AddTwinsPolesAndDateLine();
  ComparePositions(kPositionSample, "position");
  EXPECT_EQ(m_Compared, kPositionSample);
  EXPECT_EQ(m_Mismatches, 0) << "first: " << m_First;
}

// Fewer usable reports than slots: the search cannot narrow and must still agree.
TEST_F(NeighbourGrid, FewerUsableReportsThanSlots) {
  AddTwinsPolesAndDateLine();
  for (const auto& [key, record] : m_Stations.Records()) record->m_ReportValid = 0;
  for (int i = 0; i < 6; ++i) m_Listed[m_Random() % m_Listed.size()]->m_ReportValid = 1;
  m_Stations.Lookup("POLE1")->m_ReportValid = 1;
  ComparePositions(kPositionSample / 2, "position");
  EXPECT_EQ(m_Compared, kPositionSample / 2);
  EXPECT_EQ(m_Mismatches, 0) << "first: " << m_First;
}

}  // namespace

// Frankfurt with only North American soundings loaded got a profile from 3,000 nm away; a
// sounding within reach still counts, at the same weights.
TEST(BlendUpperAir, SoundingsBeyondReachTakeNoPart) {
  struct Case {
    const char* name;
    std::vector<std::pair<double, double>> soundings;  // positions
    std::int32_t valid;
  } cases[] = {{"only North America", {{40.87, -72.86}, {48.57, -58.55}, {53.3, -60.37}}, 0},
               {"Idar-Oberstein within reach", {{49.69, 7.33}, {40.87, -72.86}}, 1},
               {"none loaded", {}, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    METAR_Stations stations;
    int i = 0;
    for (const auto& [lat, lon] : c.soundings) {
      Weather_Station* u = AddUpperAirStation(stations, "U" + std::to_string(i++), lat, lon);
      u->m_LevelHeight[1] = 110;
      u->m_LevelWindSpeed[1] = 20;
    }
    Weather_Station profile;
    BlendTrace trace;
    BlendUpperAir(stations, 50.03, 8.57, profile, &trace);
    EXPECT_EQ(profile.m_UpperAirValid, c.valid);
    EXPECT_EQ(trace.m_UpperAir.size(), static_cast<std::size_t>(c.valid));
    EXPECT_EQ(profile.m_LevelWindSpeed[1], c.valid ? 20 : kMissing);
    EXPECT_EQ(UpperAirWithinReach(stations, 50.03, 8.57), c.valid == 1);
  }
}

// PHNG sends no visibility group: its 0 is none reported. It neither drags its neighbours'
// visibility down nor gets 0 itself; with no visibility anywhere, clear air.
TEST(BlendSurface, ReportWithoutVisibilityTakesNoPartInTheVisibility) {
  METAR_Stations stations;
  METAR_Station* phng = AddReportStation(stations, "PHNG", 21.45, -157.77);
  phng->m_VisibilityMissing = true;
  METAR_Station* near = AddReportStation(stations, "PHNL", 21.32, -157.92);
  near->m_Visibility = 8.0;
  METAR_Station s;
  s.m_Latitude = 21.40;
  s.m_Longitude = -157.85;
  BlendSurface(stations, s);
  EXPECT_EQ(s.m_Visibility, 8.0);  // PHNG is nearer, and left out
  EXPECT_FALSE(s.m_VisibilityMissing);
  EXPECT_EQ(VisibilityFromNeighbours(stations, *phng), 8.0);
  near->m_VisibilityMissing = true;
  BlendSurface(stations, s);
  EXPECT_EQ(s.m_Visibility, kClearAirVisibility);
  EXPECT_EQ(VisibilityFromNeighbours(stations, *phng), kClearAirVisibility);
}

// Clouds blend as layers. S50 between KSEA (mist, FEW008, BKN015, OVC030) and KBFI (FEW010,
// BKN018, OVC035) got a broken layer at 53 m from the mist slot averaged with KBFI's first.
TEST(BlendSurface, CloudLayersBlendWithLayersNotSlots) {
  METAR_Stations stations;
  METAR_Station* ksea = AddReportStation(stations, "KSEA", 47.4447, -122.3136);
  ksea->m_CloudBase = {0, 243, 457, 914, 0};
  ksea->m_CloudCover = {0.6, 0.2, 0.7, 1.0, 0};
  ksea->m_CloudThickness = {1.0, 0.3, 1.0, 1.5, 0};
  METAR_Station* kbfi = AddReportStation(stations, "KBFI", 47.53, -122.30);
  kbfi->m_CloudBase = {304, 548, 1066, 0, 0};
  kbfi->m_CloudCover = {0.2, 0.7, 1.0, 0, 0};
  kbfi->m_CloudThickness = {0.3, 1.0, 1.5, 0, 0};
  METAR_Station* clear = AddReportStation(stations, "KCLR", 47.0, -122.0);  // far, clear sky
  clear->m_CloudCover = {0.0, 0, 0, 0, 0};
  METAR_Station s;  // S50
  s.m_Latitude = 47.3277;
  s.m_Longitude = -122.2268;
  BlendSurface(stations, s);
  // Mist stays mist on the ground, the ceiling lies between the two reported ones, no layer
  // sinks towards the ground or thins towards clear.
  EXPECT_EQ(s.m_CloudBase[0], 0);
  EXPECT_DOUBLE_EQ(s.m_CloudCover[0], 0.6);
  EXPECT_GE(s.m_CloudBase[1], 243);
  EXPECT_LE(s.m_CloudBase[1], 304);
  EXPECT_LE(s.m_CloudCover[1], 0.25);
  EXPECT_GE(s.m_CloudBase[2], 457);
  EXPECT_LE(s.m_CloudBase[2], 548);
  EXPECT_GT(s.m_CloudCover[2], 0.5);  // a ceiling
  EXPECT_GE(s.m_CloudBase[3], 914);
  EXPECT_NEAR(s.m_CloudCover[3], 1.0, 1e-9);
}

// A far neighbour's shower gave rain of rate 0 and an empty weather group under a dry nearest.
TEST(BlendSurface, PrecipitationComesWithTheNearestReportsWeather) {
  METAR_Stations stations;
  METAR_Station* dry = AddReportStation(stations, "NEAR", 10 * kDegreesPerNm, 0);
  METAR_Station* wet = AddReportStation(stations, "FAR", 200 * kDegreesPerNm, 0);
  wet->m_PrecipIntensity = 0.6;
  wet->m_Weather = "RA";
  METAR_Station s;
  BlendSurface(stations, s);
  EXPECT_EQ(s.m_PrecipIntensity, 0.0);
  EXPECT_EQ(s.m_ReportText.find("RA"), std::string::npos);
  dry->m_PrecipIntensity = 0.04;  // light rain nearest: rain, at a rate of at least 1
  dry->m_Weather = "-RA";
  BlendSurface(stations, s);
  EXPECT_GT(s.m_PrecipIntensity, 0.0);
  EXPECT_NE(s.m_ReportText.find(" -RA "), std::string::npos);
}
