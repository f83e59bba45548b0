#include "reports/metar_decoder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/random.h"
#include "stations/station_records.h"

namespace {

using namespace std::chrono;

WeatherTime At(int y, unsigned mo, unsigned d, int h = 0, int mi = 0, int s = 0) {
  return WeatherTime(sys_days(year(y) / month(mo) / day(d))) + hours(h) + minutes(mi) + seconds(s);
}

std::unique_ptr<METAR_Station> Decode(const std::string& report, WeatherTime reference = NoAgeLimit(),
                                      double elevation = 0.0) {
  auto station = std::make_unique<METAR_Station>();
  station->m_Elevation = elevation;
  station->DecodeReport(report, reference);
  return station;
}

// The same groups as they come off the wire and as a dated cycle file hands them over.
std::string Undated(const std::string& groups) { return "KXYZ 291150Z " + groups; }
std::string Dated(const std::string& groups) { return "2023/04/29 11:50 KXYZ " + groups; }

struct Layout {
  const char* name;
  std::string (*wrap)(const std::string&);
};
const Layout kLayouts[] = {{"undated", Undated}, {"dated", Dated}};

struct WindCase {
  const char* group;
  int direction, speed, gust, variation, valid;
};

TEST(DecodeReport, WindGroupsInBothLayouts) {
  const WindCase cases[] = {
      {"25005KT", 250, 5, 0, 0, 1},
      {"25015G25KT", 250, 15, 25, 0, 1},
      {"VRB03KT", 180, 3, 0, 179, 1},
      {"05005MPS", 50, 10, 0, 0, 1},      // 5 m/s = 9.7 kt, to the nearest knot
      {"05005G10MPS", 50, 10, 19, 0, 1},  // gust converted too (19.4 kt)
      {"36004MPS", 360, 8, 0, 0, 1},      // 7.8 kt, not 7
      {"01001MPS", 10, 2, 0, 0, 1},       // 1.9 kt
      {"00000KT", 0, 0, 0, 0, 1},
      {"25030G105KT", 250, 30, 10, 0, 1},  // gusts read from two digits
      {"2505KT", 0, 0, 0, 0, 0},           // K at index 4: no direction, speed 2505 > limit
      {"250400KT", 250, 400, 0, 0, 1},     // at the limit
      {"250401KT", 250, 0, 0, 0, 0},       // one past it
      {"18010KMH", 0, 0, 0, 0, 1},         // km/h is no known unit
      {"/////KT", 0, 0, 0, 0, 1},
      {"123VRB45", 0, 0, 0, 0, 1},  // found by VRB alone: no unit, no direction
      {"25005KT 180V240", 210, 5, 0, 30, 1},
      {"25005KT 350V020", 5, 5, 0, 15, 1},         // sector across north
      {"VRB10G20KT 180V240", 210, 10, 20, 30, 1},  // a sector replaces 180/179
      {"VRB03KT 180V240", 180, 3, 0, 179, 1},      // VRB03KT is the first 7-character V group
      {"25005KT VCSH VV001", 250, 5, 0, 0, 1},
      {"08022G33KT 9999NDV", 80, 22, 33, 0, 1},  // "no directional variation" is no sector
      {"25005KT 12V4567", 250, 5, 0, 0, 1},
  };
  for (const Layout& layout : kLayouts) {
    for (const WindCase& c : cases) {
      SCOPED_TRACE(std::string(layout.name) + " " + c.group);
      auto s = Decode(layout.wrap(std::string(c.group) + " 10SM CLR 18/10 A2992"));
      EXPECT_EQ(s->m_WindDirection, c.direction);
      EXPECT_EQ(s->m_WindSpeed, c.speed);
      EXPECT_EQ(s->m_WindGust, c.gust);
      EXPECT_EQ(s->m_WindVariation, c.variation);
      EXPECT_EQ(s->m_ReportValid, c.valid);
    }
  }
}

struct VisibilityCase {
  const char* groups;
  double visibility;
  bool missing = false;  // no visibility group at all: the 0 is none reported
};

TEST(DecodeReport, VisibilityGroupsInBothLayouts) {
  // Temperature equals dew point, so a visibility of 10 is not stretched afterwards.
  const VisibilityCase cases[] = {
      {"10SM", 10.0},
      {"1 1/2SM", 1.5},
      {"M1/4SM", 0.25},
      {"P6SM", 6.0},
      {"1 1/2 SM", 1.5},
      {"10 SM", 10.0},
      {"9999", 10.0},
      {"0800", 0.4},
      {"5000", 2.0},
      {"10KM", 5.0},
      {"3/4SM", 0.75},
      {"", 0.0, true},
      {"080V150", 0.0, true},  // PHNG: an automatic station without the sensor
      {"0000", 0.0},           // fog: a visibility of 0 is reported
      {"1/0SM", 0.0},
      {"2 1/0SM", 2.0},  // zero denominators add nothing
      {"CAVOK", 10.0},
      {"CAVOK 5SM", 5.0},
      {"9999NDV", 10.0},
      {"4000NDV", 2.0},
      {"1500NE", 0.8},           // automatic stations, minimum with direction
      {"CAVOK 25090095", 10.0},  // a runway state is no visibility
      {"9999 88290195", 10.0},
      {"CAVOK TEMPO 3000", 10.0},  // a forecast visibility is not the present one
      {"12345", 0.0, true},
  };
  for (const Layout& layout : kLayouts) {
    for (const VisibilityCase& c : cases) {
      SCOPED_TRACE(std::string(layout.name) + " " + c.groups);
      auto s = Decode(layout.wrap(std::string("25005KT ") + c.groups + " SKC 15/15 Q1013"));
      EXPECT_DOUBLE_EQ(s->m_Visibility, c.visibility);
      EXPECT_EQ(s->m_VisibilityMissing, c.missing);
      // The fraction is emptied, so the temperature and pressure after it are still found.
      EXPECT_EQ(s->m_Temperature, 15);
      EXPECT_EQ(s->m_Pressure, 1013);
      EXPECT_EQ(s->m_ReportValid, 1);
    }
  }
}

TEST(DecodeReport, UndatedReportKeepsItsWindGroup) {
  auto s = Decode("KLAX 091150Z 25005KT 10SM CLR 18/10 A2992");
  EXPECT_EQ(s->m_WindDirection, 250);
  EXPECT_EQ(s->m_WindSpeed, 5);
}

TEST(DecodeReport, MixedFractionRightAfterWindKeepsPressureAndTemperature) {
  auto s = Decode("KLAX 091150Z 25005KT 1 1/2SM BR OVC004 12/11 A2992");
  EXPECT_EQ(s->m_ReportValid, 1);
  EXPECT_DOUBLE_EQ(s->m_Visibility, 1.5);
  EXPECT_EQ(s->m_Temperature, 12);
  EXPECT_EQ(s->m_DewPoint, 11);
  EXPECT_EQ(s->m_Pressure, 1013);
}

TEST(DecodeReport, CavokClearsSlotZeroAndStretchesVisibility) {
  auto s = Decode(Undated("25005KT CAVOK 20/10 Q1013"));
  EXPECT_DOUBLE_EQ(s->m_CloudCover[0], 0.0);
  EXPECT_DOUBLE_EQ(s->m_CloudThickness[0], 0.0);
  EXPECT_EQ(s->m_CloudBase[0], 0);
  EXPECT_DOUBLE_EQ(s->m_Visibility, 60.0);
}

struct AdjustCase {
  const char* groups;
  double visibility;
};

TEST(DecodeReport, VisibilityOfTenStretchedByTheSpread) {
  const AdjustCase cases[] = {
      {"10SM CLR 20/10 A2992", 60.0},
      {"9999 CLR M02/M04 Q1020", 20.0},
      {"10SM CLR A2992", 10.0},  // no temperature group: both -999
      {"9SM CLR 20/10 A2992", 9.0},
      {"9999 FEW030 20/ Q1013", 10.0},      // no dew point
      {"9999 FEW030 M01/M00 Q1013", 10.0},  // dew point above the temperature never shortens it
      {"CAVOK 02/02 Q1021", 10.0},
  };
  for (const AdjustCase& c : cases) {
    SCOPED_TRACE(c.groups);
    EXPECT_DOUBLE_EQ(Decode(Undated(std::string("25005KT ") + c.groups))->m_Visibility, c.visibility);
  }
}

struct CloudCase {
  const char* groups;
  int slot;
  int base;
  int type;
  double coverMin, coverMax, depthMin, depthMax;
};

TEST(DecodeReport, CloudLayers) {
  const CloudCase cases[] = {
      {"FEW020CB", 0, 609, 9, 0.125, 0.25, 0.0, 1.0},
      {"SCT030TCU", 0, 914, 10, 0.375, 0.5, 0.0, 2.0},
      {"BKN010", 0, 304, 0, 0.625, 1.0, 0.0, 3.0},
      {"OVC008", 0, 243, 0, 1.0, 1.0, 0.0, 4.0},
      {"SCT070", 0, 2133, 0, 0.375, 0.5, 0.49, 2.5},  // above 2000 m: 2.5 - 2 r / 32766
      {"OVC250", 0, 7620, 0, 1.0, 1.0, 0.5, 1.5},     // above 6000 m
      {"SKC", 0, 0, 0, 0.0, 0.0, 0.0, 0.0},
      {"FEW///", 0, 0, 0, 0.125, 0.25, 0.0, 1.0},
      {"BKN020 BKN100 OVC250", 0, 609, 0, 0.625, 1.0, 0.0, 3.0},
      {"BKN020 BKN100 OVC250", 1, 7620, 0, 1.0, 1.0, 0.5, 1.5},
      {"FG BKN010", 0, 0, 0, 0.75, 1.0, 0.5, 4.0},
      {"FG BKN010", 1, 304, 0, 0.625, 1.0, 0.0, 3.0},
      {"BR FEW010", 0, 0, 0, 0.5, 0.75, 0.5, 2.5},
      {"BR FG", 0, 0, 0, 0.75, 1.0, 0.5, 4.0},  // fog replaces mist
      {"FG CLR FEW010 SCT020 BKN030 OVC040", 4, 914, 0, 0.625, 1.0, 0.0, 3.0},
  };
  for (const CloudCase& c : cases) {
    SCOPED_TRACE(std::string(c.groups) + " slot " + std::to_string(c.slot));
    auto s = Decode(Undated(std::string("25005KT 5SM ") + c.groups + " 15/15 A2992"));
    const auto slot = static_cast<std::size_t>(c.slot);
    EXPECT_EQ(s->m_CloudBase[slot], c.base);
    EXPECT_EQ(s->m_CloudType[slot], c.type);
    EXPECT_GE(s->m_CloudCover[slot], c.coverMin);
    EXPECT_LE(s->m_CloudCover[slot], c.coverMax);
    EXPECT_GE(s->m_CloudThickness[slot], c.depthMin);
    EXPECT_LE(s->m_CloudThickness[slot], c.depthMax);
  }
}

TEST(DecodeReport, SixthLayerFindsNoSlotAndNoCloudsLeaveTheMarker) {
  auto full = Decode(Undated("25005KT 5SM FG CLR FEW010 SCT020 BKN030 OVC040 15/15 A2992"));
  for (int base : full->m_CloudBase) EXPECT_NE(base, 1219);  // the OVC040 layer was dropped
  EXPECT_EQ(full->m_CloudBase[4], 914);                      // BKN030 took the last slot
  auto none = Decode(Undated("25005KT 5SM 15/15 A2992"));
  EXPECT_DOUBLE_EQ(none->m_CloudCover[0], kMissingReal);
  EXPECT_DOUBLE_EQ(none->m_CloudCover[1], 0.0);
}

struct PressureCase {
  const char* groups;
  int pressure, valid;
};

TEST(DecodeReport, PressureGroups) {
  const PressureCase cases[] = {
      {"A2992", 1013, 1},          {"Q1009", 1009, 1},
      {"A2992 Q1009", 1009, 1},  // Q wins
      {"", kMissing, 0},           {"Q0000", kMissing, 0},
      {"SQ Q1009", 1009, 1},  // a pressure group is the letter and four digits
      {"+TSRA A2992", 1013, 1},    {"-SHRA A2983", 1010, 1},
      {"-FZRA A3001", 1016, 1},    {"CAVOK A2992", 1013, 1},
      {"CAVOK Q1013", 1013, 1},    {"Q////", kMissing, 0},
      {"QNH3014INS", kMissing, 0}, {"A29921", kMissing, 0},     // 6 characters are passed over
      {"AUTO A3010", 1019, 1},     {"RMK A2992", kMissing, 0},  // remarks end every search
  };
  for (const PressureCase& c : cases) {
    SCOPED_TRACE(c.groups);
    auto s = Decode(Undated(std::string("25005KT 10SM CLR 18/10 ") + c.groups));
    EXPECT_EQ(s->m_Pressure, c.pressure);
    EXPECT_EQ(s->m_ReportValid, c.valid);
  }
}

struct TemperatureCase {
  const char* group;
  int temperature, dewPoint, valid;
  double seaTemperature, seaDewPoint;  // at 1000 m elevation
};

TEST(DecodeReport, TemperatureGroups) {
  const TemperatureCase cases[] = {
      {"18/10", 18, 10, 1, 24.5, 16.5},
      {"M05/M10", -5, -10, 1, 1.5, -3.5},
      {"18/", 18, kMissing, 1, 24.5, kMissingReal},  // no dew point is none, not 0
      {"M03/", -3, kMissing, 1, 3.5, kMissingReal},
      {"M3/", -3, kMissing, 1, 3.5, kMissingReal},
      {"38///", 38, kMissing, 1, 44.5, kMissingReal},
      {"22/XX", 22, kMissing, 1, 28.5, kMissingReal},
      {"14/5", 14, 5, 1, 20.5, 11.5},
      {"M00/M01", 0, -1, 1, 6.5, 5.5},
      // Groups with a slash before the temperature group are passed over.
      {"R24/P1500 18/10", 18, 10, 1, 24.5, 16.5},
      {"R13/4000VP6000FT/D FZFG VV003 M01/M02", -1, -2, 1, 5.5, 4.5},
      {"BKN026/// 05/03", 5, 3, 1, 11.5, 9.5},
      {"//// // ////// 30/23", 30, 23, 1, 36.5, 29.5},
      {"9/9 FEW040 33/21", 33, 21, 1, 39.5, 27.5},
      {"NOTEMP", kMissing, kMissing, 0, kMissingReal, kMissingReal},
      {"//////", kMissing, kMissing, 0, kMissingReal, kMissingReal},
      {"RMK 18/10", kMissing, kMissing, 0, kMissingReal, kMissingReal},
  };
  for (const TemperatureCase& c : cases) {
    SCOPED_TRACE(c.group);
    auto s = Decode(Undated(std::string("25005KT 5SM CLR ") + c.group + " A2992"), NoAgeLimit(), 1000.0);
    EXPECT_EQ(s->m_Temperature, c.temperature);
    EXPECT_EQ(s->m_DewPoint, c.dewPoint);
    EXPECT_EQ(s->m_ReportValid, c.valid);
    EXPECT_DOUBLE_EQ(s->m_SeaLevelTemperature, c.seaTemperature);
    EXPECT_DOUBLE_EQ(s->m_SeaLevelDewPoint, c.seaDewPoint);
  }
}

struct WeatherCase {
  const char* groups;
  const char* weather;
  double intensityMin, intensityMax;
  int thunderstorm;
  double depthMin, depthMax;  // slot 0
};

TEST(DecodeReport, PrecipitationAndThunderstorms) {
  const WeatherCase cases[] = {
      {"-RA", "-RA", 0.0, 0.25, 0, 1.0, 2.0},
      {"RA", "RA", 0.5, 0.75, 0, 1.5, 3.5},
      {"+SN", "+SN", 0.75, 1.0, 0, 3.0, 4.0},
      {"-SHRA", "-SHRA", 0.0, 0.25, 0, 1.0, 2.0},
      {"RA -SN", "-SN", 0.0, 0.25, 0, 1.0, 2.0},  // a later kind overrides
      {"RASN", "RASN", 0.5, 0.75, 0, 1.5, 3.5},
      {"+TSRA", "+TSRA", 0.75, 1.0, 1, 3.0, 4.0},
      {"TS", "", 0.75, 1.0, 1, 3.0, 4.0},          // thunder without precipitation
      {"-TSRA", "-TSRA", 0.0, 0.25, 1, 3.0, 4.0},  // intensity kept, depth from the storm
      {"LTG", "", 0.0, 0.0, 1, 3.0, 4.0},
      {"RMK LTG", "", 0.0, 0.0, 0, 0.0, 0.0},  // lightning in the remarks is not seen
      {"", "", 0.0, 0.0, 0, 0.0, 0.0},
  };
  for (const WeatherCase& c : cases) {
    SCOPED_TRACE(c.groups);
    // Pressure and temperature first, so the remarks case does not hide them.
    auto s = Decode(Undated(std::string("25005KT 5SM 15/15 A2992 ") + c.groups));
    EXPECT_EQ(s->m_Weather, c.weather);
    EXPECT_GE(s->m_PrecipIntensity, c.intensityMin);
    EXPECT_LE(s->m_PrecipIntensity, c.intensityMax);
    EXPECT_EQ(s->m_Thunderstorm, c.thunderstorm);
    EXPECT_GE(s->m_CloudThickness[0], c.depthMin);
    EXPECT_LE(s->m_CloudThickness[0], c.depthMax);
  }
}

TEST(DecodeReport, DrawsInTheOrderOfTheSteps) {
  // Mist (2 draws), fog (2), FEW (cover, depth), BKN (cover, extra cover, depth), light rain (2).
  SeedRandom(12345);
  std::vector<double> u;
  for (int i = 0; i < 11; ++i) u.push_back(NextRandom() / 32767.0);
  SeedRandom(12345);
  auto s = Decode(Undated("25005KT 5SM BR FG FEW010 BKN020 -RA 15/15 A2992"));
  EXPECT_DOUBLE_EQ(s->m_CloudCover[0], 0.75 + 0.25 * u[2]);
  EXPECT_DOUBLE_EQ(s->m_CloudCover[1], 0.125 + 0.125 * u[4]);
  EXPECT_DOUBLE_EQ(s->m_CloudThickness[1], 1.0 * u[5]);
  EXPECT_DOUBLE_EQ(s->m_CloudCover[2], 0.625 + 0.125 * u[6] + 0.25 * u[7]);
  EXPECT_DOUBLE_EQ(s->m_CloudThickness[2], 3.0 * u[8]);
  EXPECT_DOUBLE_EQ(s->m_PrecipIntensity, 0.25 * u[9]);
  EXPECT_DOUBLE_EQ(s->m_CloudThickness[0], 1.0 + u[10]);
}

TEST(DecodeReport, ObservationDateAndTime) {
  struct Case {
    const char* report;
    WeatherTime reference;
    const char* date;
    const char* time;
  };
  const Case cases[] = {
      {"KLAX 091150Z 25005KT", NoAgeLimit(), "2999/12/09", "11:50"},
      {"KLAX 091150Z 25005KT", At(2023, 4, 30), "2023/4/09", "11:50"},
      {"2023/04/29 11:50 KLAX 291150Z", NoAgeLimit(), "2023/04/29", "11:50"},
      {"2023/04/29 12:60 KLAX 291260Z", NoAgeLimit(), "2023/04/29", "12:00"},
      {"KLAX 091299Z", NoAgeLimit(), "2999/12/09", "12:00"},
      {"KLAX 0Z", NoAgeLimit(), "2999/12/0Z", ":"},  // short groups never read past their end
      {"KLAX", NoAgeLimit(), "2999/12/", ":"},
      {"", NoAgeLimit(), "2999/12/", ":"},
      {"2023/04/29", NoAgeLimit(), "2023/04/29", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.report);
    auto s = Decode(c.report, c.reference);
    EXPECT_EQ(s->m_ObsDate, c.date);
    EXPECT_EQ(s->m_ObsTime, c.time);
  }
}

TEST(DecodeReport, AgeCheckAgainstTheReference) {
  struct Case {
    const char* report;
    WeatherTime reference;
    bool decoded;
  };
  const Case cases[] = {
      {"2023/04/29 11:50 KXYZ 25005KT 10SM CLR 18/10 A2992", At(2023, 4, 29, 11, 50), true},
      {"2023/04/29 11:50 KXYZ 25005KT 10SM CLR 18/10 A2992", At(2023, 4, 29, 11, 49, 1), true},  // 59 s later
      {"2023/04/29 11:50 KXYZ 25005KT 10SM CLR 18/10 A2992", At(2023, 4, 29, 11, 49), false},    // 1 min later
      {"2023/04/29 11:50 KXYZ 25005KT 10SM CLR 18/10 A2992", At(2023, 4, 28, 12, 0), false},
      {"2023/04/29 11:50 KXYZ 25005KT 10SM CLR 18/10 A2992", At(2023, 5, 1), true},
      {"KXYZ 291150Z 25005KT 10SM CLR 18/10 A2992", At(2023, 4, 29, 12, 0), true},
      {"KXYZ 291201Z 25005KT 10SM CLR 18/10 A2992", At(2023, 4, 29, 12, 0), false},
      {"KXYZ 311201Z 25005KT 10SM CLR 18/10 A2992", At(2023, 4, 29, 12, 0), true},  // 31 April: unreadable
      {"2023/13/29 11:50 KXYZ 25005KT 10SM CLR 18/10 A2992", At(2000, 1, 1), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.report);
    auto s = std::make_unique<METAR_Station>();
    // A stopped report leaves the usability of the report held before, whichever it was.
    for (std::int32_t validBefore : {0, 1}) {
      s->DecodeReport("KOLD 281150Z 09012KT 3SM OVC010 05/04 Q0999", NoAgeLimit());
      s->m_State = kStateSent;
      s->m_ReportValid = validBefore;
      EXPECT_EQ(s->DecodeReport(c.report, c.reference), c.decoded);
      EXPECT_EQ(s->m_ReportText, c.report);
      EXPECT_EQ(s->m_ReportValid, c.decoded ? 1 : validBefore);
      EXPECT_EQ(s->m_WindDirection, c.decoded ? 250 : 90);
      EXPECT_EQ(s->m_Pressure, c.decoded ? 1013 : 999);
      EXPECT_EQ(s->m_State, c.decoded ? kStateToSend : kStateSent);
    }
  }
}

TEST(DecodeReport, FirstReportNewerThanTheReferenceLeavesTheStationUnusable) {
  METAR_Station s;
  EXPECT_FALSE(s.DecodeReport("2023/04/29 11:50 KXYZ 25005KT 10SM CLR 18/10 A2992", At(2023, 4, 29, 11, 0)));
  EXPECT_EQ(s.m_ReportValid, 0);
  EXPECT_EQ(s.m_Temperature, kMissing);
  EXPECT_EQ(s.m_Pressure, kMissing);
}

TEST(DecodeReport, NilReportKeepsTheEarlierReport) {
  for (const char* nil : {"KSEA 071250Z NIL", "KSEA 071250Z NIL=", "2023/04/07 12:50 KSEA 071250Z NIL"}) {
    SCOPED_TRACE(nil);
    METAR_Station s;
    s.m_State = kStateSent;
    const std::string earlier = "KSEA 071150Z 18005KT 10SM FEW030 12/08 A3001";
    ASSERT_TRUE(s.DecodeReport(earlier, NoAgeLimit()));
    s.m_State = kStateSent;
    EXPECT_FALSE(s.DecodeReport(nil, NoAgeLimit()));
    EXPECT_EQ(s.m_ReportText, earlier);
    EXPECT_EQ(s.m_ObsTime, "11:50");
    EXPECT_EQ(s.m_ReportValid, 1);
    EXPECT_EQ(s.m_Temperature, 12);
    EXPECT_EQ(s.m_Pressure, 1016);
    EXPECT_EQ(s.m_State, kStateSent);
  }
  // NIL in the remarks ("no rain report") is not a NIL report.
  METAR_Station s;
  EXPECT_TRUE(s.DecodeReport("NFFN 161600Z 10005KT 40KM SCT028 25/21 Q1007 NOSIG RMK RR NIL", NoAgeLimit()));
  EXPECT_EQ(s.m_Pressure, 1007);
}

// An undated report whose first group is not the wind: emptying or rewriting it must not end
// the later searches.
TEST(DecodeReport, UndatedReportWithoutAWindUnitKeepsItsGroups) {
  struct Case {
    const char* report;
    double visibility;
    int temperature, pressure;
  } cases[] = {
      {"KAPG 122355Z 00000 7SM SKC 13/06 A2989 RMK LAST", 7.0, 13, 1012},
      {"OPPS 141600Z 00000 4000 HZ SKC 22/13 Q1014", 2.0, 22, 1014},
      {"KXYZ 291150Z 00000 9999 FEW030 18/10 Q1013", 50.0, 18, 1013},
      {"KXYZ 291150Z 1 1/2SM BR OVC004 12/11 A2992", 1.5, 12, 1013},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.report);
    auto s = Decode(c.report);
    EXPECT_EQ(s->m_WindSpeed, 0);
    EXPECT_DOUBLE_EQ(s->m_Visibility, c.visibility);
    EXPECT_EQ(s->m_Temperature, c.temperature);
    EXPECT_EQ(s->m_Pressure, c.pressure);
    EXPECT_EQ(s->m_ReportValid, 1);
  }
}

TEST(DecodeReport, StateMarkedForSendingOnlyForSimulatorStations) {
  const std::pair<std::int32_t, std::int32_t> cases[] = {{0, 0}, {1, 1}, {2, 1}, {-3, 0}};
  for (auto [before, after] : cases) {
    METAR_Station s;
    s.m_State = before;
    s.DecodeReport("KXYZ 291150Z 25005KT 10SM CLR 18/10 A2992", NoAgeLimit());
    EXPECT_EQ(s.m_State, after) << before;
  }
}

TEST(DecodeReport, NewerReportReplacesEveryField) {
  METAR_Station s;
  s.DecodeReport("KXYZ 291150Z 25015G25KT 1/2SM +TSRA FG OVC005CB 18/17 A2992", NoAgeLimit());
  s.DecodeReport("KXYZ 291250Z 00000KT", NoAgeLimit());
  EXPECT_EQ(s.m_WindGust, 0);
  EXPECT_EQ(s.m_Thunderstorm, 0);
  EXPECT_DOUBLE_EQ(s.m_PrecipIntensity, 0.0);
  EXPECT_DOUBLE_EQ(s.m_CloudCover[0], kMissingReal);
  EXPECT_EQ(s.m_CloudType[1], 0);
  EXPECT_EQ(s.m_Temperature, kMissing);
  EXPECT_EQ(s.m_ReportValid, 0);
  EXPECT_EQ(s.m_Weather, "");  // the snow or storm of the report before does not stay
}

TEST(ObservationTime, ParsesOnlyRealDates) {
  EXPECT_EQ(ParseObservationTime("2023/04/29 11:50"), At(2023, 4, 29, 11, 50));
  EXPECT_EQ(ParseObservationTime("2999/12/9 1:05"), At(2999, 12, 9, 1, 5));
  EXPECT_EQ(ParseObservationTime("2024/2/29 00:00"), At(2024, 2, 29));
  for (const char* bad : {"2023/02/29 00:00", "2023/4/31 10:00", "2023/04/29 24:00", "2023/04/29 11:60", "2023/04/29",
                          "23/04/29 11:50", "2023/04/29 11:50 ", "", "2023/0/1 00:00"})
    EXPECT_FALSE(ParseObservationTime(bad)) << bad;
}

TEST(ObservationTime, WholeMinutesTruncateTowardZero) {
  const WeatherTime ref = At(2023, 4, 29, 12);
  EXPECT_EQ(WholeMinutesAfter(ref + seconds(59), ref), 0);
  EXPECT_EQ(WholeMinutesAfter(ref + seconds(60), ref), 1);
  EXPECT_EQ(WholeMinutesAfter(ref - seconds(90), ref), -1);
}

TEST(ReferenceTime, CommandLineForm) {
  EXPECT_EQ(ParseReferenceTime("3000-12-31 00:00"), NoAgeLimit());
  EXPECT_EQ(ParseReferenceTime("2023-04-29"), At(2023, 4, 29));
  EXPECT_FALSE(ParseReferenceTime("2023-04-29T10:00"));
  EXPECT_FALSE(ParseReferenceTime("2023/04/29 10:00"));
}

}  // namespace
