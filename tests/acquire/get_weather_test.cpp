#include "acquire/get_weather.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "acquire/weather_files.h"
#include "loopback_http_server.h"
#include "platform/dialogs.h"
#include "platform/paths.h"
#include "reports/metar_decoder.h"
#include "scoped_registry.h"
#include "stations/sim_folder.h"
#include "stations/metar_stations.h"
#include "support/recording_controls.h"
#include "support/test_data.h"

namespace altivane::test {
namespace {

using namespace std::chrono;

system_clock::time_point At(int y, unsigned m, unsigned d, int hh, int mm) {
  return system_clock::time_point{sys_days{year{y} / month{m} / day{d}} + hours{hh} + minutes{mm}};
}

WeatherTime Hour(int y, unsigned m, unsigned d, int hh) {
  return WeatherTime{sys_days{year{y} / month{m} / day{d}}} + hours{hh};
}

std::string FileName(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct ReadCall {
  std::string kind;  // "metar" or "upper"
  std::string file;  // file name only
  WeatherTime reference{};
  bool operator==(const ReadCall&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ReadCall& call) {
  return out << call.kind << " " << call.file << " @" << call.reference.time_since_epoch().count();
}

// Answers the file and yes/no questions from a script and records what was asked.
class ScriptedDialogs : public IUserDialogs {
 public:
  ScriptedDialogs() : m_Previous(g_pUserDialogs.exchange(this)) {}
  ~ScriptedDialogs() override { g_pUserDialogs.store(m_Previous); }

  bool AskOpenFile(const OpenFileRequest& request, std::string& path) override {
    fileRequests.push_back(request);
    if (files.empty()) return false;
    path = files.front();
    files.pop_front();
    return !path.empty();
  }
  bool AskYesNo(const std::string& text, const std::string&) override {
    questions.push_back(text);
    return yes;
  }

  std::deque<std::string> files;  // "" cancels
  bool yes = false;
  std::vector<OpenFileRequest> fileRequests;
  std::vector<std::string> questions;

 private:
  IUserDialogs* m_Previous;
};

class RecordingOwner : public IWeatherOwner {
 public:
  void SetWeatherTime(WeatherTime time) override { times.push_back(time); }
  std::vector<WeatherTime> times;
};

class AcquireTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_PreviousSimFolder = g_SimFolder;
    g_SimFolder = m_Dir.Path().string() + "/";
  }
  void TearDown() override { g_SimFolder = m_PreviousSimFolder; }

  std::filesystem::path WeatherDir() const { return m_Dir.Path() / "Altivane" / "Weather"; }
  std::string WriteWeatherFile(const std::string& name, const std::string& text = "x\n") {
    return m_Dir.Write("Altivane/Weather/" + name, text).string();
  }

  // Readers that behave like the catalogue's for what the acquisition can see: false when the
  // file cannot be opened; the METAR reader records the first report's date and time.
  AcquireContext Context() {
    AcquireContext context;
    context.stations = &m_Stations;
    context.readMetarFile = [this](METAR_Stations& stations, const std::string& path, WeatherTime reference,
                                   WeatherTime) {
      reads.push_back({"metar", FileName(path), reference});
      if (!std::filesystem::exists(NativePath(path))) return false;
      if (stations.m_ReportDate.empty()) {
        stations.m_ReportDate = reportDate;
        stations.m_ReportTime = reportTime;
      }
      return true;
    };
    context.readUpperAirFile = [this](METAR_Stations&, const std::string& path) {
      reads.push_back({"upper", FileName(path), {}});
      std::ifstream file(NativePath(path));
      upperAirSeen.clear();
      std::getline(file, upperAirSeen);
      return std::filesystem::exists(NativePath(path)) && upperAirAccepted;
    };
    context.stopUpdateCycle = [this] { ++stops; };
    context.clock = [this] { return now; };
    return context;
  }

  TempDir m_Dir;
  ScopedRegistry m_Registry{m_Dir.Path() / "registry.ini"};
  RecordingControls controls;
  METAR_Stations m_Stations;
  std::string m_PreviousSimFolder;

  std::vector<ReadCall> reads;
  int stops = 0;
  system_clock::time_point now = At(2003, 12, 6, 14, 37);
  std::string reportDate = "2003/12/06";
  std::string reportTime = "13:50";
  bool upperAirAccepted = true;
  std::string upperAirSeen;  // first line of the upper-air file read last
};

// ---- current weather from the internet ----

class CurrentWeatherTest : public AcquireTest {
 protected:
  void SetUp() override {
    AcquireTest::SetUp();
    ASSERT_TRUE(ScopedRegistry::SetInternetSetting("MetarServer", server.HostPort()));
    ASSERT_TRUE(ScopedRegistry::SetInternetSetting("RadiosondeServer", server.HostPort()));
  }
  // The closing status of a fetch; the readers here fill no record, so no station counts.
  static std::string Summary(const std::string& aloftMissing = "no sounding in the file") {
    return "Weather from localhost: 0 stations with METAR reports; winds and temperatures aloft missing (" +
           aloftMissing + ").";
  }
  std::vector<std::string> Targets() const {
    std::vector<std::string> targets;
    for (const auto& request : server.Requests()) targets.push_back(request.target);
    return targets;
  }

  void SetAnswer(const std::string& path, const std::string& answer) {
    std::lock_guard lock(m_AnswersMutex);
    m_Answers[path] = answer;
  }

  std::mutex m_AnswersMutex;
  std::map<std::string, std::string> m_Answers = {
      {"/weather/observations/airways/03120614.metar", HttpAnswer(200, "current KSEA 061353Z\n")},
      {"/weather/observations/airways/03120613.metar", HttpAnswer(200, "complete KSEA 061253Z\n")},
      {"/Data/archive/radiosonde/20031206/2003120612.rdisnd", HttpAnswer(200, "TTAA 56121 72214\n")},
  };
  LoopbackHttpServer server{[this](const SeenRequest& request) {
    std::lock_guard lock(m_AnswersMutex);
    auto it = m_Answers.find(request.target);
    return it == m_Answers.end() ? HttpAnswer(404, "missing\n") : it->second;
  }};
};

TEST_F(CurrentWeatherTest, FetchesAllThreeFilesAndReadsTheOlderFirst) {
  RecordingOwner owner;
  GetWeatherfromFile(Context()).GetCurrentWeather(&owner);

  EXPECT_EQ(Targets(), (std::vector<std::string>{"/weather/observations/airways/03120614.metar",
                                                 "/weather/observations/airways/03120613.metar",
                                                 "/Data/archive/radiosonde/20031206/2003120612.rdisnd"}));
  std::ifstream current(WeatherDir() / "20031206_1400Z.TXT");
  std::string line;
  EXPECT_TRUE(std::getline(current, line) && line == "current KSEA 061353Z");
  EXPECT_TRUE(std::filesystem::exists(WeatherDir() / "20031206_1300Z_Complete.TXT"));
  EXPECT_TRUE(std::filesystem::exists(WeatherDir() / "20031206_1200Z.rdisnd"));

  EXPECT_EQ(reads, (std::vector<ReadCall>{{"upper", "20031206_1200Z.rdisnd", {}},
                                          {"metar", "20031206_1300Z_Complete.TXT", NoAgeLimit()},
                                          {"metar", "20031206_1400Z.TXT", NoAgeLimit()}}));
  EXPECT_EQ(NoAgeLimit(), Hour(3000, 12, 31, 0));
  EXPECT_EQ(controls.status.History(),
            (std::vector<std::string>{"METAR data file readed.", "Winds aloft file readed.", Summary()}));
  EXPECT_TRUE(controls.start.IsEnabled());
  EXPECT_FALSE(controls.end.IsEnabled());
  EXPECT_EQ(stops, 2);
}

TEST_F(CurrentWeatherTest, CachedCompleteAndUpperAirFilesMeanOneDownload) {
  WriteWeatherFile("20031206_1300Z_Complete.TXT", "kept complete\n");
  WriteWeatherFile("20031206_1200Z.rdisnd", "kept TTAA 56121 72214\n");
  RecordingOwner owner;
  GetWeatherfromFile(Context()).GetCurrentWeather(&owner);

  EXPECT_EQ(Targets(), (std::vector<std::string>{"/weather/observations/airways/03120614.metar"}));
  EXPECT_EQ(
      controls.status.History(),
      (std::vector<std::string>{"METAR data file readed.", "Winds aloft file from hard disk readed.", Summary()}));
  std::ifstream kept(WeatherDir() / "20031206_1300Z_Complete.TXT");
  std::string line;
  EXPECT_TRUE(std::getline(kept, line) && line == "kept complete");
  EXPECT_TRUE(controls.start.IsEnabled());
}

TEST_F(CurrentWeatherTest, FailedCurrentDownloadShowsItsResultAndKeepsTheButtons) {
  SetAnswer("/weather/observations/airways/03120614.metar", HttpAnswer(302, ""));  // no Location: result 2
  controls.start.Enable(true);
  controls.end.Enable(true);
  RecordingOwner owner;
  GetWeatherfromFile(Context()).GetCurrentWeather(&owner);

  EXPECT_EQ(controls.status.GetText(), "Error 2 at reading METAR data: site redirects with no new location.");
  EXPECT_EQ(Targets().size(), 1u);
  EXPECT_TRUE(reads.empty());
  EXPECT_TRUE(controls.start.IsEnabled());
  EXPECT_TRUE(controls.end.IsEnabled());
}

TEST_F(CurrentWeatherTest, ButtonsAfterEachOutcome) {
  struct Case {
    const char* name;
    bool withOwner;
    bool upperAirServed;
    bool completeServed;
    bool startAfter;
    const char* lastStatus;
  };
  // The surface weather counts without the upper air and without the complete file.
  const Case cases[] = {
      {"success with owner", true, true, true, true, ""},
      {"success without owner (periodic refresh)", false, true, true, false, ""},
      {"upper-air download failed", true, false, true, true, "Error 2 at reading Winds aloft: "},
      {"complete file missing", true, true, false, true, ""},
  };
  // Failed answers: a redirect without location (result 2), and a plain 404 page, which is
  // not kept either.
  for (const std::string& refused : {HttpAnswer(302, ""), HttpAnswer(404, "404 Not Found\n")}) {
    SCOPED_TRACE(refused.substr(0, 12));
    // The reason after an error names what went wrong.
    const std::string reason = refused.find(" 302") != std::string::npos ? "site redirects with no new location"
                                                                         : "the server answered with status 404";
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      std::filesystem::remove_all(WeatherDir());
      reads.clear();
      // A failed upper-air download leaves no file; a failed complete one neither.
      SetAnswer("/Data/archive/radiosonde/20031206/2003120612.rdisnd",
                c.upperAirServed ? HttpAnswer(200, "TTAA 56121 72214\n") : refused);
      SetAnswer("/weather/observations/airways/03120613.metar",
                c.completeServed ? HttpAnswer(200, "complete KSEA 061253Z\n") : refused);
      controls.start.Enable(true);
      controls.end.Enable(true);
      RecordingOwner owner;
      GetWeatherfromFile(Context()).GetCurrentWeather(c.withOwner ? &owner : nullptr);
      const std::string expected = c.lastStatus;
      EXPECT_EQ(controls.status.GetText(), expected.empty() ? Summary() : Summary(expected + reason));
      EXPECT_EQ(controls.start.IsEnabled(), c.startAfter);
      EXPECT_FALSE(controls.end.IsEnabled());
      // The METAR files are read whatever became of the upper air.
      ASSERT_EQ(reads.size(), 3u);
      EXPECT_EQ(reads[0].kind, "upper");
      EXPECT_EQ(std::filesystem::exists(WeatherDir() / "20031206_1200Z.rdisnd"), c.upperAirServed);
      EXPECT_EQ(std::filesystem::exists(WeatherDir() / "20031206_1300Z_Complete.TXT"), c.completeServed);
    }
  }
}

// A server that has not got the files yet answers 404: nothing of that is kept, so the next
// call fetches them again and reads the real ones.
TEST_F(CurrentWeatherTest, NotFoundIsNeverCachedAndTheNextCallFetchesAgain) {
  const std::string upperPath = "/Data/archive/radiosonde/20031206/2003120612.rdisnd";
  const std::string completePath = "/weather/observations/airways/03120613.metar";
  SetAnswer(upperPath, HttpAnswer(404, "404 Not Found\n"));
  SetAnswer(completePath, HttpAnswer(404, "404 Not Found\n"));
  RecordingOwner owner;
  GetWeatherfromFile(Context()).GetCurrentWeather(&owner);
  EXPECT_EQ(controls.status.GetText(), Summary("Error 2 at reading Winds aloft: the server answered with status 404"));
  EXPECT_FALSE(std::filesystem::exists(WeatherDir() / "20031206_1200Z.rdisnd"));
  EXPECT_FALSE(std::filesystem::exists(WeatherDir() / "20031206_1300Z_Complete.TXT"));
  EXPECT_TRUE(controls.start.IsEnabled());
  // "Get weather..." finds no upper-air file to take for the day's.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(WeatherDir()))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"20031206_1400Z.TXT"});

  SetAnswer(upperPath, HttpAnswer(200, "TTAA 56121 72214\n"));
  SetAnswer(completePath, HttpAnswer(200, "complete KSEA 061253Z\n"));
  reads.clear();
  GetWeatherfromFile(Context()).GetCurrentWeather(&owner);
  EXPECT_EQ(Targets().size(), 6u);
  EXPECT_EQ(controls.status.GetText(), Summary());
  EXPECT_EQ(upperAirSeen, "TTAA 56121 72214");
  EXPECT_EQ(reads, (std::vector<ReadCall>{{"upper", "20031206_1200Z.rdisnd", {}},
                                          {"metar", "20031206_1300Z_Complete.TXT", NoAgeLimit()},
                                          {"metar", "20031206_1400Z.TXT", NoAgeLimit()}}));
  EXPECT_TRUE(controls.start.IsEnabled());
}

// The current hour's file is fetched on every call; a fetch that fails keeps the copy that an
// earlier call brought.
TEST_F(CurrentWeatherTest, FailedRefetchOfTheCurrentFileKeepsTheGoodCopy) {
  const std::string currentPath = "/weather/observations/airways/03120614.metar";
  RecordingOwner owner;
  GetWeatherfromFile(Context()).GetCurrentWeather(&owner);
  ASSERT_EQ(controls.status.History().front(), "METAR data file readed.");
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) % 256);
  struct Failure {
    const char* name;
    std::string answer;
    std::string reason;  // "" when only the start of the status is known
  };
  const Failure failures[] = {
      {"404", HttpAnswer(404, "404 Not Found\n"), "the server answered with status 404."},
      {"cut short", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\ncurr", ""},
      {"web page with 200", HttpAnswer(200, "<!DOCTYPE html>\n<html><body>KSEA 061353Z</body></html>\n"),
       "the server sent a web page, not weather."},
      {"error text with 200", HttpAnswer(200, "ERROR: Could not Find: X"),
       "the server answered \"ERROR: Could not Find: X\"."},
      {"gzip", HttpAnswer(200, std::string("\x1f\x8b\x08\x00\x00\x00", 6) + garbage),
       "the server sent a compressed body, not weather text."},
      {"garbage", HttpAnswer(200, garbage), "the server sent binary data, not weather text."},
      {"one 10 MB line", HttpAnswer(200, std::string(10 << 20, 'K')), "the body holds no METAR report."},
      {"redirect loop",
       HttpAnswer(302, "",
                  "Location: http://" + server.HostPort() + "/weather/observations/airways/03120614.metar\r\n"),
       "got status code 302."},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.name);
    SetAnswer(currentPath, f.answer);
    reads.clear();
    GetWeatherfromFile(Context()).GetCurrentWeather(&owner);
    if (f.reason.empty()) {
      EXPECT_EQ(controls.status.GetText().rfind("Error 2 at reading METAR data: ", 0), 0u) << controls.status.GetText();
    } else {
      EXPECT_EQ(controls.status.GetText(), "Error 2 at reading METAR data: " + f.reason);
    }
    EXPECT_TRUE(reads.empty());
    std::ifstream current(WeatherDir() / "20031206_1400Z.TXT");
    std::string line, rest;
    EXPECT_TRUE(std::getline(current, line) && line == "current KSEA 061353Z");
    EXPECT_FALSE(std::getline(current, rest));
  }
  // Nothing of the failures is left beside the good files.
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(WeatherDir()))
    names.insert(entry.path().filename().string());
  EXPECT_EQ(names,
            (std::set<std::string>{"20031206_1200Z.rdisnd", "20031206_1300Z_Complete.TXT", "20031206_1400Z.TXT"}));
}

// An upper-air file fetched while the soundings were still coming in, or holding none, is
// fetched again; a settled one is kept for its half day. A failed fetch keeps the copy.
TEST_F(CurrentWeatherTest, UpperAirFileIsFetchedAgainUntilItHoldsTheSoundings) {
  const std::string upperPath = "/Data/archive/radiosonde/20031206/2003120612.rdisnd";
  struct Case {
    const char* name;
    const char* cached;
    int writtenHour, writtenMinute;  // on 6 Dec 2003
    bool served;
    bool fetched;
    const char* readAfter;  // first line of the file read
  };
  const Case cases[] = {
      {"settled", "TTAA 56121 72214 old", 14, 10, true, false, "TTAA 56121 72214 old"},
      {"fetched at 12:50", "TTAA 56121 72214 old", 12, 50, true, true, "TTAA 56121 72214 new"},
      {"fetched at 13:59", "TTAA 56121 72214 old", 13, 59, true, true, "TTAA 56121 72214 new"},
      {"no sounding in it", "TTAA 72214 NIL=", 14, 10, true, true, "TTAA 56121 72214 new"},
      {"early, and the fetch fails", "TTAA 56121 72214 old", 12, 50, false, true, "TTAA 56121 72214 old"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = WriteWeatherFile("20031206_1200Z.rdisnd", std::string(c.cached) + "\n");
    std::filesystem::last_write_time(
        NativePath(path), std::chrono::file_clock::from_sys(At(2003, 12, 6, c.writtenHour, c.writtenMinute)));
    SetAnswer(upperPath, c.served ? HttpAnswer(200, "TTAA 56121 72214 new\n") : HttpAnswer(404, "no\n"));
    const std::size_t before = Targets().size();
    RecordingOwner owner;
    GetWeatherfromFile(Context()).GetCurrentWeather(&owner);
    const auto targets = Targets();
    EXPECT_EQ(std::count(targets.begin() + static_cast<long>(before), targets.end(), upperPath), c.fetched ? 1 : 0);
    EXPECT_EQ(upperAirSeen, c.readAfter);
    EXPECT_TRUE(controls.start.IsEnabled());
  }
}

// Several upper-air URLs: the bodies that are weather, in order, make the one file.
TEST_F(CurrentWeatherTest, SeveralUpperAirSourcesAreAppendedInOrder) {
  ASSERT_TRUE(ScopedRegistry::SetInternetSetting(
      "UpperAirUrl", "http://" + server.HostPort() + "/man?{SS} http://" + server.HostPort() + "/sgl?{SS}"));
  const std::string man = "\001\nTTAA 56121 72214 99012=\n\003\n";
  const std::string sgl = "\001\nTTBB 56120 72214 00012=\n\003\n";
  const std::string miss = "ERROR: Could not Find: SGL   ";
  struct Case {
    const char* name;
    std::string manBody, sglBody;
    std::string file;  // "" none
  };
  const Case cases[] = {
      {"both", man, sgl, man + sgl},
      {"the second missing", man, miss, man},
      {"the first missing", miss, sgl, sgl},
      {"none", miss, miss, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(WeatherDir());
    SetAnswer("/man?12", HttpAnswer(200, c.manBody));
    SetAnswer("/sgl?12", HttpAnswer(200, c.sglBody));
    RecordingOwner owner;
    const std::size_t shown = controls.status.History().size();
    GetWeatherfromFile(Context()).GetCurrentWeather(&owner);
    const auto upper = WeatherDir() / "20031206_1200Z.rdisnd";
    EXPECT_EQ(std::filesystem::exists(upper), !c.file.empty());
    if (!c.file.empty()) {
      // Text mode: the download writes the platform's line ends.
      std::ifstream in(upper);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.file);
      ASSERT_GT(controls.status.History().size(), shown + 1);
      EXPECT_EQ(controls.status.History()[shown + 1], "Winds aloft file readed.");
    } else {
      EXPECT_EQ(controls.status.GetText(),
                Summary("Error 2 at reading Winds aloft: the server answered \"ERROR: Could not Find: SGL   \""));
    }
    EXPECT_TRUE(controls.start.IsEnabled());
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(WeatherDir())) ++files;
    EXPECT_EQ(files, c.file.empty() ? 2u : 3u);  // no pieces left behind
  }
}

TEST_F(CurrentWeatherTest, NoSimulatorFolderMakesNoFolderAndFails) {
  const auto workingFolder = std::filesystem::current_path();
  std::filesystem::current_path(m_Dir.Path());
  g_SimFolder.clear();
  RecordingOwner owner;
  GetWeatherfromFile(Context()).GetCurrentWeather(&owner);
  EXPECT_FALSE(std::filesystem::exists(m_Dir.Path() / "Altivane"));
  std::filesystem::current_path(workingFolder);
  EXPECT_EQ(controls.status.GetText(),
            "Error 2 at reading METAR data: cannot create the local file Altivane\\Weather\\20031206_1400Z.TXT.");
  EXPECT_TRUE(reads.empty());
}

TEST_F(CurrentWeatherTest, UnsetServersFailAsADownloadError) {
  ASSERT_TRUE(ScopedRegistry::SetInternetSetting("MetarServer", ""));  // empty: the placeholder
  // The placeholder is a dotted name: it goes to the proxy, here a closed port.
  std::uint16_t closedPort = 0;
  {
    LoopbackHttpServer gone([](const SeenRequest&) { return HttpAnswer(200, ""); });
    closedPort = gone.Port();
  }
  ASSERT_TRUE(ScopedRegistry::SetInternetSetting("HttpProxyPort", std::to_string(closedPort)));
  RecordingOwner owner;
  GetWeatherfromFile(Context()).GetCurrentWeather(&owner);
  EXPECT_EQ(controls.status.GetText(), "Error 2 at reading METAR data: proxy localhost:" + std::to_string(closedPort) +
                                           " refused the connection.");
  EXPECT_TRUE(server.Requests().empty());
}

// ---- weather from files ----

class FileWeatherTest : public AcquireTest {
 protected:
  std::string WriteMetar(const std::string& name) { return m_Dir.Write("picked/" + name, "report\n").string(); }
};

TEST_F(FileWeatherTest, PickedNameDecidesTheCompleteFileAndTheReferenceTime) {
  struct Case {
    const char* pick;
    std::vector<ReadCall> metarReads;
    bool timeSet;
    WeatherTime weatherTime;
  };
  const auto limit = NoAgeLimit();
  const std::vector<Case> cases = {
      {"20031206_1400Z.TXT",
       {{"metar", "20031206_1300Z_Complete.TXT", Hour(2003, 12, 6, 14)},
        {"metar", "20031206_1400Z.TXT", Hour(2003, 12, 6, 14)}},
       true,
       Hour(2003, 12, 6, 14)},
      {"20031206_0500Z.TXT",
       {{"metar", "20031206_0400Z_Complete.TXT", Hour(2003, 12, 6, 5)},
        {"metar", "20031206_0500Z.TXT", Hour(2003, 12, 6, 5)}},
       true,
       Hour(2003, 12, 6, 5)},
      {"20031206_0000Z.TXT",
       {{"metar", "20031205_2300Z_Complete.TXT", Hour(2003, 12, 6, 0)},
        {"metar", "20031206_0000Z.TXT", Hour(2003, 12, 6, 0)}},
       true,
       Hour(2003, 12, 6, 0)},
      {"20031206_1300Z_Complete.TXT",
       {{"metar", "20031206_1300Z_Complete.TXT", Hour(2003, 12, 6, 13)}},
       true,
       Hour(2003, 12, 6, 13)},
      // Lower case ending: taken as a complete file, whose stamp position holds no date here.
      {"20031206_1400z.txt", {{"metar", "20031206_1400z.txt", limit}}, false, {}},
      {"metar.TXT", {{"metar", "metar.TXT", limit}}, false, {}},
      {"20031399_1400Z.TXT", {{"metar", "20031399_1400Z.TXT", limit}}, false, {}},
  };
  WriteWeatherFile("20031206_1300Z.rdisnd");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pick);
    reads.clear();
    controls.time.SetText("");
    RecordingOwner owner;
    ScriptedDialogs dialogs;
    const std::string picked = WriteMetar(c.pick);
    dialogs.files.push_back(picked);
    EXPECT_EQ(GetWeatherfromFile(Context()).GetWeatherFromFile(owner), 1);
    std::vector<ReadCall> metarReads;
    for (const auto& read : reads) {
      if (read.kind == "metar") metarReads.push_back(read);
    }
    EXPECT_EQ(metarReads, c.metarReads);
    if (c.timeSet) {
      EXPECT_EQ(owner.times, std::vector<WeatherTime>{c.weatherTime});
      // The window writes its own time field; without a window the acquisition writes it.
      controls.time.SetText("");
      GetWeatherfromFile(Context()).ReadWeatherFiles(picked);
      EXPECT_FALSE(controls.time.GetText().empty());
    } else {
      EXPECT_TRUE(owner.times.empty());
      EXPECT_TRUE(controls.time.GetText().empty());
    }
  }
}

TEST_F(FileWeatherTest, PickThatCannotGiveWeatherSaysSoAndChangesNothing) {
  const std::string dated = "2003/12/06 13:50\r\nKSEA 061350Z 17014KT 6SM 09/07 A2986\r\n\r\n";
  struct Case {
    const char* name;
    std::string path;
    const char* status;  // "" : read
  };
  const std::string folder = m_Dir.Write("picked/sub/x", "").parent_path().string();
  const std::vector<Case> cases = {
      {"missing", m_Dir.Path().string() + "/picked/20031206_1400Z.TXT", "Cannot read "},
      {"folder", folder, "Cannot read "},
      {"empty", m_Dir.Write("picked/20031206_1500Z.TXT", "").string(), "No reports in "},
      {"no report", m_Dir.Write("picked/20031206_1600Z.TXT", "2003/12/06 16:00\nno weather here\n").string(),
       "No reports in "},
      {"dated report", m_Dir.Write("picked/20031206_1700Z.TXT", dated).string(), ""},
      {"report per line", m_Dir.Write("picked/20031206_1800Z.TXT", "GBYD 141500 36004KT CAVOK 33/24 Q1010=\n").string(),
       ""},
  };
  WriteWeatherFile("20031206_1300Z.rdisnd");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reads.clear();
    controls.start.Enable(false);
    controls.end.Enable(true);
    controls.status.SetText("before");
    controls.time.SetText("time before");
    AcquireContext context = Context();
    context.holdsReports = HoldsMetarReport;
    RecordingOwner owner;
    ScriptedDialogs dialogs;
    dialogs.files.push_back(c.path);
    const int result = GetWeatherfromFile(std::move(context)).GetWeatherFromFile(owner);
    if (*c.status) {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(controls.status.GetText(), c.status + c.path + ".");
      EXPECT_TRUE(reads.empty());
      EXPECT_TRUE(owner.times.empty());
      EXPECT_EQ(controls.time.GetText(), "time before");
      EXPECT_FALSE(controls.start.IsEnabled());
      EXPECT_TRUE(controls.end.IsEnabled());
    } else {
      EXPECT_EQ(result, 1);
      EXPECT_FALSE(reads.empty());
      EXPECT_TRUE(controls.start.IsEnabled());
    }
  }
}

TEST_F(FileWeatherTest, UpperAirFileNearestTheFirstReportWins) {
  struct Case {
    const char* name;
    std::string date;
    std::string time;
    std::vector<std::string> present;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"same hour first",
       "2003/12/06",
       "13:20",
       {"20031206_1300Z.rdisnd", "20031206_1200Z.rdisnd"},
       "20031206_1300Z.rdisnd"},
      {"one hour back beats eleven ahead",
       "2003/12/06",
       "13:50",
       {"20031207_0000Z.rdisnd", "20031206_1200Z.rdisnd"},
       "20031206_1200Z.rdisnd"},
      {"later wins at equal distance",
       "2003/12/06",
       "06:00",
       {"20031206_0000Z.rdisnd", "20031206_1200Z.rdisnd"},
       "20031206_1200Z.rdisnd"},
      {"into the next year",
       "2003/12/31",
       "23:10",
       {"20040101_0000Z.rdisnd", "20031231_2100Z.rdisnd"},
       "20040101_0000Z.rdisnd"},
      {"twelve hours back is still in", "2003/12/06", "12:00", {"20031206_0000Z.rdisnd"}, "20031206_0000Z.rdisnd"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(WeatherDir());
    for (const auto& name : c.present) WriteWeatherFile(name);
    reads.clear();
    reportDate = c.date;
    reportTime = c.time;
    controls.start.Enable(false);
    controls.end.Enable(true);
    ScriptedDialogs dialogs;
    EXPECT_EQ(GetWeatherfromFile(Context()).ReadWeatherFiles(WriteMetar("20031206_1300Z_Complete.TXT")), 1);
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(reads.back(), (ReadCall{"upper", c.expected, {}}));
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_TRUE(controls.start.IsEnabled());
    EXPECT_TRUE(controls.end.IsEnabled());  // not touched
  }
}

TEST_F(FileWeatherTest, NoUpperAirFileWithinTwelveHoursAsksTheUser) {
  struct Case {
    const char* name;
    bool yes;
    std::string chosen;  // "" cancels the radiosonde dialog
    int result;
    bool startAfter;
    bool endAfter;
  };
  const std::vector<Case> cases = {
      {"no keeps the buttons", false, "", 0, false, true},
      {"yes and a file", true, "mine.rdisnd", 1, true, false},
      {"yes and cancel", true, "", 1, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(WeatherDir());
    WriteWeatherFile("20031207_0200Z.rdisnd");  // 13 hours after the reports
    reads.clear();
    reportDate = "2003/12/06";
    reportTime = "13:05";
    controls.start.Enable(false);
    controls.end.Enable(true);
    ScriptedDialogs dialogs;
    dialogs.yes = c.yes;
    dialogs.files.push_back(c.chosen.empty() ? "" : m_Dir.Write("elsewhere/" + c.chosen, "TTAA\n").string());
    EXPECT_EQ(GetWeatherfromFile(Context()).ReadWeatherFiles(WriteMetar("20031206_1300Z_Complete.TXT")), c.result);
    EXPECT_EQ(dialogs.questions, std::vector<std::string>{kNoUpperAirQuestion});
    EXPECT_EQ(controls.start.IsEnabled(), c.startAfter);
    EXPECT_EQ(controls.end.IsEnabled(), c.endAfter);
    if (c.yes) {
      ASSERT_EQ(dialogs.fileRequests.size(), 1u);
      EXPECT_EQ(dialogs.fileRequests[0].filter, kRadiosondeFileFilter);
      EXPECT_FALSE(dialogs.fileRequests[0].ownedByMainWindow);
    }
    if (!c.chosen.empty()) {
      EXPECT_EQ(reads.back(), (ReadCall{"upper", c.chosen, {}}));
    }
  }
  EXPECT_EQ(std::string(kNoUpperAirQuestion),
            "Could not find winds aloft data within 12 hours of the METAR file.\nWould you like to select one?");
}

TEST_F(FileWeatherTest, FileWithoutReportsAsksAtOnce) {
  WriteWeatherFile("20031206_1300Z.rdisnd");
  reportDate.clear();
  reportTime.clear();
  ScriptedDialogs dialogs;
  EXPECT_EQ(GetWeatherfromFile(Context()).ReadWeatherFiles(WriteMetar("20031206_1300Z_Complete.TXT")), 0);
  EXPECT_EQ(dialogs.questions.size(), 1u);
}

TEST_F(FileWeatherTest, RejectedUpperAirFileDisablesStartOnly) {
  WriteWeatherFile("20031206_1300Z.rdisnd");
  upperAirAccepted = false;
  controls.start.Enable(true);
  controls.end.Enable(true);
  EXPECT_EQ(GetWeatherfromFile(Context()).ReadWeatherFiles(WriteMetar("20031206_1300Z_Complete.TXT")), 1);
  EXPECT_FALSE(controls.start.IsEnabled());
  EXPECT_TRUE(controls.end.IsEnabled());
}

TEST_F(FileWeatherTest, UnreadablePickReturnsZeroWithoutSettingTheTime) {
  RecordingOwner owner;
  ScriptedDialogs dialogs;
  dialogs.files.push_back((m_Dir.Path() / "gone" / "20031206_1400Z.TXT").string());
  controls.start.Enable(true);
  EXPECT_EQ(GetWeatherfromFile(Context()).GetWeatherFromFile(owner), 0);
  EXPECT_TRUE(owner.times.empty());
  EXPECT_TRUE(controls.start.IsEnabled());
  EXPECT_TRUE(dialogs.questions.empty());
}

TEST_F(FileWeatherTest, CancelledDialogChangesNothing) {
  RecordingOwner owner;
  ScriptedDialogs dialogs;
  dialogs.files.push_back("");
  EXPECT_EQ(GetWeatherfromFile(Context()).GetWeatherFromFile(owner), 0);
  EXPECT_EQ(stops, 0);
  EXPECT_TRUE(reads.empty());
  ASSERT_EQ(dialogs.fileRequests.size(), 1u);
  EXPECT_EQ(dialogs.fileRequests[0].filter, kMetarFileFilter);
  EXPECT_TRUE(dialogs.fileRequests[0].ownedByMainWindow);
  EXPECT_EQ(dialogs.fileRequests[0].initialFolder, g_SimFolder + "Altivane\\Weather\\");
}

// The real readers on a real cycle file: the complete file of 12Z read with 12:00 as the
// reference, its first report (11:55) the centre of the upper-air search.
TEST_F(FileWeatherTest, RealCycleFileThroughTheCatalogueReaders) {
  ALTIVANE_REQUIRE_SHARED_DATA();
  const auto cycle = SharedDataDir() / "metar" / "cycles" / "20230429_12Z.TXT";
  const auto sounding = SharedDataDir() / "upperair" / "pyiem_MANANN.txt";
  std::filesystem::create_directories(m_Dir.Path() / "picked");
  std::filesystem::create_directories(WeatherDir());
  const auto pick = m_Dir.Path() / "picked" / "20230429_1200Z_Complete.TXT";
  std::filesystem::copy_file(cycle, pick);
  std::filesystem::copy_file(sounding, WeatherDir() / "20230429_1200Z.rdisnd");
  auto* kldj = static_cast<METAR_Station*>(m_Stations.SetAt("KLDJ", std::make_unique<METAR_Station>()));

  RecordingOwner owner;
  ScriptedDialogs dialogs;
  dialogs.files.push_back(pick.string());
  EXPECT_EQ(GetWeatherfromFile(CatalogueContext(&m_Stations)).GetWeatherFromFile(owner), 1);
  EXPECT_EQ(m_Stations.m_ReportDate, "2023/04/29");
  EXPECT_EQ(m_Stations.m_ReportTime.substr(0, 2), "11");
  EXPECT_EQ(kldj->m_ReportValid, 1);
  EXPECT_EQ(owner.times, std::vector<WeatherTime>{Hour(2023, 4, 29, 12)});
  EXPECT_TRUE(dialogs.questions.empty());
  EXPECT_TRUE(controls.start.IsEnabled());
}

TEST_F(FileWeatherTest, DefaultContextWorksOnTheProcessCatalogue) {
  METAR_Stations* previous = g_pStations.exchange(&m_Stations);
  const AcquireContext context = DefaultAcquireContext();
  g_pStations.store(previous);
  EXPECT_EQ(context.stations, &m_Stations);
  ASSERT_TRUE(context.stopUpdateCycle && context.readMetarFile && context.readUpperAirFile && context.clock);
  context.stopUpdateCycle();  // the cycle is stopped: returns at once
  EXPECT_FALSE(context.readMetarFile(m_Stations, (m_Dir.Path() / "none.TXT").string(), Hour(2003, 12, 6, 14),
                                     WeatherTime::min()));
}

// A refresh and a button action never fill the catalogue at the same time: while the first
// acquisition is inside a reader, the second must not get into one.
TEST_F(FileWeatherTest, TwoAcquisitionsNeverReadAtTheSameTime) {
  WriteWeatherFile("20031206_1200Z.rdisnd");
  const std::string pick = WriteMetar("20031206_1300Z_Complete.TXT");
  std::mutex mutex;
  std::condition_variable changed;
  int inside = 0;
  bool overlapped = false;
  bool firstEntered = false;
  auto enter = [&] {
    std::unique_lock lock(mutex);
    ++inside;
    overlapped = overlapped || inside > 1;
    changed.notify_all();
  };
  auto leave = [&] {
    std::lock_guard lock(mutex);
    --inside;
  };

  AcquireContext first = Context();
  first.readUpperAirFile = [&](METAR_Stations&, const std::string&) {
    enter();
    std::unique_lock lock(mutex);
    firstEntered = true;
    changed.notify_all();
    // Give the other acquisition every chance to come in; it ends the wait when it does.
    changed.wait_for(lock, milliseconds(300), [&] { return inside > 1; });
    lock.unlock();
    leave();
    return true;
  };
  AcquireContext second = Context();
  second.readMetarFile = [&](METAR_Stations&, const std::string&, WeatherTime, WeatherTime) {
    enter();
    leave();
    return false;
  };

  std::thread refresh([&] { GetWeatherfromFile(first).GetCurrentUpperAir(); });
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, seconds(10), [&] { return firstEntered; }));
  }
  EXPECT_EQ(GetWeatherfromFile(second).ReadWeatherFiles(pick), 0);
  refresh.join();
  EXPECT_FALSE(overlapped);
}

// True when the calling thread holds the catalogue lock (another thread cannot take it).
bool CatalogueLockHeldHere() {
  bool taken = false;
  std::thread probe([&] {
    taken = CatalogueLock().try_lock();
    if (taken) CatalogueLock().unlock();
  });
  probe.join();
  return !taken;
}

// Every stop of an acquisition comes with the catalogue lock held, and every read finds the
// cycle stopped under the same hold, also when the cycle was started again while a question
// box waited for the user (the periodic refresh may do that meanwhile).
TEST_F(FileWeatherTest, ReadsHappenUnderTheLockWithTheCycleStopped) {
  struct Case {
    const char* name;
    bool upperAirNearby;  // else the question is asked and answered yes
  };
  const Case cases[] = {{"file pick", true}, {"radiosonde picked after the question", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(WeatherDir());
    if (c.upperAirNearby) WriteWeatherFile("20031206_1300Z.rdisnd");
    bool cycleRunning = true;
    std::vector<std::string> faults;
    AcquireContext context = Context();
    context.stopUpdateCycle = [&] {
      if (!CatalogueLockHeldHere()) faults.push_back("stop without the lock");
      cycleRunning = false;
    };
    auto check = [&](const char* what) {
      if (!CatalogueLockHeldHere()) faults.push_back(std::string(what) + " without the lock");
      if (cycleRunning) faults.push_back(std::string(what) + " while the cycle runs");
    };
    context.readMetarFile = [&](METAR_Stations& stations, const std::string&, WeatherTime, WeatherTime) {
      check("metar read");
      stations.m_ReportDate = "2003/12/06";
      stations.m_ReportTime = "13:10";
      return true;
    };
    context.readUpperAirFile = [&](METAR_Stations&, const std::string&) {
      check("upper-air read");
      return true;
    };
    class RestartingDialogs : public ScriptedDialogs {
     public:
      explicit RestartingDialogs(bool& running) : m_Running(running) {}
      bool AskYesNo(const std::string& text, const std::string& caption) override {
        m_Running = true;  // a refresh restarted the cycle while the box was open
        return ScriptedDialogs::AskYesNo(text, caption);
      }
      bool& m_Running;
    } dialogs(cycleRunning);
    dialogs.yes = true;
    dialogs.files.push_back(WriteMetar("20031206_1300Z_Complete.TXT"));
    dialogs.files.push_back(m_Dir.Write("elsewhere/mine.rdisnd", "TTAA\n").string());
    RecordingOwner owner;
    EXPECT_EQ(GetWeatherfromFile(context).GetWeatherFromFile(owner), 1);
    EXPECT_EQ(dialogs.questions.size(), c.upperAirNearby ? 0u : 1u);
    EXPECT_EQ(faults, std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace altivane::test
