#include "reports/temp_decoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "support/test_data.h"

namespace {

// Messages are written with their spaces, as in a bulletin, and handed over without them, as
// the upper-air reader does.
std::string Squeeze(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != ' ') out.push_back(c);
  return out;
}

std::unique_ptr<Weather_Station> MakeStation(const std::string& wmo, double elevation) {
  auto s = std::make_unique<Weather_Station>();
  s->m_WmoNumber = wmo;
  s->m_Key = wmo;
  s->m_Elevation = elevation;
  return s;
}

const char kSurface[] = "TTAA 63001 12345 99012 10000 27010 ";

// One standard level after the surface: where its pressure and height come from.
struct HeightCase {
  const char* group;
  int pressure;
  int height;
};

TEST(DecodeTTAA, StandardLevelIdentifiersGivePressureAndHeight) {
  const HeightCase cases[] = {
      {"00105", 1000, 105},  {"92754", 925, 754},   {"85512", 850, 1512},  {"70010", 700, 3010},
      {"70950", 700, 2950},  {"70500", 700, 3500},  {"70501", 700, 2501},  {"50575", 500, 5750},
      {"40738", 400, 7380},  {"30948", 300, 9480},  {"25045", 250, 10450}, {"20216", 200, 12160},
      {"15388", 150, 13880}, {"10634", 100, 16340}, {"25923", 250, 9230},  // the South Pole's 250 hPa level
      {"00525", 1000, -25},  {"00499", 1000, 499},  {"00500", 1000, 0},    // 500 + |h| below sea level
      {"92///", 925, -999},                                                // no height is none, not 0 m
  };
  for (const HeightCase& c : cases) {
    SCOPED_TRACE(c.group);
    auto owner = MakeStation("12345", 0.0);
    Weather_Station& s = *owner;
    s.DecodeTTAA(Squeeze(std::string(kSurface) + c.group + " 10000 27010="));
    EXPECT_EQ(s.m_UpperAirValid, 1);
    EXPECT_EQ(s.m_LevelPressure[1], c.pressure);
    EXPECT_EQ(s.m_LevelHeight[1], c.height);
    EXPECT_EQ(s.m_LevelPressure[2], -999);
  }
}

TEST(DecodeTTAA, SurfaceGroup) {
  struct Case {
    const char* message;
    int pressure, temperature, dewPoint, direction, speed, firstLevelPressure;
  };
  const Case cases[] = {
      {"TTAA 63001 12345 99012 23858 33008 85512 10000 27010=", 1012, 24, 16, 330, 8, 850},
      {"TTAA 63001 12345 99995 12019 00000 85512 10000 27010=", 995, 12, 10, 0, 0, 850},
      // Without the 99 group the levels start right after the station number.
      {"TTAA 63001 12345 85512 10000 27010=", -999, -999, -999, -999, -999, 850},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    auto owner = MakeStation("12345", 0.0);
    Weather_Station& s = *owner;
    s.DecodeTTAA(Squeeze(c.message));
    EXPECT_EQ(s.m_UpperAirValid, 1);
    EXPECT_EQ(s.m_LevelPressure[0], c.pressure);
    EXPECT_EQ(s.m_LevelHeight[0], 0);
    EXPECT_EQ(s.m_LevelTemperature[0], c.temperature);
    EXPECT_EQ(s.m_LevelDewPoint[0], c.dewPoint);
    EXPECT_EQ(s.m_LevelWindDirection[0], c.direction);
    EXPECT_EQ(s.m_LevelWindSpeed[0], c.speed);
    EXPECT_EQ(s.m_LevelPressure[1], c.firstLevelPressure);
  }
}

TEST(DecodeTTAA, TemperatureDewPointAndWindGroups) {
  struct Case {
    const char* groups;  // TTTDD dddff of the 850 hPa level
    int temperature, dewPoint, direction, speed;
  };
  const Case cases[] = {
      {"23505 27615", -24, -25, 276, 115},  // odd tenths below zero; depression 0.5 rounds to 1
      {"12056 27010", 12, 6, 270, 10},      // depression above 50 in whole degrees
      {"12050 09999", 12, 7, 99, 499},      // 5.0 degrees; units digit 4 carries 400
      {"00500 18560", -1, -1, 185, 60},
      {"///// /////", 0, 0, 0, 0},           // missing groups read as 0 (filled from the neighbours)
      {"235// 27615", -24, -999, 276, 115},  // a missing depression is no dew point, not saturation
      {"120// 27010", 12, -999, 270, 10},
      {"99499 27010", 99, 50, 270, 10},
      {"99999 27010", -999, -149, 270, 10},  // dew point beyond 100: the temperature is void
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.groups);
    auto owner = MakeStation("12345", 0.0);
    Weather_Station& s = *owner;
    s.DecodeTTAA(Squeeze(std::string(kSurface) + "85512 " + c.groups + "="));
    EXPECT_EQ(s.m_UpperAirValid, 1);
    EXPECT_EQ(s.m_LevelTemperature[1], c.temperature);
    EXPECT_EQ(s.m_LevelDewPoint[1], c.dewPoint);
    EXPECT_EQ(s.m_LevelWindDirection[1], c.direction);
    EXPECT_EQ(s.m_LevelWindSpeed[1], c.speed);
  }
}

TEST(DecodeTTAA, WindDirectionAbove360EndsTheLevels) {
  auto owner = MakeStation("12345", 0.0);
  Weather_Station& s = *owner;
  s.DecodeTTAA(Squeeze(std::string(kSurface) + "85512 10000 36510 70010 10000 27010="));
  EXPECT_EQ(s.m_UpperAirValid, 1);
  EXPECT_EQ(s.m_LevelPressure[1], 850);
  EXPECT_EQ(s.m_LevelTemperature[1], 10);
  EXPECT_EQ(s.m_LevelWindDirection[1], -999);
  EXPECT_EQ(s.m_LevelWindSpeed[1], -999);
  EXPECT_EQ(s.m_LevelPressure[2], -999);
}

// The message of a real bulletin: from "TTAA" to "=", without spaces and line ends.
std::string RealMessage(const std::string& file) {
  std::ifstream in(altivane::test::SharedDataDir() / "upperair" / file, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t start = text.find("TTAA");
  if (start == std::string::npos) return {};
  std::string message;
  for (char c : text.substr(start, text.find('=', start) + 1 - start))
    if (c != ' ' && c != '\r' && c != '\n') message.push_back(c);
  return message;
}

// Heights are above sea level as coded, whatever the station's elevation.
TEST(DecodeTTAA, RealMessageFillsElevenLevelsAboveSeaLevel) {
  ALTIVANE_REQUIRE_SHARED_DATA();
  auto owner = MakeStation("70398", 37.0);  // Annette Island
  Weather_Station& s = *owner;
  s.DecodeTTAA(RealMessage("pyiem_MANANN.txt"));
  ASSERT_EQ(s.m_UpperAirValid, 1);
  const LevelTable pressure = {1018, 1000, 925, 850, 700, 500, 400, 300, 250, 200, 150, 100, -999};
  const LevelTable height = {37, 185, 836, 1532, 3109, 5730, 7380, 9400, 10600, 12020, 13880, 16500, -999};
  const LevelTable temperature = {12, 12, 10, 5, 1, -15, -26, -42, -52, -56, -51, -52, -999};
  const LevelTable dewPoint = {10, 9, 5, 3, -12, -37, -58, -54, -63, -69, -72, -85, -999};
  const LevelTable direction = {0, 335, 350, 325, 320, 320, 320, 315, 315, 310, 300, 280, -999};
  const LevelTable speed = {0, 15, 7, 10, 15, 20, 36, 48, 51, 45, 31, 20, -999};
  EXPECT_EQ(s.m_LevelPressure, pressure);
  EXPECT_EQ(s.m_LevelHeight, height);
  EXPECT_EQ(s.m_LevelTemperature, temperature);
  EXPECT_EQ(s.m_LevelDewPoint, dewPoint);
  EXPECT_EQ(s.m_LevelWindDirection, direction);
  EXPECT_EQ(s.m_LevelWindSpeed, speed);
}

TEST(DecodeTTAA, MessageEndingAfter500hPaIsValidWithFiveLevels) {
  auto owner = MakeStation("12345", 0.0);
  Weather_Station& s = *owner;
  s.DecodeTTAA(Squeeze(std::string(kSurface) +
                       "00105 10000 27010 92754 10000 27010 85512 10000 27010 70010 10000 27010 "
                       "50575 10000 27010="));
  EXPECT_EQ(s.m_UpperAirValid, 1);
  for (int i = 1; i <= 5; ++i) EXPECT_NE(s.m_LevelPressure[i], -999) << i;
  for (int i = 6; i < kLevelSlots; ++i) EXPECT_EQ(s.m_LevelPressure[i], -999) << i;
  EXPECT_EQ(s.m_LevelHeight[5], 5750);
}

// Tropopause (88), maximum wind (77) and "none" (88999, 77999) end the standard levels without
// taking a slot.
TEST(DecodeTTAA, TropopauseAndMaximumWindGroupsEndTheLevelsWithoutASlot) {
  for (const char* tail : {"88227 57160 32055 77999=", "88999 77999=", "77999=", "66999="}) {
    SCOPED_TRACE(tail);
    auto owner = MakeStation("12345", 100.0);
    Weather_Station& s = *owner;
    s.DecodeTTAA(Squeeze(std::string(kSurface) + "85512 10000 27010 " + tail));
    EXPECT_EQ(s.m_UpperAirValid, 1);
    EXPECT_EQ(s.m_LevelPressure[1], 850);
    for (const LevelTable* table : {&s.m_LevelPressure, &s.m_LevelHeight, &s.m_LevelTemperature}) {
      for (int i = 2; i < kLevelSlots; ++i) EXPECT_EQ((*table)[i], -999) << i;
    }
  }
}

// Salt Lake City, 1288 m up: 1000 hPa lies 5 m up and 925 hPa has no height (both extrapolated
// below the ground). They are kept, and the levels above the ground are in order.
TEST(DecodeTTAA, HighStationKeepsItsLevelsBelowTheGround) {
  auto owner = MakeStation("72572", 1288.0);
  Weather_Station& s = *owner;
  s.DecodeTTAA(
      Squeeze("TTAA 63001 72572 99870 36683 08505 00005 ///// ///// 92/// ///// "
              "///// 85499 32680 08009 70197 17269 29009 50594 08327 23015 40764 "
              "18917 25021 30970 35759 24519 25095 44956 25538 20241 53763 26532 "
              "15422 63165 24520 10667 68367 25014 88124 67964 26024 77999 31313="));
  EXPECT_EQ(s.m_UpperAirValid, 1);
  const LevelTable pressure = {870, 1000, 925, 850, 700, 500, 400, 300, 250, 200, 150, 100, -999};
  const LevelTable height = {1288, 5, -999, 1499, 3197, 5940, 7640, 9700, 10950, 12410, 14220, 16670, -999};
  EXPECT_EQ(s.m_LevelPressure, pressure);
  EXPECT_EQ(s.m_LevelHeight, height);
  EXPECT_EQ(s.m_LevelTemperature[3], 33);
  EXPECT_EQ(s.m_LevelDewPoint[3], 3);
}

TEST(DecodeTTAA, LevelAboveTheGroundBelowTheOneBeforeStillEndsTheMessage) {
  // 500 hPa at 2500 m after 700 hPa at 3010 m, at a station 1600 m up.
  auto owner = MakeStation("12345", 1600.0);
  Weather_Station& s = *owner;
  s.DecodeTTAA(
      Squeeze("TTAA 63001 12345 99840 20650 08505 00100 ///// ///// 92700 ///// ///// "
              "85700 10680 08009 70010 10000 27010 50250 10000 27010="));
  EXPECT_EQ(s.m_UpperAirValid, 0);
  EXPECT_EQ(s.m_LevelHeight[1], 100);
  EXPECT_EQ(s.m_LevelHeight[3], 1700);
  EXPECT_EQ(s.m_LevelHeight[4], 3010);
  EXPECT_EQ(s.m_LevelPressure[5], -999);
}

TEST(DecodeTTAA, HeightBelowThePreviousLevelStopsThereKeepingTheLevelsBefore) {
  auto owner = MakeStation("12345", 0.0);
  Weather_Station& s = *owner;
  s.DecodeTTAA(Squeeze(std::string(kSurface) + "85512 10000 27010 92754 10000 27010 70010 10000 27010="));
  EXPECT_EQ(s.m_UpperAirValid, 0);
  EXPECT_EQ(s.m_LevelPressure[1], 850);
  EXPECT_EQ(s.m_LevelHeight[1], 1512);
  EXPECT_EQ(s.m_LevelPressure[2], -999);
  EXPECT_EQ(s.m_LevelHeight[2], -999);
  EXPECT_EQ(s.m_LevelPressure[3], -999);
}

TEST(DecodeTTAA, FailedChecksChangeNothingButTheFlag) {
  const char* const messages[] = {
      "TTBB 63001 12345 99012 10000 27010 85512 10000 27010=",  // other section
      "TTAA 6300/ 12345 99012 10000 27010 85512 10000 27010=",  // no wind data
      "TTAA 63001 12345 NIL=",
      "TTAA 12345 NIL=",
      "TTAA 63001 54321 99012 10000 27010 85512 10000 27010=",  // other station
      "TTAA 63001 1234",                                        // ends inside the number
      "TTAA",
      "",
  };
  for (const char* message : messages) {
    SCOPED_TRACE(message);
    auto owner = MakeStation("12345", 0.0);
    Weather_Station& s = *owner;
    s.m_UpperAirValid = 1;
    s.m_LevelPressure[1] = 777;
    s.DecodeTTAA(Squeeze(message));
    EXPECT_EQ(s.m_UpperAirValid, 0);
    EXPECT_EQ(s.m_LevelPressure[1], 777);
  }
}

TEST(DecodeTTAA, StationWithoutNumberNeverMatches) {
  auto owner = MakeStation("", 0.0);
  Weather_Station& s = *owner;
  s.DecodeTTAA("TTAA6300");
  s.DecodeTTAA("TTAA63001");
  EXPECT_EQ(s.m_UpperAirValid, 0);
}

TEST(DecodeTTAA, TruncatedOrGarbledMessagesStayInsideTheText) {
  const std::string full = Squeeze(std::string(kSurface) + "85512 10000 27010 70010 10000 27010=");
  for (std::size_t length = 14; length <= full.size(); ++length) {
    auto owner = MakeStation("12345", 0.0);
    Weather_Station& s = *owner;
    s.DecodeTTAA(full.substr(0, length));
    // The levels decoded are the whole 15-character groups present.
    const int levels = length >= 59 ? 2 : length >= 44 ? 1 : 0;
    EXPECT_EQ(s.m_UpperAirValid, 1) << length;
    EXPECT_EQ(s.m_LevelPressure[1], levels >= 1 ? 850 : -999) << length;
    EXPECT_EQ(s.m_LevelPressure[2], levels >= 2 ? 700 : -999) << length;
  }
  auto owner = MakeStation("12345", 0.0);
  Weather_Station& s = *owner;
  s.DecodeTTAA(Squeeze(std::string(kSurface) + "8e9ZZ 1e9e9 9e9e9 AB\x01\xff\x80 ....= 1e999="));
  EXPECT_EQ(s.m_UpperAirValid, 1);
  EXPECT_EQ(s.m_LevelPressure[1], 80);       // "8e" reads 8
  EXPECT_EQ(s.m_LevelHeight[1], -999);       // "9ZZ" is no height
  EXPECT_EQ(s.m_LevelTemperature[1], -100);  // "1e9" is worth no more than 999 tenths
}

std::unique_ptr<Weather_Station> StationWithStandardLevels(double elevation) {
  auto s = MakeStation("12345", elevation);
  s->DecodeTTAA(
      Squeeze("TTAA 60121 12345 99018 12019 00000 00190 12226 33515 "
              "92840 10046 35007 85530 05223 32510 70110 00863 32015 50570 "
              "14972 32020 40740 26382 32036 30940 42162 31548 25060 52161 "
              "31551 20200 55563 31045 15390 50571 30031 10650 51583 28020 88227 57160 32055="));
  return s;
}

TEST(DecodeTTBB, SignificantLevelHeightsBuildOnTheStandardLevels) {
  auto owner = StationWithStandardLevels(37.0);
  Weather_Station& s = *owner;
  ASSERT_EQ(s.m_UpperAirValid, 1);
  const LevelTable& h = s.m_LevelHeight;  // 1018 hPa at 37 m, 1000 at 227, 925 at 877 ...
  struct Case {
    int pressure;
    int height;
  };
  const Case cases[] = {
      {1007, h[0] + 100},               // above the surface (1018): 11 hPa
      {1000, h[0] + 100}, {999, h[1]},  // less than a whole step above 1000 hPa
      {850, h[2] + 700},  {700, h[3] + 1500}, {600, h[4] + 1000}, {605, h[4] + 900},  // 9.5 steps count as 9
      {101, h[10] + 400}, {100, h[10] + 500},
  };
  std::string message = "TTBB 60128 12345 00018 12019 ";
  for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
    char group[16];
    std::snprintf(group, sizeof group, "%02d%03d 12019 ", (i + 1) % 10 * 11, cases[i].pressure % 1000);
    message += group;
  }
  message += "21212 00018 00000=";
  s.DecodeTTBB(Squeeze(message));
  ASSERT_EQ(s.m_SigLevelsValid, 1);
  ASSERT_EQ(s.m_SigLevelCount, static_cast<int>(std::size(cases)));
  for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
    EXPECT_EQ((*s.m_SigPressure)[i], cases[i].pressure) << i;
    EXPECT_EQ((*s.m_SigHeight)[i], cases[i].height) << cases[i].pressure;
    EXPECT_EQ((*s.m_SigTemperature)[i], 12) << i;
    EXPECT_EQ((*s.m_SigDewPoint)[i], 10) << i;
  }
  EXPECT_EQ((*s.m_SigTemperature)[s.m_SigLevelCount], -999);
  EXPECT_EQ((*s.m_SigDewPoint)[s.m_SigLevelCount], -999);
}

TEST(DecodeTTBB, MissingOrForeignStandardLevelsUseTheFallbackHeights) {
  struct Case {
    const char* ttaa;
    int sigPressure;
    int height;
  };
  const Case cases[] = {
      // Ends after 850 hPa: a level at 600 hPa builds on the table's 3000 m for 700 hPa.
      {"TTAA 63001 12345 99012 10000 27010 00105 10000 27010 85512 10000 27010=", 600, 3000 + 1000},
      // The message ends with the tropopause where 700 hPa would be.
      {"TTAA 63001 12345 99012 10000 27010 00105 10000 27010 92754 10000 27010 "
       "85512 10000 27010 88227 57160 32055=",
       600, 3000 + 1000},
      // No surface pressure and a level below 1000 hPa: the station's ground.
      {"TTAA 63001 12345 00105 10000 27010=", 1005, 50},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ttaa);
    auto owner = MakeStation("12345", 50.0);
    Weather_Station& s = *owner;
    s.DecodeTTAA(Squeeze(c.ttaa));
    ASSERT_EQ(s.m_UpperAirValid, 1);
    EXPECT_EQ(SigLevelHeight(s, c.sigPressure), c.height);
  }
}

TEST(DecodeTTBB, MoreThan99LevelsStopAtTheBufferEnd) {
  auto owner = StationWithStandardLevels(0.0);
  Weather_Station& s = *owner;
  std::string message = "TTBB60128123450001812019";
  for (int i = 0; i < 150; ++i) message += "1185012019";
  message += "=";
  s.DecodeTTBB(message);
  ASSERT_EQ(s.m_SigLevelsValid, 1);
  EXPECT_EQ(s.m_SigLevelCount, 99);
  EXPECT_EQ((*s.m_SigPressure)[98], 850);
  EXPECT_EQ((*s.m_SigTemperature)[99], -999);
  EXPECT_EQ((*s.m_SigDewPoint)[99], -999);
}

TEST(DecodeTTBB, LevelsEndAtTheNextSectionOrTheEndSign) {
  struct Case {
    const char* message;
    int count;
  };
  const Case cases[] = {
      {"TTBB 60128 12345 00018 12019 11850 12019 22700 05223 21212 00018 00000=", 2},
      {"TTBB 60128 12345 00018 12019 11850 12019 22700 05223 31313 58208 81132=", 2},
      {"TTBB 60128 12345 00018 12019 11850 12019 22700 05223=", 2},
      {"TTBB 60128 12345 00018 12019 11850 12019 22700 05223= 33500 05223", 2},
      {"TTBB 60128 12345 00018 12019 11850 12019 22700 05", 1},
      // A level without its pressure is no level.
      {"TTBB 60128 12345 00018 12019 11850 12019 22/// 05223 33700 05223=", 2},
      {"TTBB 60128 12345 00018 12019 44/// ///// 55/// 05223=", 0},
      {"TTBB 60128 12345 00018 12019=", 0},
      {"TTBB 60128 12345", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    auto owner = StationWithStandardLevels(0.0);
    Weather_Station& s = *owner;
    s.DecodeTTBB(Squeeze(c.message));
    EXPECT_EQ(s.m_SigLevelsValid, 1);
    EXPECT_EQ(s.m_SigLevelCount, c.count);
    EXPECT_EQ((*s.m_SigTemperature)[c.count], -999);
  }
}

TEST(DecodeTTBB, MissingDepressionIsNoDewPoint) {
  auto owner = StationWithStandardLevels(0.0);
  Weather_Station& s = *owner;
  s.DecodeTTBB(Squeeze("TTBB 60128 12345 00018 12019 11850 120// 22700 05223="));
  ASSERT_EQ(s.m_SigLevelCount, 2);
  EXPECT_EQ((*s.m_SigTemperature)[0], 12);
  EXPECT_EQ((*s.m_SigDewPoint)[0], -999);
  EXPECT_EQ((*s.m_SigDewPoint)[1], 3);  // 052 -> 5 C, depression 2.3
}

TEST(DecodeTTBB, FailedCheckLeavesFreshBuffersAndNoValidity) {
  const char* const messages[] = {
      "TTAA 60128 12345 00018 12019 11850 12019=",
      "TTBB 6012/ 12345 00018 12019 11850 12019=",
      "TTBB 12345 NIL=",
      "TTBB 60128 54321 00018 12019 11850 12019=",
      "TTB",
  };
  for (const char* message : messages) {
    SCOPED_TRACE(message);
    auto owner = StationWithStandardLevels(0.0);
    Weather_Station& s = *owner;
    s.DecodeTTBB(Squeeze("TTBB 60128 12345 00018 12019 11850 12019="));
    ASSERT_EQ(s.m_SigLevelsValid, 1);
    s.DecodeTTBB(Squeeze(message));
    EXPECT_EQ(s.m_SigLevelsValid, 0);
    ASSERT_TRUE(s.m_SigPressure && s.m_SigHeight && s.m_SigTemperature && s.m_SigDewPoint);
    EXPECT_EQ((*s.m_SigPressure)[0], -999);  // not the earlier message's 850
  }
}

}  // namespace
