#include "acquire/weather_files.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono;

system_clock::time_point At(int y, unsigned m, unsigned d, int hh, int mm) {
  return system_clock::time_point{sys_days{year{y} / month{m} / day{d}} + hours{hh} + minutes{mm}};
}

TEST(WeatherFileNames, FollowTheUtcClockAcrossDayMonthAndYearEnds) {
  struct Case {
    const char* name;
    system_clock::time_point now;
    const char* currentUrl;
    const char* currentFile;
    const char* completeUrl;
    const char* completeFile;
    const char* upperUrl;
    const char* upperFile;
  };
  const Case cases[] = {
      {"14:37", At(2003, 12, 6, 14, 37), "/weather/observations/airways/03120614.metar", "20031206_1400Z.TXT",
       "/weather/observations/airways/03120613.metar", "20031206_1300Z_Complete.TXT",
       "/Data/archive/radiosonde/20031206/2003120612.rdisnd", "20031206_1200Z.rdisnd"},
      {"00:20, hour before on the day before", At(2003, 12, 6, 0, 20), "/weather/observations/airways/03120600.metar",
       "20031206_0000Z.TXT", "/weather/observations/airways/03120523.metar", "20031205_2300Z_Complete.TXT",
       "/Data/archive/radiosonde/20031206/2003120600.rdisnd", "20031206_0000Z.rdisnd"},
      {"00:10 on 1 January", At(2004, 1, 1, 0, 10), "/weather/observations/airways/04010100.metar",
       "20040101_0000Z.TXT", "/weather/observations/airways/03123123.metar", "20031231_2300Z_Complete.TXT",
       "/Data/archive/radiosonde/20040101/2004010100.rdisnd", "20040101_0000Z.rdisnd"},
      {"00:05 on 1 March of a leap year", At(2004, 3, 1, 0, 5), "/weather/observations/airways/04030100.metar",
       "20040301_0000Z.TXT", "/weather/observations/airways/04022923.metar", "20040229_2300Z_Complete.TXT",
       "/Data/archive/radiosonde/20040301/2004030100.rdisnd", "20040301_0000Z.rdisnd"},
      {"11:59 takes the 00Z sounding", At(2003, 12, 6, 11, 59), "/weather/observations/airways/03120611.metar",
       "20031206_1100Z.TXT", "/weather/observations/airways/03120610.metar", "20031206_1000Z_Complete.TXT",
       "/Data/archive/radiosonde/20031206/2003120600.rdisnd", "20031206_0000Z.rdisnd"},
      {"12:00 takes the 12Z sounding", At(2003, 12, 6, 12, 0), "/weather/observations/airways/03120612.metar",
       "20031206_1200Z.TXT", "/weather/observations/airways/03120611.metar", "20031206_1100Z_Complete.TXT",
       "/Data/archive/radiosonde/20031206/2003120612.rdisnd", "20031206_1200Z.rdisnd"},
      {"single digits get a zero, year 2009", At(2009, 3, 5, 7, 5), "/weather/observations/airways/09030507.metar",
       "20090305_0700Z.TXT", "/weather/observations/airways/09030506.metar", "20090305_0600Z_Complete.TXT",
       "/Data/archive/radiosonde/20090305/2009030500.rdisnd", "20090305_0000Z.rdisnd"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const UtcHour now = UtcHourOf(c.now);
    const UtcHour before = AddHours(now, -1);
    EXPECT_EQ(MetarUrlPath(now), c.currentUrl);
    EXPECT_EQ(CurrentMetarFileName(now), c.currentFile);
    EXPECT_EQ(MetarUrlPath(before), c.completeUrl);
    EXPECT_EQ(CompleteMetarFileName(before), c.completeFile);
    EXPECT_EQ(UpperAirUrlPath(now), c.upperUrl);
    EXPECT_EQ(UpperAirFileName(now), c.upperFile);
  }
}

TEST(WeatherFileNames, HoursCarryBothWays) {
  EXPECT_EQ(AddHours({2003, 12, 31, 23}, 1), (UtcHour{2004, 1, 1, 0}));
  EXPECT_EQ(AddHours({2004, 1, 1, 0}, -1), (UtcHour{2003, 12, 31, 23}));
  EXPECT_EQ(AddHours({2003, 12, 6, 6}, -12), (UtcHour{2003, 12, 5, 18}));
  EXPECT_EQ(UpperAirFileNameAt({2004, 1, 1, 0}), "20040101_0000Z.rdisnd");
  EXPECT_FALSE(MakeUtcHour(2003, 2, 29, 0));
  EXPECT_FALSE(MakeUtcHour(2003, 13, 1, 0));
  EXPECT_FALSE(MakeUtcHour(2003, 12, 6, 24));
  EXPECT_TRUE(MakeUtcHour(2004, 2, 29, 23));
}

}  // namespace
