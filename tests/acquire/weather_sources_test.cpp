#include "acquire/weather_sources.h"

#include <gtest/gtest.h>

#include <fstream>

#include "scoped_registry.h"
#include "support/test_data.h"

namespace altivane::test {
namespace {

using namespace std::chrono;

UtcHour HourOf(int y, unsigned m, unsigned d, int hh, int mm) {
  return UtcHourOf(system_clock::time_point{sys_days{year{y} / month{m} / day{d}} + hours{hh} + minutes{mm}});
}

const std::string kNoaa = "https://tgftp.nws.noaa.gov/data/observations/metar/cycles/";
const std::string kIem = "https://mesonet.agron.iastate.edu/cgi-bin/afos/retrieve.py?pil=";

TEST(UrlTemplates, DefaultsFollowTheUtcClockAcrossDayMonthAndYearEnds) {
  struct Case {
    const char* name;
    UtcHour now;
    std::string currentUrl, currentFile, completeUrl, completeFile, upperAirSince, upperFile;
  };
  const Case cases[] = {
      {"14:37", HourOf(2003, 12, 6, 14, 37), "14Z.TXT", "20031206_1400Z.TXT", "13Z.TXT", "20031206_1300Z_Complete.TXT",
       "2003-12-06T12:00Z", "20031206_1200Z.rdisnd"},
      {"midnight, new year", HourOf(2004, 1, 1, 0, 10), "00Z.TXT", "20040101_0000Z.TXT", "23Z.TXT",
       "20031231_2300Z_Complete.TXT", "2004-01-01T00:00Z", "20040101_0000Z.rdisnd"},
      {"midnight, end of February", HourOf(2003, 3, 1, 0, 59), "00Z.TXT", "20030301_0000Z.TXT", "23Z.TXT",
       "20030228_2300Z_Complete.TXT", "2003-03-01T00:00Z", "20030301_0000Z.rdisnd"},
      {"midnight, leap day", HourOf(2004, 3, 1, 0, 0), "00Z.TXT", "20040301_0000Z.TXT", "23Z.TXT",
       "20040229_2300Z_Complete.TXT", "2004-03-01T00:00Z", "20040301_0000Z.rdisnd"},
      {"11:59 takes the 00Z sounding", HourOf(2003, 12, 6, 11, 59), "11Z.TXT", "20031206_1100Z.TXT", "10Z.TXT",
       "20031206_1000Z_Complete.TXT", "2003-12-06T00:00Z", "20031206_0000Z.rdisnd"},
      {"12:00 the 12Z one", HourOf(2003, 12, 6, 12, 0), "12Z.TXT", "20031206_1200Z.TXT", "11Z.TXT",
       "20031206_1100Z_Complete.TXT", "2003-12-06T12:00Z", "20031206_1200Z.rdisnd"},
      {"23:59", HourOf(2003, 12, 31, 23, 59), "23Z.TXT", "20031231_2300Z.TXT", "22Z.TXT", "20031231_2200Z_Complete.TXT",
       "2003-12-31T12:00Z", "20031231_1200Z.rdisnd"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const WeatherSources s = PlanWeatherSources(AcquireSettings{}, c.now, "W\\");
    EXPECT_EQ(s.current.urls, std::vector<std::string>{kNoaa + c.currentUrl});
    EXPECT_EQ(s.current.localPath, "W\\" + c.currentFile);
    EXPECT_EQ(s.complete.urls, std::vector<std::string>{kNoaa + c.completeUrl});
    EXPECT_EQ(s.complete.localPath, "W\\" + c.completeFile);
    EXPECT_EQ(s.upperAir.urls, (std::vector<std::string>{kIem + "MAN&fmt=text&limit=9999&sdate=" + c.upperAirSince,
                                                         kIem + "SGL&fmt=text&limit=9999&sdate=" + c.upperAirSince}));
    EXPECT_EQ(s.upperAir.localPath, "W\\" + c.upperFile);
  }
  // Every field, a field twice, and what is no field.
  EXPECT_EQ(ExpandUrlTemplate("a/{YYYY}{YY}{MM}{DD}{HH}{SS}/{HH}{hh}{X}{", HourOf(2009, 2, 3, 4, 5)),
            "a/20090902030400/04{hh}{X}{");
}

TEST(SourceSettings, UrlSettingsWinThenServersThenTheDefaults) {
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, const char*>> values;
    std::string currentUrl;
    bool metarLocalProxies;
    std::string metarChosenBy;
    std::vector<std::string> upperAirUrls;
    bool upperLocalProxies;
    std::string upperChosenBy;
  };
  const std::string iemMan = kIem + "MAN&fmt=text&limit=9999&sdate=2003-12-06T12:00Z";
  const std::string iemSgl = kIem + "SGL&fmt=text&limit=9999&sdate=2003-12-06T12:00Z";
  const std::string specMetar = "http://m.example:81/weather/observations/airways/03120614.metar";
  const std::string specUpper = "http://r.example/Data/archive/radiosonde/20031206/2003120612.rdisnd";
  const Case cases[] = {
      {"nothing set", {}, kNoaa + "14Z.TXT", false, "default", {iemMan, iemSgl}, false, "default"},
      {"own servers",
       {{"MetarServer", "m.example:81"}, {"RadiosondeServer", "r.example"}},
       specMetar,
       true,
       "MetarServer",
       {specUpper},
       true,
       "RadiosondeServer"},
      {"a URL beats the server",
       {{"MetarServer", "m.example:81"}, {"MetarUrl", "https://x.example/{YY}{MM}{DD}{HH}.txt"}},
       "https://x.example/03120614.txt",
       false,
       "MetarUrl",
       {iemMan, iemSgl},
       false,
       "default"},
      {"several upper-air URLs, blanks around",
       {{"UpperAirUrl", "  http://a/{SS}.txt\thttps://b/{DD}.txt "}},
       kNoaa + "14Z.TXT",
       false,
       "default",
       {"http://a/12.txt", "https://b/06.txt"},
       false,
       "UpperAirUrl"},
      {"a proxy port means the local proxies",
       {{"HttpProxyPort", "3128"}},
       kNoaa + "14Z.TXT",
       true,
       "default, local proxies",
       {iemMan, iemSgl},
       true,
       "default, local proxies"},
      {"even a malformed one",
       {{"FtpProxyPort", "x"}},
       kNoaa + "14Z.TXT",
       true,
       "default, local proxies",
       {iemMan, iemSgl},
       true,
       "default, local proxies"},
      {"UseLocalProxies",
       {{"UseLocalProxies", "1"}},
       kNoaa + "14Z.TXT",
       true,
       "default, local proxies",
       {iemMan, iemSgl},
       true,
       "default, local proxies"},
      {"UseLocalProxies 0",
       {{"UseLocalProxies", "0"}},
       kNoaa + "14Z.TXT",
       false,
       "default",
       {iemMan, iemSgl},
       false,
       "default"},
      {"malformed URL and server settings count as unset",
       {{"MetarUrl", "not a url"}, {"RadiosondeServer", "has space"}},
       kNoaa + "14Z.TXT",
       false,
       "default",
       {iemMan, iemSgl},
       false,
       "default"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // A registry of its own for each case.
    const TempDir dir;
    const ScopedRegistry registry(dir.Path() / "registry.ini");
    for (const auto& [name, value] : c.values) ASSERT_TRUE(ScopedRegistry::SetInternetSetting(name, value));
    const WeatherSources s = PlanWeatherSources(ReadAcquireSettings(), HourOf(2003, 12, 6, 14, 37), "");
    ASSERT_EQ(s.current.urls.size(), 1u);
    EXPECT_EQ(s.current.urls[0], c.currentUrl);
    EXPECT_EQ(s.current.localProxies, c.metarLocalProxies);
    EXPECT_EQ(s.current.chosenBy, c.metarChosenBy);
    EXPECT_EQ(s.complete.chosenBy, c.metarChosenBy);
    EXPECT_EQ(s.upperAir.urls, c.upperAirUrls);
    EXPECT_EQ(s.upperAir.localProxies, c.upperLocalProxies);
    EXPECT_EQ(s.upperAir.chosenBy, c.upperChosenBy);
  }
}

TEST(WeatherBodies, OnlyWeatherIsKept) {
  TempDir dir;
  const std::string metar = "2023/04/29 11:53\nKSEA 291153Z 18010KT 10SM FEW020 08/04 A3001\n\n";
  const std::string temp = "\001\n722\nUSUS50 KWBC 130000\nMANIAD\nTTAA 63001 72403 99012 25656 18005=\n\n\003\n";
  struct Case {
    const char* name;
    std::string body;
    WeatherBodyKind kind;
    std::string why;  // "" kept
  };
  const Case cases[] = {
      {"cycle file", metar, WeatherBodyKind::Metar, ""},
      {"a text feed's TEMP product", temp, WeatherBodyKind::UpperAir, ""},
      {"TEMP after its station number", "70398 TTAA 60121 70398 99018=\n", WeatherBodyKind::UpperAir, ""},
      {"only NIL soundings", "TTAA 72576 NIL=\nTTBB 72576 NIL=\n", WeatherBodyKind::UpperAir,
       "the body holds no TTAA or TTBB message."},
      {"METAR where soundings belong", metar, WeatherBodyKind::UpperAir, "the body holds no TTAA or TTBB message."},
      {"soundings where METAR belongs", temp, WeatherBodyKind::Metar, "the body holds no METAR report."},
      {"empty", "", WeatherBodyKind::Metar, "the body holds no METAR report."},
      {"error text with status 200", "ERROR: Could not Find: MAN   ", WeatherBodyKind::UpperAir,
       "the server answered \"ERROR: Could not Find: MAN   \"."},
      {"web page", "\n<!DOCTYPE html><html><body>KSEA 291153Z</body></html>", WeatherBodyKind::Metar,
       "the server sent a web page, not weather."},
      {"gzip", std::string("\x1f\x8b\x08\x00", 4) + metar, WeatherBodyKind::Metar,
       "the server sent a compressed body, not weather text."},
      {"binary", std::string(2000, '\0') + metar, WeatherBodyKind::Metar,
       "the server sent binary data, not weather text."},
      {"a stray control byte in real text", metar + std::string("KNSI 291153Z RMK \x02\xa8 A\n"),
       WeatherBodyKind::Metar, ""},
      {"one 10 MB line", std::string(10 << 20, 'A'), WeatherBodyKind::Metar, "the body holds no METAR report."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WhyNotWeather(dir.Write("body.txt", c.body).string(), c.kind), c.why);
  }
  // Real files of both kinds pass.
  ALTIVANE_REQUIRE_SHARED_DATA();
  EXPECT_EQ(WhyNotWeather((SharedDataDir() / "metar" / "cycles" / "20230429_12Z.TXT").string(), WeatherBodyKind::Metar),
            "");
  EXPECT_EQ(WhyNotWeather((SharedDataDir() / "upperair" / "noaaport_upperair_20220713_00Z.wmo").string(),
                          WeatherBodyKind::UpperAir),
            "");
  EXPECT_EQ(WhyNotWeather((SharedDataDir() / "upperair" / "pyiem_MANANN.txt").string(), WeatherBodyKind::UpperAir), "");
}

}  // namespace
}  // namespace altivane::test
