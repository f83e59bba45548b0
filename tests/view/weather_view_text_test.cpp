#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/test_data.h"
#include "view/view_file.h"
#include "view/weather_view.h"

namespace {

// ---- the weather view: the report as the page shows it ----

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

ViewStation ViewOf(const char* key, const char* report) {
  ViewStation s;
  s.m_Key = key;
  s.m_Name = key;
  s.m_ReportText = report;
  s.m_Traced = true;
  s.m_Trace.m_SurfaceBlended = true;
  s.m_Trace.m_Surface.push_back({key, 4.0, 1.0, "", ""});
  s.m_Trace.m_Fields.push_back({"m_Weather", ValueOrigin::kNearest, 1, key});
  return s;
}

TEST(WeatherView, StationTextIsShownAsText) {
  // A report is outside input: markup and quotes in it, its key or a neighbour's key must
  // never become part of the page's own markup.
  WeatherViewPage page;
  page.m_Stations.push_back(
      ViewOf("\"><script>alert(1)</script>", "METAR X <script>alert(\"x\")</script> 'q' & </pre>"));
  page.m_Stations.push_back(ViewOf("K'Q", "METAR <img src=x onerror=alert(2)>"));
  const std::string html = RenderWeatherView(page);
  EXPECT_EQ(Count(html, "<script"), 1u) << "only the page's own script";
  EXPECT_EQ(Count(html, "</code>"), 2u);
  EXPECT_EQ(Count(html, "<img"), 0u);
  EXPECT_NE(html.find("METAR X &lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &#39;q&#39; &amp; &lt;/pre&gt;"),
            std::string::npos);
  EXPECT_NE(html.find("&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(html.find("K&#39;Q"), std::string::npos);
  EXPECT_EQ(Count(html, "K'Q"), 0u);
}

// Exactly at the limits too, as reports give them (hundreds of feet, miles as reported).
TEST(WeatherView, FlightCategoryBounds) {
  struct Case {
    double ceiling, visibility;
    const char* expected;
  } const cases[] = {
      {-1, 10, "VFR"},  {3100, 6, "VFR"},    {3000, 10, "MVFR"},   {-1, 5, "MVFR"},   {1000, 10, "MVFR"},
      {999, 10, "IFR"}, {-1, 2.9, "IFR"},    {500, 3, "IFR"},      {499, 10, "LIFR"}, {-1, 0.9, "LIFR"},
      {0, 10, "LIFR"},  {5000, 0.5, "LIFR"}, {800, 4, "IFR"},      {500, 10, "IFR"},  {-1, 1, "IFR"},
      {-1, 3, "MVFR"},  {-1, 5.01, "VFR"},   {3000, 5.01, "MVFR"},
  };
  for (const Case& c : cases)
    EXPECT_STREQ(FlightCategory(c.ceiling, c.visibility), c.expected) << c.ceiling << " ft, " << c.visibility << " mi";
}

TEST(WeatherView, CeilingIsTheLowestBrokenLayerAloft) {
  struct Case {
    std::array<double, 5> cover;
    std::array<std::int32_t, 5> base;
    double expected;
  } const cases[] = {
      {{0.6, 0.2, 0.7, 1.0, 0}, {0, 244, 457, 300, 0}, 300 * 3.28084},  // mist on the ground is no ceiling
      {{0.2, 0.5, 0, 0, 0}, {100, 200, 0, 0, 0}, -1},                   // few and scattered only
      {{0.8, 1.5, 0, 0, 0}, {900, 100, 0, 0, 0}, 900 * 3.28084},        // a cover beyond 1 is no layer
  };
  for (const Case& c : cases) {
    ViewStation s;
    s.m_CloudCover = c.cover;
    s.m_CloudBase = c.base;
    EXPECT_NEAR(CeilingFeet(s), c.expected, 0.01);
  }
}

TEST(WeatherView, PlainLanguage) {
  ViewStation s;
  s.m_WindDirection = 170;
  s.m_WindSpeed = 14;
  s.m_WindGust = 24;
  s.m_Visibility = 6;
  s.m_CloudCover = {0.75, 0, 0, 0, 0};
  s.m_CloudBase = {1036, 0, 0, 0, 0};  // 3,400 ft
  s.m_Temperature = 9;
  s.m_Pressure = 1011;
  EXPECT_EQ(DescribeWeather(s),
            "wind 170° at 14 kt gusting 24 kt, visibility 6 SM, broken at 3,400 ft, 9 °C, QNH 1011 hPa");
  s.m_WindSpeed = 0;
  s.m_WindGust = 0;
  s.m_Visibility = 1.5;
  s.m_CloudCover = {0, 0.2, 1.0, 0, 0};
  s.m_CloudBase = {0, 300, 3048, 0, 0};
  s.m_Temperature = kMissing;
  s.m_PrecipIntensity = 0.5;
  s.m_Weather = "-RA";
  EXPECT_EQ(DescribeWeather(s),
            "wind calm, visibility 1.5 SM, light rain, few at 1,000 ft, overcast at 10,000 ft, QNH 1011 hPa");
  s.m_CloudCover = {0.6, 0.2, 0.7, 0, 0};  // mist on the ground, then the report's layers
  s.m_CloudBase = {0, 244, 457, 0, 0};
  EXPECT_EQ(DescribeWeather(s),
            "wind calm, visibility 1.5 SM, light rain, mist or fog on the ground, few at 800 ft, broken at 1,500 ft, "
            "QNH 1011 hPa");
}

TEST(WeatherView, PageReplacedWhole) {
  altivane::test::TempDir dir;
  const std::filesystem::path target = dir.Path() / kWeatherViewFileName;
  ASSERT_TRUE(WriteWeatherView(target, "first"));
  ASSERT_TRUE(WriteWeatherView(target, "second"));
  std::ifstream in(target);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "second");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 1)
      << "no temporary file left";
  EXPECT_FALSE(WriteWeatherView(dir.Path() / "missing" / kWeatherViewFileName, "x"));
}

}  // namespace
