// The weather view against real reports: what the station model, the category and the words
// show must be the report's own groups, and the barb the convention's.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

#include "model/weather_block_fields.h"
#include "view/weather_view.h"
#include "support/test_data.h"

namespace {

// The first report in the 12Z cycle of 2023-04-29 that starts with key (a station's key, with
// its time group where the station reports more than once).
std::string RealReport(const std::string& key) {
  std::ifstream in(altivane::test::SharedDataDir() / "metar" / "cycles" / "20230429_12Z.TXT", std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(key + " ", 0) == 0) return line;
  }
  return {};
}

ViewStation Reporting(const std::string& key, const std::string& report) {
  ViewStation s;
  s.m_Key = key;
  s.m_ReportText = report;
  s.m_Traced = true;
  s.m_Trace.m_SurfaceBlended = false;
  // The simulator's drawn values, which the page must not show for a reporting station.
  s.m_Visibility = 35.0;
  s.m_WindDirection = 180;
  s.m_WindSpeed = 5;
  s.m_CloudCover = {0.95, 0, 0, 0, 0};
  s.m_CloudBase = {304, 0, 0, 0, 0};
  return s;
}

TEST(WeatherViewReport, ShownFromTheReportsOwnGroups) {
  ALTIVANE_REQUIRE_SHARED_DATA();
  struct Case {
    const char* key;
    const char* category;
    double ceiling;     // -1 none
    double visibility;  // -1 not reported
    const char* wind;
    int octas;
    const char* words;  // a piece of the plain words
    const char* notInWords;
  } const cases[] = {
      // 1,000 ft broken is MVFR, not IFR from a base kept as 304 m (997 ft).
      {"KTYR 291153Z", "MVFR", 1000, 5, "320/13", 8, "broken at 1,000 ft, overcast at 1,500 ft", "IFR"},
      {"KDLL", "IFR", 500, 10, "310/03", 8, "visibility 10+ SM, light drizzle, overcast at 500 ft", "35"},
      // No visibility group: not 0, and the category rests on the ceiling alone.
      {"PAMH", "VFR", -1, -1, "calm", 0, "wind calm, visibility not reported, sky clear", "0 SM"},
      // Broken is drawn as six octas and called broken, whatever the simulator drew.
      {"KHAE", "VFR", 10000, 10, "320/10", 6, "broken at 10,000 ft", "overcast"},
      {"KBCT", "VFR", -1, 10, "VRB04", 0, "wind variable at 4 kt", "180"},
      {"CZBF", "LIFR", 200, 2, "190/03", 8, "wind 190° at 3 kt, varying between 110° and 240°", "245"},
      {"EBDT", "MVFR", 3200, 6000 / 1609.344, "VRB02", 8, "visibility 6,000 m (3.7 SM)", "3 SM"},
      // The TEMPO group (3000 SHRA BKN005) is a forecast, not the weather now.
      {"LFSL", "VFR", 4800, 10000 / 1609.344, "290/06", 6, "visibility 10+ km (6+ SM)", "rain"},
      {"KRWI", "LIFR", 200, 0.5, "340/04", -1, "fog, sky obscured, vertical visibility 200 ft", "sky clear"},
      {"KLRF", "IFR", 600, 1.5, "070/08", 6, "visibility 1.5 SM, rain, mist, few at 100 ft", "LIFR"},
      {"KLIT", "MVFR", 3000, 3, "120/08", 8, "thunderstorm with heavy rain", "cumulus)"},
  };
  for (const Case& c : cases) {
    const std::string report = RealReport(c.key);
    ASSERT_FALSE(report.empty()) << c.key;
    const StationShown s = ShowStation(Reporting(c.key, report));
    EXPECT_EQ(s.m_Origin, ShownOrigin::kReport);
    EXPECT_STREQ(s.m_Category, c.category) << report;
    EXPECT_DOUBLE_EQ(s.m_CeilingFeet, c.ceiling) << report;
    EXPECT_NEAR(s.m_VisibilityMiles, c.visibility, 1e-9) << report;
    EXPECT_EQ(s.m_Wind, c.wind) << report;
    EXPECT_EQ(s.m_CoverOctas, c.octas) << report;
    EXPECT_NE(s.m_Words.find(c.words), std::string::npos) << s.m_Words;
    EXPECT_EQ(s.m_Words.find(c.notInWords), std::string::npos) << s.m_Words;
  }
  EXPECT_TRUE(ShowStation(Reporting("KRWI", RealReport("KRWI"))).m_Obscured);
  EXPECT_TRUE(ShowStation(Reporting("KRWI", RealReport("KRWI"))).m_CeilingObscured);
}

TEST(WeatherViewReport, GroupsOfOtherShapes) {
  struct Case {
    const char* report;
    double visibility;
    bool orMore, less;
    int speed, gust;
  } const cases[] = {
      {"XXXX 011200Z 27015G25KT P6SM FEW020 10/05 A3000", 6, true, false, 15, 25},
      {"XXXX 011200Z 27010MPS M1/4SM FG VV001 10/10 Q1000", 0.25, false, true, 19, 0},
      {"XXXX 011200Z 09020KMH CAVOK 20/10 Q1020 NOSIG", 10000 / 1609.344, true, false, 11, 0},
      {"METAR XXXX 011200Z 00000KT 9999NDV NCD 20/10 Q1020", 10000 / 1609.344, true, false, 0, 0},
  };
  for (const Case& c : cases) {
    const ReportedWeather r = ReadReportGroups(c.report);
    EXPECT_TRUE(r.m_Visibility) << c.report;
    EXPECT_NEAR(r.m_VisibilityMiles, c.visibility, 1e-9) << c.report;
    EXPECT_EQ(r.m_VisibilityOrMore, c.orMore) << c.report;
    EXPECT_EQ(r.m_VisibilityLess, c.less) << c.report;
    EXPECT_EQ(r.m_WindSpeed, c.speed) << c.report;
    EXPECT_EQ(r.m_WindGust, c.gust) << c.report;
  }
  // Nothing after the remarks is read: RMK ... VIS 1V2 is no visibility.
  const ReportedWeather k2dp = ReadReportGroups("K2DP 291145Z AUTO 28005KT BR VV002 M A2980 RMK AO2 VIS 1V2 1/4");
  EXPECT_FALSE(k2dp.m_Visibility);
  EXPECT_EQ(k2dp.m_Temperature, kMissing);
}

TEST(WeatherViewReport, BlendedStationShowsItsBlendAsBlended) {
  ViewStation s;
  s.m_Key = "S50";
  s.m_ReportText = "METAR S50 2023/04/29 11:53 AUTO 17014G20KT 6SM BKN009 09/07 A1011";
  s.m_Traced = true;
  s.m_Trace.m_SurfaceBlended = true;
  s.m_Trace.m_Surface = {{"KSEA", 62.0, 0.9999, "2023/04/29", "11:53"}, {"KPDX", 9000.0, 1e-6, "", ""}};
  s.m_WindDirection = 170;
  s.m_WindSpeed = 14;
  s.m_WindGust = 20;
  s.m_Visibility = 6.09;
  s.m_CloudCover = {0.7, 0, 0, 0, 0};
  s.m_CloudBase = {304, 0, 0, 0, 0};  // 997 ft: the 1,000 ft it was blended from
  const StationShown shown = ShowStation(s);
  EXPECT_EQ(shown.m_Origin, ShownOrigin::kBlended);
  EXPECT_DOUBLE_EQ(shown.m_CeilingFeet, 1000);
  EXPECT_STREQ(shown.m_Category, "MVFR");
  EXPECT_EQ(shown.m_Wind, "170/14G20");

  WeatherViewPage page;
  page.m_Stations.push_back(s);
  const std::string html = RenderWeatherView(page);
  EXPECT_NE(html.find("composed from neighbours: <code>METAR S50"), std::string::npos);
  EXPECT_EQ(html.find("<pre class=\"report\">METAR S50"), std::string::npos) << "a composed text is no report";
  EXPECT_NE(html.find("neighbours: KSEA 8 nm 100 %; and 1 more of weight under 0.1 %"), std::string::npos);
  EXPECT_EQ(html.find("m_"), std::string::npos) << "no member names in the page";
  EXPECT_NE(html.find("No sounding within 600 nm: no winds or temperatures aloft were sent."), std::string::npos);

  // No report and nothing to blend from: no weather at all, never 0SM LIFR.
  ViewStation empty;
  empty.m_Key = "KXXX";
  empty.m_Traced = true;
  empty.m_Trace.m_SurfaceBlended = true;
  EXPECT_STREQ(ShowStation(empty).m_Category, "none");
  EXPECT_EQ(ShowStation(empty).m_Wind, "");
}

TEST(WeatherViewReport, CalmIsARingOverTheDiscAndThePageSaysWhenItIsEmpty) {
  WeatherViewPage page;
  page.m_Stations.push_back(Reporting("PAMH", "PAMH 291156Z AUTO 00000KT CLR M03/M04 A2993"));
  std::string html = RenderWeatherView(page);
  const std::size_t disc = html.find("class=\"disc\"");
  const std::size_t calm = html.find("class=\"calm\"");
  ASSERT_NE(calm, std::string::npos);
  EXPECT_GT(calm, disc) << "the calm ring is drawn after (over) the disc";
  EXPECT_EQ(html.find("class=\"barb\""), std::string::npos);

  html = RenderWeatherView(WeatherViewPage{});
  EXPECT_NE(html.find("no station was set in the last pass"), std::string::npos);
  EXPECT_EQ(html.find("class=\"ring\""), std::string::npos);
}

// The layer numbers the script charts from are whole however many layers were sent.
TEST(WeatherViewReport, LayerNumbersAreWhole) {
  ViewStation s = Reporting("KDLL", "KDLL 291235Z AUTO 32006KT 10SM OVC005 07/07 A2969");
  SimWeatherBlock sent;
  for (int i = 0; i < 24; ++i) {
    WindLayer w;
    w.upperAltitude = static_cast<std::uint16_t>(1000 * (i + 1));
    w.speed = 40;
    w.direction = 30000;
    ASSERT_TRUE(AppendWindLayer(sent, w));
    TemperatureLayer t;
    t.altitude = static_cast<std::uint16_t>(1000 * i);
    t.temperature = -20;
    ASSERT_TRUE(AppendTemperatureLayer(sent, t));
  }
  s.m_Block = sent.bytes;
  WeatherViewPage page;
  page.m_Stations.push_back(s);
  const std::string html = RenderWeatherView(page);
  const std::size_t at = html.find("data-l=\"");
  ASSERT_NE(at, std::string::npos);
  const std::string data = html.substr(at + 8, html.find('"', at + 8) - at - 8);
  EXPECT_GT(data.size(), 512u);
  EXPECT_EQ(data.substr(data.size() - 3), "]]]");
  EXPECT_NE(data.find("[78740,165,40]"), std::string::npos) << "the 24th wind layer, 24,000 m";
}

TEST(WeatherViewReport, ReportAgeRedAfterTwoHours) {
  WeatherViewPage page;
  page.m_Now = UtcSeconds(2023, 4, 29, 14, 0);
  ViewStation fresh = Reporting("KDLL", "KDLL 291235Z AUTO 32006KT 10SM OVC005 07/07 A2969");
  fresh.m_ObsDate = "2023/04/29";
  fresh.m_ObsTime = "12:35";
  ViewStation old = fresh;
  old.m_ObsTime = "11:55";
  page.m_Stations = {fresh, old};
  const std::string html = RenderWeatherView(page);
  EXPECT_NE(html.find("<text class=\"lb age\" x=\"11\" y=\"13\">85 min</text>"), std::string::npos);
  EXPECT_NE(html.find("<text class=\"lb age old\" x=\"11\" y=\"13\">2 h</text>"), std::string::npos);
  EXPECT_EQ(UtcSeconds(1970, 1, 1, 0, 0), 0);
  EXPECT_EQ(UtcSeconds(2000, 3, 1, 0, 0), 951868800);
}

TEST(WeatherViewReport, ShownStationsAsJson) {
  WeatherViewPage page;
  page.m_Stations.push_back(Reporting("PAMH", "PAMH 291156Z AUTO 00000KT CLR M03/M04 A2993"));
  page.m_Stations.push_back(Reporting("K\"Q", "K\"Q 291153Z 27015G25KT 3SM BKN010 10/05 A3000"));
  EXPECT_EQ(ShownStationsJson(page),
            "{\"stations\": [{\"key\": \"PAMH\", \"category\": \"VFR\", \"ceiling_ft\": null, \"visibility_sm\": null, "
            "\"wind\": \"calm\", \"origin\": \"report\"}, {\"key\": \"K\\\"Q\", \"category\": \"MVFR\", "
            "\"ceiling_ft\": 1000, \"visibility_sm\": 3.00, \"wind\": \"270/15G25\", \"origin\": \"report\"}]}");
}

// Feathers lie on the low-pressure side: left of the wind (looking downwind) in the northern
// hemisphere, right of it in the southern.
TEST(WeatherViewBarb, FeathersOnTheLowPressureSide) {
  struct Case {
    double direction;
    bool southern;
    double dx, dy;  // where the feather tips lie from the staff: sign only
  } const cases[] = {
      {270, false, 0, -1},                      // a westerly's feathers point north
      {270, true, 0, 1},                        // and south below the equator
      {90, false, 0, 1},                        // an easterly's point south
      {90, true, 0, -1},   {360, false, 1, 0},  // a northerly's point east
      {180, false, -1, 0},                      // a southerly's west
      {180, true, 1, 0},
  };
  for (const Case& c : cases) {
    const BarbShape b = WindBarbShape(c.direction, 25, 20.0, c.southern);
    ASSERT_EQ(b.m_Lines.size(), 4u) << "staff, two full feathers and a half";
    for (std::size_t i = 1; i < b.m_Lines.size(); ++i) {
      const BarbPoint on = b.m_Lines[i][0];
      const BarbPoint tip = b.m_Lines[i][1];
      // Along the axis the case names the tip lies well over to that side.
      EXPECT_GT((tip.x - on.x) * c.dx + (tip.y - on.y) * c.dy, 3.0) << c.direction << (c.southern ? " S" : " N");
    }
    // The staff points into the wind: a westerly's towards the west.
    const BarbPoint end = b.m_Lines[0][1];
    EXPECT_NEAR(end.x, 20.0 * std::sin(c.direction * 3.14159265358979 / 180.0), 1e-6);
    EXPECT_NEAR(end.y, -20.0 * std::cos(c.direction * 3.14159265358979 / 180.0), 1e-6);
  }
  const BarbShape strong = WindBarbShape(270, 65, 20.0, false);
  EXPECT_EQ(strong.m_Pennants.size(), 1u);
  EXPECT_EQ(strong.m_Lines.size(), 3u) << "staff, one full and one half feather";
}

}  // namespace
