// Real reports from ../shared/data/metar: every one decodes without a sanitizer finding, the
// decoded values agree with NOAA's own decoding, and the cycle files give plausible counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "reports/metar_decoder.h"
#include "reports/metar_file.h"
#include "stations/metar_stations.h"
#include "support/recording_controls.h"
#include "support/test_data.h"

namespace {

using altivane::test::RecordingControls;
using altivane::test::SharedDataDir;

std::filesystem::path MetarDir() { return SharedDataDir() / "metar"; }

std::vector<std::string> Lines(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The values the decoder promises whatever the report.
void ExpectSaneFields(const METAR_Station& s) {
  EXPECT_TRUE(s.m_ReportValid == 0 || s.m_ReportValid == 1);
  EXPECT_GE(s.m_WindSpeed, 0);
  EXPECT_LE(s.m_WindSpeed, 400);
  EXPECT_GE(s.m_WindGust, 0);
  EXPECT_GE(s.m_PrecipIntensity, 0.0);
  EXPECT_LE(s.m_PrecipIntensity, 1.0);
  EXPECT_TRUE(s.m_Thunderstorm == 0 || s.m_Thunderstorm == 1);
  for (std::size_t i = 0; i < s.m_CloudCover.size(); ++i) {
    if (i == 0 && s.m_CloudCover[0] == kMissingReal) continue;
    EXPECT_GE(s.m_CloudCover[i], 0.0);
    EXPECT_LE(s.m_CloudCover[i], 1.0);
    EXPECT_GE(s.m_CloudThickness[i], 0.0);
    EXPECT_LE(s.m_CloudThickness[i], 4.0);
    EXPECT_GE(s.m_CloudBase[i], 0);
  }
  EXPECT_TRUE(s.m_Pressure == kMissing || s.m_Pressure > 0);
}

TEST(RealMetar, EveryCorpusReportDecodes) {
  ALTIVANE_REQUIRE_SHARED_DATA();
  int reports = 0;
  int valid = 0;
  for (const char* name : {"corpus.txt", "corpus_irregular.txt"}) {
    for (const std::string& report : Lines(MetarDir() / name)) {
      SCOPED_TRACE(report);
      METAR_Station s;
      s.DecodeReport(report, NoAgeLimit());
      ExpectSaneFields(s);
      ++reports;
      valid += s.m_ReportValid;
    }
  }
  std::cout << "corpus: " << reports << " reports, " << valid << " usable\n";
  EXPECT_GT(reports, 26000);
  // Reports without a temperature (XX/XX, /////) or with a pressure group that is not the letter
  // and four digits (QFE816.0, Q10115) are unusable: about 10 %.
  EXPECT_GT(valid, reports * 88 / 100);
}

// NOAA's decoded station files hold the raw report and NOAA's reading of it. Whole-degree
// temperatures and dew points are NOAA's reading of the main group (tenths come from the remarks).
struct NoaaBlock {
  std::string report;
  std::optional<int> celsius, dewPoint, hectopascals, knots, degrees;
};

std::vector<NoaaBlock> NoaaBlocks() {
  const std::regex temperature(R"(^Temperature: .*\((-?\d+) C\))");
  const std::regex dewPoint(R"(^Dew Point: .*\((-?\d+) C\))");
  const std::regex pressure(R"(^Pressure \(altimeter\): .*\((\d+) hPa\))");
  const std::regex wind(R"(^Wind: from the \w+ \((\d+) degrees\) at \d+ MPH \((\d+) KT\))");
  const std::regex variable(R"(^Wind: Variable at \d+ MPH \((\d+) KT\))");
  std::vector<NoaaBlock> blocks;
  std::smatch m;
  for (const std::string& line : Lines(MetarDir() / "noaa_decoded" / "noaa_decoded_2010-10-31.txt")) {
    if (line.rfind("#### ", 0) == 0) {
      blocks.emplace_back();
    } else if (blocks.empty()) {
      continue;
    } else if (line.rfind("ob: ", 0) == 0) {
      blocks.back().report = line.substr(4);
    } else if (std::regex_search(line, m, temperature)) {
      blocks.back().celsius = std::stoi(m[1]);
    } else if (std::regex_search(line, m, dewPoint)) {
      blocks.back().dewPoint = std::stoi(m[1]);
    } else if (std::regex_search(line, m, pressure)) {
      blocks.back().hectopascals = std::stoi(m[1]);
    } else if (std::regex_search(line, m, wind)) {
      blocks.back().degrees = std::stoi(m[1]);
      blocks.back().knots = std::stoi(m[2]);
    } else if (std::regex_search(line, m, variable)) {
      blocks.back().knots = std::stoi(m[1]);
    } else if (line.rfind("Wind: Calm", 0) == 0) {
      blocks.back().knots = 0;
    }
  }
  return blocks;
}

// Every report NOAA gave a value for counts; a value the decoder left missing is a miss.
TEST(RealMetar, AgreesWithNoaaDecoding) {
  ALTIVANE_REQUIRE_SHARED_DATA();
  struct Tally {
    explicit Tally(const char* fieldName) : name(fieldName) {}
    const char* name;
    int compared = 0, agreed = 0;
    std::vector<std::string> misses;
    void Add(bool agrees, const std::string& report, int decoded, int noaa) {
      ++compared;
      if (agrees) {
        ++agreed;
      } else if (misses.size() < 8) {
        misses.push_back(std::to_string(decoded) + " for " + std::to_string(noaa) + ": " + report);
      }
    }
  } temperature{"temperature"}, dewPoint{"dew point"}, pressure{"pressure"}, speed{"wind speed"},
      direction{"wind direction"};
  // The centre of a variable sector is this decoder's choice, not NOAA's reading.
  const std::regex sectorGroup(R"( \d{3}V\d{3}( |$))");
  for (const NoaaBlock& block : NoaaBlocks()) {
    if (block.report.empty() || std::regex_search(block.report, sectorGroup)) continue;
    METAR_Station s;
    s.DecodeReport(block.report, NoAgeLimit());
    if (block.celsius)
      temperature.Add(s.m_Temperature == *block.celsius, block.report, s.m_Temperature, *block.celsius);
    if (block.dewPoint) dewPoint.Add(s.m_DewPoint == *block.dewPoint, block.report, s.m_DewPoint, *block.dewPoint);
    // NOAA converts a Q group to inches and back, and an A group to whole hPa by rounding.
    if (block.hectopascals)
      pressure.Add(s.m_Pressure != kMissing && std::abs(s.m_Pressure - *block.hectopascals) <= 1, block.report,
                   s.m_Pressure, *block.hectopascals);
    if (block.knots) speed.Add(s.m_WindSpeed == *block.knots, block.report, s.m_WindSpeed, *block.knots);
    if (block.degrees)
      direction.Add(s.m_WindDirection == *block.degrees, block.report, s.m_WindDirection, *block.degrees);
  }
  for (const Tally* t : {&temperature, &dewPoint, &pressure, &speed, &direction}) {
    std::cout << "NOAA agreement, " << t->name << ": " << t->agreed << "/" << t->compared << " = " << std::fixed
              << std::setprecision(2) << 100.0 * t->agreed / std::max(t->compared, 1) << " %\n";
    for (const std::string& miss : t->misses) std::cout << "  " << miss << "\n";
  }
  for (const Tally* t : {&temperature, &dewPoint, &pressure, &speed, &direction}) {
    SCOPED_TRACE(t->name);
    EXPECT_GT(t->compared, 4000);
    EXPECT_GE(t->agreed * 1000, t->compared * 995);  // at least 99.5 %
  }
}

// A catalogue with a report station for every identifier on a report line of the file.
std::unique_ptr<METAR_Stations> CatalogueFor(const std::filesystem::path& file, bool dated) {
  const std::regex dateLine(R"(^\d{4}/\d\d/\d\d \d\d:\d\d)");
  auto stations = std::make_unique<METAR_Stations>();
  std::string previous;
  for (const std::string& line : Lines(file)) {
    const bool reportLine = dated ? std::regex_search(previous, dateLine) : line.size() > 4;
    if (reportLine && line.size() >= 4 && !stations->Lookup(line.substr(0, 4))) {
      const std::string key = line.substr(0, 4);
      auto record = std::make_unique<METAR_Station>();
      record->m_Key = key;
      record->m_State = kStateToSend;
      stations->SetAt(key, std::move(record));
    }
    previous = line;
  }
  return stations;
}

int ValidCount(const RecordingControls& controls) {
  const std::string text = controls.status.GetText();
  return text.empty() ? 0 : std::atoi(text.c_str());
}

TEST(RealMetar, CycleFilesInTheDatedLayout) {
  ALTIVANE_REQUIRE_SHARED_DATA();
  for (const char* name : {"20230429_00Z.TXT", "20230429_12Z.TXT", "20230429_19Z_partial.TXT"}) {
    SCOPED_TRACE(name);
    const auto path = MetarDir() / "cycles" / name;
    std::size_t entries = 0;
    for (const std::string& line : Lines(path)) entries += line.empty() ? 1 : 0;
    RecordingControls controls;
    auto stations = CatalogueFor(path, true);
    ASSERT_TRUE(stations->ReadMetarFile(path.string(), NoAgeLimit()));
    const int valid = ValidCount(controls);
    int usable = 0;
    for (const auto& [key, record] : stations->Records()) {
      const auto& s = dynamic_cast<const METAR_Station&>(*record);
      SCOPED_TRACE(s.m_ReportText);
      ExpectSaneFields(s);
      EXPECT_EQ(s.m_ReportText.substr(0, 2), "20");  // the date line leads every report
      usable += s.m_ReportValid;
    }
    std::cout << name << ": " << entries << " entries, " << valid << " read and valid, " << usable << " of "
              << stations->Count() << " stations usable, first report " << stations->m_ReportDate << " "
              << stations->m_ReportTime << "\n";
    EXPECT_EQ(stations->m_CycleFileRead, 1);
    EXPECT_TRUE(std::regex_match(stations->m_ReportDate, std::regex(R"(\d{4}/\d\d/\d\d)")));
    EXPECT_GT(valid, static_cast<int>(entries) * 9 / 10);
    EXPECT_GT(usable, static_cast<int>(stations->Count()) * 9 / 10);
  }
}

// Cycle files carry reports of the day before. Read with the cut three hours before the file's
// own hour, a station whose every report is older keeps none, and no report that is left is
// older. The age is the report's own day-time group: in the 00Z file 992 entries stand under
// the date line "2023/04/27 23:xx" although they are reports of 28 April 23:xx.
TEST(RealMetar, ReportsLongBeforeTheFilesHourAreLeftOut) {
  ALTIVANE_REQUIRE_SHARED_DATA();
  using namespace std::chrono;
  struct Case {
    const char* name;
    int hour;          // the file's own hour, on 29 April 2023
    int staleEntries;  // entries whose report is older than the cut (counted by hand)
  };
  const Case cases[] = {{"20230429_00Z.TXT", 0, 0}, {"20230429_12Z.TXT", 12, 2}, {"20230429_19Z_partial.TXT", 19, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = MetarDir() / "cycles" / c.name;
    const WeatherTime cut = WeatherTime{sys_days{year{2023} / April / 29}} + hours{c.hour - 3};
    // Newest report of each station, from its "ddhhmmZ" group (every report of these files is
    // of April, and the group follows the four-letter station).
    std::map<std::string, WeatherTime> newest;
    int staleEntries = 0;
    std::string previous;
    for (const std::string& line : Lines(path)) {
      WeatherTime dated{};
      if (line.size() >= 12 && line[11] == 'Z' && EntryDateTime(previous, dated)) {
        const WeatherTime observed = WeatherTime{sys_days{year{2023} / April / std::stoi(line.substr(5, 2))}} +
                                     hours{std::stoi(line.substr(7, 2))} + minutes{std::stoi(line.substr(9, 2))};
        staleEntries += observed < cut ? 1 : 0;
        auto [it, added] = newest.emplace(line.substr(0, 4), observed);
        if (!added) it->second = std::max(it->second, observed);
      }
      previous = line;
    }
    EXPECT_EQ(staleEntries, c.staleEntries);
    RecordingControls controls;
    auto all = CatalogueFor(path, true);
    auto recent = CatalogueFor(path, true);
    ASSERT_TRUE(all->ReadMetarFile(path.string(), NoAgeLimit()));
    ASSERT_TRUE(recent->ReadMetarFile(path.string(), NoAgeLimit(), cut));
    int dropped = 0;
    int onlyStale = 0;
    for (const auto& [key, record] : recent->Records()) {
      const auto& s = dynamic_cast<const METAR_Station&>(*record);
      const auto& before = dynamic_cast<const METAR_Station&>(*all->Lookup(key));
      SCOPED_TRACE(key);
      const auto known = newest.find(key);
      const bool stale = known != newest.end() && known->second < cut;
      if (stale) {
        EXPECT_EQ(s.m_ReportValid, 0);
      }
      if (stale && before.m_ReportValid == 1) ++onlyStale;
      if (before.m_ReportValid == 1 && s.m_ReportValid != 1) ++dropped;
      WeatherTime kept{};
      if (s.m_ReportValid == 1) {
        ASSERT_TRUE(EntryObservedNear(s.m_ReportText, cut, kept)) << s.m_ReportText;
        EXPECT_GE(kept, cut);
      }
    }
    EXPECT_EQ(dropped, onlyStale);
    std::cout << c.name << ": " << staleEntries << " entries older than " << (c.hour + 21) % 24 << ":00Z, " << dropped
              << " stations left without a report\n";
  }
}

TEST(RealMetar, BulletinsReadAsOneReportPerLine) {
  ALTIVANE_REQUIRE_SHARED_DATA();
  // Framing bytes, NUL, non-ASCII and continuation lines: every file reads without a finding.
  for (const auto& entry : std::filesystem::directory_iterator(MetarDir() / "bulletins")) {
    SCOPED_TRACE(entry.path().filename().string());
    RecordingControls controls;
    auto stations = CatalogueFor(entry.path(), false);
    ASSERT_TRUE(stations->ReadMetarFile(entry.path().string(), NoAgeLimit()));
    for (const auto& [key, record] : stations->Records()) ExpectSaneFields(dynamic_cast<const METAR_Station&>(*record));
  }
  RecordingControls controls;
  const auto collective = MetarDir() / "bulletins" / "pyiem_collective2.txt";
  auto stations = CatalogueFor(collective, false);
  ASSERT_TRUE(stations->ReadMetarFile(collective.string(), NoAgeLimit()));
  const auto& kacy = dynamic_cast<const METAR_Station&>(*stations->Lookup("KACY"));
  EXPECT_EQ(kacy.m_WindDirection, 180);
  EXPECT_EQ(kacy.m_WindSpeed, 8);
  EXPECT_EQ(kacy.m_Temperature, -1);
  EXPECT_EQ(kacy.m_Pressure, 1020);
  EXPECT_EQ(kacy.m_ReportValid, 1);
}

}  // namespace
