#include "reports/metar_file.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "reports/metar_decoder.h"
#include "base/random.h"
#include "platform/progress.h"
#include "stations/metar_stations.h"
#include "support/recording_controls.h"
#include "support/test_data.h"

namespace {

using altivane::test::RecordingControls;
using altivane::test::TempDir;

// A catalogue with report stations for the given keys and one upper-air-only record.
std::unique_ptr<METAR_Stations> Catalogue(std::initializer_list<const char*> keys) {
  auto stations = std::make_unique<METAR_Stations>();
  for (const char* key : keys) {
    auto record = std::make_unique<METAR_Station>();
    record->m_Key = key;
    stations->SetAt(key, std::move(record));
  }
  auto upperAir = std::make_unique<Weather_Station>();
  upperAir->m_Key = "72403";
  stations->SetAt("7240", std::move(upperAir));
  return stations;
}

METAR_Station& Station(const METAR_Stations& stations, const char* key) {
  return *dynamic_cast<METAR_Station*>(stations.Lookup(key));
}

struct FileFixture : ::testing::Test {
  TempDir dir;
  RecordingControls controls;
  std::unique_ptr<METAR_Stations> stations = Catalogue({"KLAX", "KSFO", "1ABC"});

  bool Read(const std::string& bytes, WeatherTime reference = NoAgeLimit()) {
    return stations->ReadMetarFile(dir.Write("metar.txt", bytes).string(), reference);
  }
};

TEST_F(FileFixture, DatedEntriesAreDecodedWithTheirDateInFront) {
  ASSERT_TRUE(
      Read("2023/04/29 11:50\nKLAX 291150Z 25005KT 10SM CLR 18/10 A2992\n\n"
           "2023/04/29 11:56\nKSFO 291156Z 28012KT 10SM FEW008 14/11\n\n"
           "2023/04/29 11:55\nKOAK 291155Z 27010KT 10SM CLR 15/10 A2993\n\n"
           "2023/04/29 11:53\n1ABC 291153Z 00000KT 5SM BR 10/09 Q1001\n\n"));
  EXPECT_EQ(Station(*stations, "KLAX").m_ReportText, "2023/04/29 11:50 KLAX 291150Z 25005KT 10SM CLR 18/10 A2992 ");
  EXPECT_EQ(Station(*stations, "KLAX").m_ReportValid, 1);
  EXPECT_EQ(Station(*stations, "KLAX").m_WindDirection, 250);
  EXPECT_EQ(Station(*stations, "KSFO").m_ReportValid, 0);  // no pressure group
  EXPECT_EQ(Station(*stations, "1ABC").m_Pressure, 1001);  // identifier starting with a digit
  EXPECT_EQ(stations->m_CycleFileRead, 1);
  EXPECT_EQ(stations->m_ReportDate, "2023/04/29");
  EXPECT_EQ(stations->m_ReportTime, "11:50");
  EXPECT_EQ(controls.status.GetText(), "2 METAR Stations read and valid.");
  EXPECT_TRUE(controls.status.Saw("1 METAR Stations read and valid."));
}

TEST_F(FileFixture, EntryWithoutClosingEmptyLineIsNotDecoded) {
  ASSERT_TRUE(
      Read("2023/04/29 11:50\nKLAX 291150Z 25005KT 10SM CLR 18/10 A2992\n\n"
           "2023/04/29 11:56\nKSFO 291156Z 28012KT 10SM FEW008 14/11 A2992\n"));
  EXPECT_EQ(Station(*stations, "KLAX").m_ReportValid, 1);
  EXPECT_TRUE(Station(*stations, "KSFO").m_ReportText.empty());
  EXPECT_EQ(stations->m_CycleFileRead, 1);
}

TEST_F(FileFixture, ContinuationLinesJoinWithOneSpaceAndKeepTheStation) {
  ASSERT_TRUE(Read("2023/04/29 11:50\nKLAX 291150Z 25005KT  10SM CLR\n     18/10 A2992\nRMK AO2\n\n"));
  EXPECT_EQ(Station(*stations, "KLAX").m_ReportText,
            "2023/04/29 11:50 KLAX 291150Z 25005KT 10SM CLR 18/10 A2992 RMK AO2 ");
  EXPECT_EQ(Station(*stations, "KLAX").m_ReportValid, 1);
}

TEST_F(FileFixture, SecondEmptyLineDoesNotWipeTheLastReport) {
  ASSERT_TRUE(Read("2023/04/29 11:50\nKLAX 291150Z 25005KT 10SM CLR 18/10 A2992\n\n\n\n"));
  EXPECT_EQ(Station(*stations, "KLAX").m_ReportValid, 1);
  EXPECT_EQ(Station(*stations, "KLAX").m_Pressure, 1013);
}

TEST_F(FileFixture, OneReportPerLineLayout) {
  ASSERT_TRUE(
      Read("METAR\nSAUS80 KWBC 010000\nKLAX 091150Z 25005KT 10SM CLR 18/10 A2992=\n"
           "KSFO 09115~Z 28012KT 10SM FEW008 14/11 A2995=\nKOAK\nXXXX 091150Z 00000KT=\n"));
  EXPECT_EQ(Station(*stations, "KLAX").m_ReportText, "KLAX 091150Z 25005KT 10SM CLR 18/10 A2992 ");
  EXPECT_EQ(Station(*stations, "KLAX").m_WindSpeed, 5);  // searched from the first group on
  EXPECT_EQ(Station(*stations, "KLAX").m_ObsDate, "2999/12/09");
  EXPECT_EQ(Station(*stations, "KSFO").m_ObsTime, "11:50");  // "~" stands for 0
  EXPECT_EQ(controls.status.GetText(), "2 METAR Stations read and valid.");
  EXPECT_EQ(stations->m_ReportTime, "11:50");
}

TEST_F(FileFixture, LastLineWithoutLineEndKeepsItsPressure) {
  ASSERT_TRUE(Read("KLAX 091150Z 25005KT 10SM CLR 18/10 A2992"));
  EXPECT_EQ(Station(*stations, "KLAX").m_Pressure, 1013);
}

TEST_F(FileFixture, WindowsLineEnds) {
  ASSERT_TRUE(Read("2023/04/29 11:50\r\nKLAX 291150Z 25005KT 10SM CLR 18/10 A2992\r\n\r\n"));
  EXPECT_EQ(Station(*stations, "KLAX").m_ReportText, "2023/04/29 11:50 KLAX 291150Z 25005KT 10SM CLR 18/10 A2992 ");
}

// Lines fed straight to the core, in both layouts: each valid report shows its count on the
// given sink, in order, and the status field is left alone.
TEST_F(FileFixture, LinesFedToTheCoreReportToTheirSinkOnly) {
  struct Case {
    const char* name;
    std::vector<const char*> lines;
    std::vector<std::string> shown;
  };
  const Case cases[] = {
      {"dated",
       {"2023/04/29 11:50\n", "KLAX 291150Z 25005KT 10SM CLR 18/10 A2992\n", "\n", "2023/04/29 11:53\n",
        "1ABC 291153Z 00000KT 5SM BR 10/09 Q1001\n", "\n"},
       {"1 METAR Stations read and valid.", "2 METAR Stations read and valid."}},
      {"one per line",
       {"KLAX 291150Z 25005KT 10SM CLR 18/10 A2992=\n", "KSFO 291156Z 28012KT 10SM FEW008 14/11=\n",
        "1ABC 291153Z 00000KT 5SM BR 10/09 Q1001=\n"},
       {"1 METAR Stations read and valid.", "2 METAR Stations read and valid."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    struct Texts final : ProgressSink {
      void Show(const std::string& text) override { shown.push_back(text); }
      std::vector<std::string> shown;
    } sink;
    auto catalogue = Catalogue({"KLAX", "KSFO", "1ABC"});
    MetarLineReader reader(*catalogue, NoAgeLimit(), sink);
    for (const char* line : c.lines) reader.AddLine(line);
    EXPECT_EQ(sink.shown, c.shown);
    EXPECT_EQ(reader.ValidCount(), static_cast<int>(c.shown.size()));
    EXPECT_EQ(Station(*catalogue, "1ABC").m_Pressure, 1001);
  }
  EXPECT_TRUE(controls.status.History().empty());
}

TEST_F(FileFixture, FileThatCannotBeOpened) {
  stations->m_CycleFileRead = 1;
  EXPECT_FALSE(stations->ReadMetarFile((dir.Path() / "missing.txt").string(), NoAgeLimit()));
  EXPECT_EQ(stations->m_CycleFileRead, 0);
  EXPECT_EQ(controls.status.GetText(), "");
}

TEST_F(FileFixture, ReportDateAndTimeAreSetOnce) {
  ASSERT_TRUE(Read("2023/04/29 11:50\nKSFO 291150Z 28012KT 10SM FEW008 14/11\n\n"));
  EXPECT_EQ(stations->m_ReportTime, "11:50");  // set by an unusable report too
  ASSERT_TRUE(Read("2023/04/29 12:50\nKLAX 291250Z 25005KT 10SM CLR 18/10 A2992\n\n"));
  EXPECT_EQ(stations->m_ReportDate, "2023/04/29");
  EXPECT_EQ(stations->m_ReportTime, "11:50");
  EXPECT_EQ(controls.status.GetText(), "1 METAR Stations read and valid.");  // counted per call
}

TEST_F(FileFixture, ReferenceTimeIsPassedToTheDecoder) {
  ASSERT_TRUE(
      Read("2023/04/29 11:50\nKLAX 291150Z 25005KT 10SM CLR 18/10 A2992\n\n"
           "2023/04/29 12:10\nKLAX 291210Z 09020KT 10SM CLR 18/10 A2992\n\n",
           *ParseReferenceTime("2023-04-29 12:00")));
  EXPECT_EQ(Station(*stations, "KLAX").m_WindDirection, 250);
  EXPECT_EQ(Station(*stations, "KLAX").m_ObsTime, "12:10");
  // The newer one keeps the report before; it is not read, so not counted.
  EXPECT_EQ(controls.status.GetText(), "1 METAR Stations read and valid.");
}

// Entries that are no report of their own, and line ends of WMO feeds: KLAX keeps the report of
// the first entry, and each report is read (and counted) once.
TEST_F(FileFixture, EntriesThatNameNoStationAndFeedLineEnds) {
  const std::string klax = "2023/04/29 11:50\nKLAX 291150Z 25005KT 10SM CLR 18/10 A2992\n\n";
  const std::string klaxText = "2023/04/29 11:50 KLAX 291150Z 25005KT 10SM CLR 18/10 A2992 ";
  struct Case {
    const char* name;
    std::string bytes;
    std::string klaxText;
    const char* status;
  } cases[] = {
      {"date line alone", klax + "2023/04/29 12:50\n\n", klaxText, "1 METAR Stations read and valid."},
      {"date line alone at the end", klax + "2023/04/29 12:50\n\n\n", klaxText, "1 METAR Stations read and valid."},
      {"blank line ends the entry",
       "2023/04/29 11:50\nKLAX 291150Z 25005KT 10SM CLR 18/10 A2992\n   \n"
       "2023/04/29 11:56\nKSFO 291156Z 28012KT 10SM FEW008 14/11 A2995\n \t\n",
       klaxText, "2 METAR Stations read and valid."},
      {"CR CR LF",
       "2023/04/29 11:50\r\r\nKLAX 291150Z 25005KT 10SM CLR 18/10 A2992\r\r\n\r\r\n"
       "2023/04/29 11:56\r\r\nKSFO 291156Z 28012KT 10SM FEW008 14/11 A2995\r\r\n\r\r\n",
       klaxText, "2 METAR Stations read and valid."},
      {"lone CR", "2023/04/29 11:50\rKLAX 291150Z 25005KT 10SM CLR 18/10 A2992\r\r", klaxText,
       "1 METAR Stations read and valid."},
      {"NIL report", klax + "2023/04/29 12:50\nKLAX 291250Z NIL\n\n", klaxText, "1 METAR Stations read and valid."},
      {"NIL report, one per line", "KLAX 291150Z 25005KT 10SM CLR 18/10 A2992=\nKLAX 291250Z NIL=\n",
       "KLAX 291150Z 25005KT 10SM CLR 18/10 A2992 ", "1 METAR Stations read and valid."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    stations = Catalogue({"KLAX", "KSFO"});
    ASSERT_TRUE(Read(c.bytes));
    const METAR_Station& s = Station(*stations, "KLAX");
    EXPECT_EQ(s.m_ReportText, c.klaxText);
    EXPECT_EQ(s.m_ReportValid, 1);
    EXPECT_EQ(s.m_Pressure, 1013);
    EXPECT_EQ(s.m_ObsTime, "11:50");
    EXPECT_EQ(controls.status.GetText(), c.status);
  }
}

TEST_F(FileFixture, SeedsTheGeneratorFromTheFirstLine) {
  ASSERT_TRUE(Read("2023/04/29 00:55\nKLAX 290055Z 25005KT 10SM CLR 18/10 A2992\n\n"));
  const int afterRead = NextRandom();
  SeedRandom(MetarFileSeed("2023/04/29 00:55"));
  EXPECT_EQ(afterRead, NextRandom());  // the report drew nothing
}

TEST_F(FileFixture, LongLinesAndEntriesStayBounded) {
  const std::string huge(10'000'000, 'A');
  ASSERT_TRUE(Read("2023/04/29 11:50\nKLAX 291150Z 25005KT " + huge + "\n\n"));
  EXPECT_LE(Station(*stations, "KLAX").m_ReportText.size(), kMetarEntryLimit + kMetarLineLimit + 1);
  EXPECT_EQ(Station(*stations, "KLAX").m_WindSpeed, 5);
  // One report per line: the rest of a long line comes as further lines.
  ASSERT_TRUE(Read("KLAX 091150Z 25005KT " + std::string(300, 'X') + "\nKSFO" + std::string(250, ' ') +
                   "KLAX 091150Z 09010KT\n"));
  EXPECT_EQ(Station(*stations, "KLAX").m_WindDirection, 250);
}

TEST_F(FileFixture, MillionEmptyLines) {
  ASSERT_TRUE(Read("2023/04/29 11:50\nKLAX 291150Z 25005KT 10SM CLR 18/10 A2992\n" + std::string(1'000'000, '\n')));
  EXPECT_EQ(Station(*stations, "KLAX").m_ReportValid, 1);
}

TEST(CleanLine, SpacesLineEndsAndReplacements) {
  struct Case {
    const char* before;
    const char* line;
    bool perLine;
    const char* after;
  };
  const Case cases[] = {
      {"", "KLAX 091150Z 25005KT 10SM CLR 18/10 A2992=\n", true, "KLAX 091150Z 25005KT 10SM CLR 18/10 A2992 "},
      {"", "KLAX  091150Z   25005KT\n", false, "KLAX 091150Z 25005KT "},
      {"KLAX ", "     A2992\n", false, "KLAX A2992 "},
      {"", "A=B~C\n", false, "A=B~C "},
      {"", "A=B~C\n", true, "A B0C "},
      {"", "2023/04/29 11:50\n", false, "2023/04/29 11:50 "},
      {"", "KLAX", false, "KLAX "},  // a piece without a line end keeps its last character
      {"", "\n", false, " "},
      {"", "", false, " "},
      {"X ", "  \n", false, "X "},
      {"", "  A==\n", true, " A "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::string entry = c.before;
    AppendCleanLine(entry, c.line, c.perLine);
    EXPECT_EQ(entry, c.after);
  }
  // A pair of spaces at every place of the words the line is scanned in, and a line that
  // starts with a space after an entry that ends with one.
  for (std::size_t at = 0; at < 20; ++at) {
    const std::string head(at, 'A');
    std::string entry = "X ";
    AppendCleanLine(entry, head + "  BCDEFGHIJKLMNOP\n", false);
    EXPECT_EQ(entry, "X " + head + (at ? " " : "") + "BCDEFGHIJKLMNOP ") << at;
  }
  std::string entry = "X ";
  AppendCleanLine(entry, " A B\n", false);
  EXPECT_EQ(entry, "X A B ");
}

TEST(FileSeed, FromTheDateLineFields) {
  EXPECT_EQ(MetarFileSeed("2023/04/29 00:55"), 43u * 31557600u + 4u * 2592000u + 29u * 86400u + 55u * 60u);
  EXPECT_EQ(MetarFileSeed("1980/00/00 00:00"), 0u);
  EXPECT_EQ(MetarFileSeed("1980/01/01 01:01\n"), 2592000u + 86400u + 3600u + 60u);
  // Before 1980 the sum is negative and wraps modulo 2^32; fields that are no number read as 0.
  EXPECT_EQ(MetarFileSeed("METAR"), static_cast<std::uint32_t>(std::int64_t{-1980} * 31557600));
  EXPECT_EQ(MetarFileSeed(""), static_cast<std::uint32_t>(std::int64_t{-1980} * 31557600));
  EXPECT_EQ(MetarFileSeed("INF/x"),
            static_cast<std::uint32_t>(static_cast<std::int64_t>((2147483647.0 - 1980.0) * 31557600.0)));
}

// The age of an entry: the report's own day-time group, in the month nearest the anchor;
// the date line only when there is no group.
TEST(MetarEntryAge, DayTimeGroupInTheNearestMonth) {
  using namespace std::chrono;
  const auto at = [](int y, unsigned m, unsigned d, int hh, int mm) {
    return WeatherTime{sys_days{year{y} / month{m} / day{d}}} + hours{hh} + minutes{mm};
  };
  struct Case {
    const char* entry;
    WeatherTime near;
    bool found;
    WeatherTime expected;
  };
  const Case cases[] = {
      {"2023/04/27 23:55 KNQX 282353Z 08004KT ", at(2023, 4, 28, 21, 0), true, at(2023, 4, 28, 23, 53)},
      {"2023/04/30 23:55 KXXX 302355Z ", at(2023, 5, 1, 0, 0), true, at(2023, 4, 30, 23, 55)},
      {"2023/05/01 00:05 KXXX 010005Z ", at(2023, 4, 30, 21, 0), true, at(2023, 5, 1, 0, 5)},
      {"2024/02/29 12:00 SPECI KXXX 291200Z ", at(2024, 3, 1, 9, 0), true, at(2024, 2, 29, 12, 0)},
      {"2023/12/31 23:50 KXXX 312350Z ", at(2024, 1, 1, 0, 0), true, at(2023, 12, 31, 23, 50)},
      {"MBPV 281200Z 12005KT ", at(2023, 4, 29, 9, 0), true, at(2023, 4, 28, 12, 0)},
      {"2023/04/28 12:00 MBPV 12005KT ", at(2023, 4, 29, 9, 0), true, at(2023, 4, 28, 12, 0)},
      {"MBPV 12005KT 9999 ", at(2023, 4, 29, 9, 0), false, {}},
      {"KXXX 282460Z ", at(2023, 4, 29, 9, 0), false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    WeatherTime observed{};
    EXPECT_EQ(EntryObservedNear(c.entry, c.near, observed), c.found);
    if (c.found) {
      EXPECT_EQ(observed, c.expected);
    }
  }
}

}  // namespace
