// Real reports from ../shared/data/metar: every one decodes without a sanitizer finding, the
// decoded values agree with NOAA's own decoding, and the cycle files give plausible counts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "reports/metar_decoder.h"
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
  EXPECT_GT(valid, reports * 9 / 10);
}

// NOAA's decoded station files hold the raw report and NOAA's reading of it.
struct NoaaBlock {
  std::string report;
  std::optional<int> celsius, hectopascals, knots, degrees;
};

std::vector<NoaaBlock> NoaaBlocks() {
  const std::regex temperature(R"(^Temperature: .*\((-?\d+) C\))");
  const std::regex pressure(R"(^Pressure \(altimeter\): .*\((\d+) hPa\))");
  const std::regex wind(R"(^Wind: from the \w+ \((\d+) degrees\) at \d+ MPH \((\d+) KT\))");
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
    } else if (std::regex_search(line, m, pressure)) {
      blocks.back().hectopascals = std::stoi(m[1]);
    } else if (std::regex_search(line, m, wind)) {
      blocks.back().degrees = std::stoi(m[1]);
      blocks.back().knots = std::stoi(m[2]);
    }
  }
  return blocks;
}

TEST(RealMetar, AgreesWithNoaaDecoding) {
  ALTIVANE_REQUIRE_SHARED_DATA();
  struct Tally {
    int compared = 0, agreed = 0;
    void Add(bool agrees) {
      ++compared;
      agreed += agrees ? 1 : 0;
    }
  } temperature, pressure, speed, direction;
  const std::regex knotsGroup(R"((^| )(\d{3})(\d{2,3})(G\d{2,3})?KT( |$))");
  const std::regex sectorGroup(R"( \d{3}V\d{3}( |$))");
  for (const NoaaBlock& block : NoaaBlocks()) {
    if (block.report.empty()) continue;
    SCOPED_TRACE(block.report);
    METAR_Station s;
    s.DecodeReport(block.report, NoAgeLimit());
    if (block.celsius && s.m_Temperature != kMissing) temperature.Add(std::abs(s.m_Temperature - *block.celsius) <= 1);
    if (block.hectopascals && s.m_Pressure != kMissing)
      pressure.Add(std::abs(s.m_Pressure - *block.hectopascals) <= 1);
    // Wind in knots with a plain direction: the decoder must read what NOAA read.
    if (block.knots && std::regex_search(block.report, knotsGroup) && !std::regex_search(block.report, sectorGroup)) {
      speed.Add(s.m_WindSpeed == *block.knots);
      direction.Add(s.m_WindDirection == *block.degrees);
    }
  }
  std::cout << "NOAA agreement: temperature " << temperature.agreed << "/" << temperature.compared << ", pressure "
            << pressure.agreed << "/" << pressure.compared << ", wind speed " << speed.agreed << "/" << speed.compared
            << ", direction " << direction.agreed << "/" << direction.compared << "\n";
  for (const Tally* t : {&temperature, &pressure, &speed, &direction}) EXPECT_GT(t->compared, 4000);
  // The first group with a "/" is the temperature group, so a runway group or a missing wind
  // "/////" before it gives 0: about 6 % of these reports.
  EXPECT_GE(temperature.agreed, temperature.compared * 90 / 100);
  for (const Tally* t : {&pressure, &speed, &direction}) EXPECT_GE(t->agreed, t->compared * 99 / 100);
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
