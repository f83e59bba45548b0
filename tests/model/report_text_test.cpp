#include "model/report_text.h"

#include <gtest/gtest.h>

#include "stations/station_records.h"

namespace {

struct TextCase {
  const char* name;
  int direction, speed, gust;
  double visibility, precip;
  std::string weather;
  std::array<double, 5> cover;
  std::array<std::int32_t, 5> base;
  int temperature, dewPoint, pressure;
  std::string expected;
};

TEST(ComposeReportText, FormatRules) {
  const TextCase cases[] = {
      {"the worked example",
       270,
       15,
       25,
       6,
       0,
       "RA",
       {1, 0, 0, 0, 0},
       {366, 0, 0, 0, 0},
       5,
       3,
       1008,
       "METAR XXXX 2003/11/09 13:50 AUTO 27015G25KT 6SM OVC012 05/03 A1008"},
      {"wind without gust, visibility rounded",
       5,
       7,
       0,
       9.5,
       0,
       "",
       {0, 0, 0, 0, 0},
       {0, 0, 0, 0, 0},
       0,
       0,
       1013,
       "METAR XXXX 2003/11/09 13:50 AUTO 00507G00KT 10SM CLR 00/00 A1013"},
      {"clear first layer then scattered",
       0,
       0,
       0,
       3,
       0,
       "",
       {0.1, 0.3, 0, 0, 0},
       {0, 1000, 0, 0, 0},
       1,
       1,
       999,
       "METAR XXXX 2003/11/09 13:50 AUTO 00000G00KT 3SM CLR SCT032 01/01 A0999"},
      {"negative temperature and dew point",
       0,
       0,
       0,
       3,
       0,
       "",
       {0, 0, 0, 0, 0},
       {0, 0, 0, 0, 0},
       -3,
       -7,
       1020,
       "METAR XXXX 2003/11/09 13:50 AUTO 00000G00KT 3SM CLR M03/M07 A1020"},
      {"missing temperature prints in full",
       0,
       0,
       0,
       3,
       0,
       "",
       {0, 0, 0, 0, 0},
       {0, 0, 0, 0, 0},
       -999,
       -999,
       -999,
       "METAR XXXX 2003/11/09 13:50 AUTO 00000G00KT 3SM CLR M999/M999 A-0999"},
      {"weather only with an intensity",
       90,
       12,
       0,
       2,
       0.4,
       "-SHRA",
       {0.2, 0.5, 0.8, 1.0, 0},
       {300, 600, 900, 3000, 0},
       10,
       8,
       1001,
       "METAR XXXX 2003/11/09 13:50 AUTO 09012G00KT 2SM -SHRA FEW009 SCT019 BKN029 OVC098 10/08 A1001"},
      {"an intensity without weather text gives no empty group",
       90,
       12,
       0,
       2,
       0.8,
       "",
       {0.8, 0, 0, 0, 0},
       {900, 0, 0, 0, 0},
       10,
       8,
       1001,
       "METAR XXXX 2003/11/09 13:50 AUTO 09012G00KT 2SM BKN029 10/08 A1001"},
      {"mist and fog on the ground are no layer at 0 ft",
       0,
       0,
       0,
       6,
       0,
       "",
       {0.54, 0.2, 0.76, 1.0, 0},
       {0, 250, 459, 929, 0},
       9,
       7,
       1011,
       "METAR XXXX 2003/11/09 13:50 AUTO 00000G00KT 6SM BR FEW008 BKN015 OVC030 09/07 A1011"},
      {"cover boundaries and beyond 1",
       0,
       0,
       0,
       0,
       0,
       "",
       {0.125, 0.25, 0.5, 0.875, 1.5},
       {0, 100, 200, 300, 400},
       0,
       0,
       1013,
       "METAR XXXX 2003/11/09 13:50 AUTO 00000G00KT 0SM CLR FEW003 SCT006 BKN009 00/00 A1013"},
      {"wide values print in full",
       360,
       120,
       140,
       0,
       0,
       "",
       {0, 0, 0, 0, 0},
       {0, 0, 0, 0, 0},
       0,
       0,
       10130,
       "METAR XXXX 2003/11/09 13:50 AUTO 360120G140KT 0SM CLR 00/00 A10130"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.name);
    METAR_Station s;
    s.m_Key = "XXXX";
    s.m_WindDirection = c.direction;
    s.m_WindSpeed = c.speed;
    s.m_WindGust = c.gust;
    s.m_Visibility = c.visibility;
    s.m_PrecipIntensity = c.precip;
    s.m_Weather = c.weather;
    s.m_CloudCover = c.cover;
    s.m_CloudBase = c.base;
    s.m_Temperature = c.temperature;
    s.m_DewPoint = c.dewPoint;
    s.m_Pressure = c.pressure;
    EXPECT_EQ(ComposeReportText(s, "2003/11/09", "13:50"), c.expected);
  }
}

}  // namespace
