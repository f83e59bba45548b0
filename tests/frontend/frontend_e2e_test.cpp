// The terminal front end driven through a pipe, against a real simhost process: the buttons,
// the enable states of "Start" and "End", the periodic refresh and the automation object.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <regex>
#include <set>
#include <thread>

#include "../acquire/loopback_http_server.h"
#include "../acquire/loopback_tls_server.h"
#include "../cycle/simhost_process.h"
#include "frontend_process.h"
#include "support/test_data.h"

namespace {

using namespace std::chrono_literals;
using altivane::test::FrontendProcess;
using altivane::test::HttpAnswer;
using altivane::test::JournalEvent;
using altivane::test::LoopbackHttpServer;
using altivane::test::LoopbackTlsServer;
using altivane::test::SeenRequest;
using altivane::test::SharedDataDir;
using altivane::test::SimhostProcess;
using altivane::test::SourceDir;
using altivane::test::TempDir;
using altivane::test::TestTlsIdentity;

const std::string kSample = (SourceDir() / "data" / "sample").string();
const std::string kSampleMetar = kSample + "/Altivane/Weather/20261207_1200Z.TXT";

std::string StateLine(bool start, bool end) {
  return std::string("state: start ") + (start ? "enabled" : "disabled") + ", end " + (end ? "enabled" : "disabled");
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool HasMessage(const std::vector<JournalEvent>& events, const std::string& suffix) {
  for (const auto& e : events)
    if (e.kind == "message" && e.text.size() >= suffix.size() &&
        e.text.compare(e.text.size() - suffix.size(), suffix.size(), suffix) == 0)
      return true;
  return false;
}

// The lines a terminal of the given width shows for output, rows that wrapped joined again:
// line ends, carriage returns, wrapping at the edge, the cursor moved up (ESC [ n A) and the
// screen cleared below it (ESC [ J).
std::vector<std::string> Screen(const std::string& output, std::size_t columns) {
  struct Row {
    std::string text;
    bool continues = false;  // wrapped on from the row above
  };
  std::vector<Row> rows(1);
  std::size_t row = 0, column = 0;
  auto down = [&](bool wrapped) {
    if (++row == rows.size()) rows.push_back(Row{"", wrapped});
  };
  for (std::size_t i = 0; i < output.size(); ++i) {
    const char c = output[i];
    if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      down(false);
    } else if (c == '\x1b' && i + 1 < output.size() && output[i + 1] == '[') {
      std::size_t end = i + 2;
      std::size_t count = 0;
      while (end < output.size() && std::isdigit(static_cast<unsigned char>(output[end])))
        count = count * 10 + static_cast<std::size_t>(output[end++] - '0');
      if (end == output.size()) break;
      if (output[end] == 'A') {
        row -= std::min(row, std::max<std::size_t>(count, 1));
      } else if (output[end] == 'J') {
        rows.resize(row + 1);
        if (rows[row].text.size() > column) rows[row].text.resize(column);
      }
      i = end;
    } else {
      if (column == columns) {  // at the edge the next character goes to the next row
        column = 0;
        down(true);
      }
      std::string& text = rows[row].text;
      if (text.size() <= column) text.resize(column + 1, ' ');
      text[column++] = c;
    }
  }
  std::vector<std::string> lines;
  for (const Row& r : rows) {
    if (r.continues && !lines.empty())
      lines.back() += r.text;
    else
      lines.push_back(r.text);
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

TEST(SimhostJournal, PathJournalStartsAtThePathsFirstPoint) {
  TempDir dir;
  const std::string path = dir.Write("path.txt", "0 47.5 -122.3\n60 48.0 -122.0\n").string();
  SimhostProcess host(SIMHOST_PROGRAM, dir.Path(), {"--path", path, "--quiet"});
  ASSERT_TRUE(host.Ready());
  const auto journal = host.Journal();
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ(journal.front().kind, "position");
  EXPECT_NE(journal.front().line.find("\"lat\":47.500000,\"lon\":-122.300000"), std::string::npos)
      << journal.front().line;
}

class FrontendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(m_Dir.Path() / "ipc");
    // Downloads go to a loopback port nothing listens on: they fail at once.
    m_Dir.Write("registry.ini",
                "[HKCU\\Software\\Altivane\\Internet]\n"
                "MetarServer=127.0.0.1:9\n"
                "RadiosondeServer=127.0.0.1:9\n"
                "HttpProxyPort=9\n");
    m_Host = std::make_unique<SimhostProcess>(SIMHOST_PROGRAM, Ipc(),
                                              std::vector<std::string>{"--position", "47.4447,-122.3136"});
    ASSERT_TRUE(m_Host->Ready());
  }

  std::filesystem::path Ipc() const { return m_Dir.Path() / "ipc"; }

  std::unique_ptr<FrontendProcess> Launch(std::vector<std::string> extra = {}, int terminalColumns = 0) {
    std::vector<std::string> args{"--sim-folder", kSample};
    args.insert(args.end(), extra.begin(), extra.end());
    auto app = std::make_unique<FrontendProcess>(
        ALTIVANE_PROGRAM, args,
        std::map<std::string, std::string>{{"ALTIVANE_IPC_DIR", Ipc().string()},
                                           {"ALTIVANE_REGISTRY", (m_Dir.Path() / "registry.ini").string()}},
        terminalColumns);
    EXPECT_TRUE(app->WaitFor(StateLine(false, false)));  // the window opens with both disabled
    EXPECT_TRUE(app->WaitFor("commands:"));              // and is ready for commands
    return app;
  }

  // Sends "state" and waits for the expected buttons.
  bool ExpectButtons(FrontendProcess& app, bool start, bool end, std::chrono::milliseconds timeout = 10s) {
    app.Mark();
    app.Send("state");
    return app.WaitFor(StateLine(start, end), timeout);
  }
  // Buttons set by another thread after the text that announces its result: ask until they show.
  bool ButtonsSettleTo(FrontendProcess& app, bool start, bool end) {
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (!ExpectButtons(app, start, end, 300ms)) {
      if (std::chrono::steady_clock::now() >= until) return false;
    }
    return true;
  }

  TempDir m_Dir;
  std::unique_ptr<SimhostProcess> m_Host;
};

TEST_F(FrontendTest, FileStartEndSetsTheWeatherAndFollowsTheEnableTable) {
  auto app = Launch();
  app->Send("file " + kSampleMetar);
  ASSERT_TRUE(app->WaitFor("METAR Stations read and valid.")) << app->Output();
  EXPECT_TRUE(ExpectButtons(*app, true, false));

  app->Send("start");
  ASSERT_TRUE(m_Host->WaitForJournal([](const auto& e) { return HasMessage(e, " Weather stations set!"); }, 30s));
  // The pass ends with its result in the status field.
  EXPECT_TRUE(app->WaitFor("status: 39 Weather stations set, nearest KSEA (own report), 11:53Z.\n")) << app->Output();
  EXPECT_TRUE(ExpectButtons(*app, false, true));
  auto journal = m_Host->Journal();
  EXPECT_TRUE(std::any_of(journal.begin(), journal.end(), [](const auto& e) { return e.kind == "clear"; }));
  EXPECT_TRUE(std::any_of(journal.begin(), journal.end(),
                          [](const auto& e) { return e.kind == "pending" && e.station == "KSEA"; }));

  // simhost prints what the simulator shows, as it comes.
  EXPECT_TRUE(m_Host->WaitForOutput("message: Weather station update started!\n", 10s));

  app->Send("end");
  EXPECT_TRUE(ExpectButtons(*app, true, false));
  app->Mark();
  app->Send("quit");
  EXPECT_EQ(app->WaitExit(10s), 0);
  EXPECT_NE(app->Output().find("bye"), std::string::npos);
}

TEST_F(FrontendTest, UpdateNowAfterAFailedDownloadSaysWhyAndSendsNothingWithoutWeather) {
  auto app = Launch();
  app->Send("now");
  // The downloader's reason on the same line; then the pass finds nothing to send.
  ASSERT_TRUE(app->WaitFor("status: Error 2 at reading METAR data: proxy localhost:9 refused the connection.\n"))
      << app->Output();
  ASSERT_TRUE(app->WaitFor("status: No weather loaded: get current weather or pick a weather file first.\n"))
      << app->Output();
  EXPECT_TRUE(ExpectButtons(*app, false, true));
  auto journal = m_Host->Journal();
  EXPECT_FALSE(std::any_of(journal.begin(), journal.end(), [](const auto& e) { return e.kind == "pending"; }));
  EXPECT_FALSE(HasMessage(journal, "Weather station update started!"));
  app->Send("quit");
  EXPECT_EQ(app->WaitExit(15s), 0);
}

TEST_F(FrontendTest, PickThatCannotGiveWeatherSaysSoAndChangesNothing) {
  const std::string weather = kSample + "/Altivane/Weather";
  m_Dir.Write("empty/20261207_1300Z.TXT", "");
  m_Dir.Write("noreport/20261207_1300Z.TXT", "2026/12/07 13:00\nnothing\n");
  struct Case {
    std::string command;
    std::string line;
  };
  const std::vector<Case> cases = {
      {"file missing.TXT", "status: Cannot read " + weather + "/missing.TXT.\n"},
      {"file " + kSample, "status: Cannot read " + kSample + ".\n"},
      {"file " + (m_Dir.Path() / "empty/20261207_1300Z.TXT").string(),
       "status: No reports in " + (m_Dir.Path() / "empty/20261207_1300Z.TXT").string() + ".\n"},
      {"file " + (m_Dir.Path() / "noreport/20261207_1300Z.TXT").string(),
       "status: No reports in " + (m_Dir.Path() / "noreport/20261207_1300Z.TXT").string() + ".\n"},
  };
  auto app = Launch();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    app->Mark();
    app->Send(c.command);
    ASSERT_TRUE(app->WaitFor("state:")) << app->Output();  // every button command ends with the state
    const std::string out = app->Output();
    // The status line and the state, nothing else: no time, no buttons.
    EXPECT_EQ(out.substr(0, out.find("state:")), c.line) << out;
  }
  // A name without a folder is looked for in the weather folder the question shows.
  app->Mark();
  app->Send("file 20261207_1200Z.TXT");
  ASSERT_TRUE(app->WaitFor("METAR Stations read and valid.")) << app->Output();
  EXPECT_TRUE(ExpectButtons(*app, true, false));
  app->Mark();
  app->Send("file");
  ASSERT_TRUE(app->WaitFor("open file [Text Files (*.TXT)|????????_????Z*.txt|] in " + weather +
                           "/ (a path, or an empty line to cancel):"))
      << app->Output();
  app->Send("");
  app->Send("quit");
  EXPECT_EQ(app->WaitExit(15s), 0);
}

TEST_F(FrontendTest, StartUpSaysWhatIsMissing) {
  const std::string registry = (m_Dir.Path() / "registry.ini").string();
  const std::filesystem::path folder = m_Dir.Path() / "fs9";
  const std::string list = (folder / "Altivane/stations/station.txt").string();
  const std::string map = (folder / "Weather/wxmapping.bin").string();
  const std::string mapBytes = ReadFileBytes(kSample + "/Weather/wxmapping.bin");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::function<void()> prepare;
    std::string line;
  };
  const std::vector<Case> cases = {
      {"no folder",
       {},
       [] {},
       "status: FS2004 folder not found: no stations loaded, weather buttons disabled. Give it with --sim-folder DIR "
       "or with the registry value HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft Games\\Flight "
       "simulator\\9.0\\EXE "
       "Path in " +
           registry + ".\n"},
      {"no station list",
       {"--sim-folder", folder.string()},
       [&] { std::filesystem::create_directories(folder); },
       "status: Station list " + list + " is missing.\n"},
      {"no map",
       {"--sim-folder", folder.string()},
       [&] {
         m_Dir.Write("fs9/Altivane/stations/station.txt", ReadFileBytes(kSample + "/Altivane/stations/station.txt"));
       },
       "status: Simulator map " + map + " is missing.\n"},
      {"nothing readable in the list",
       {"--sim-folder", folder.string()},
       [&] {
         m_Dir.Write("fs9/Weather/wxmapping.bin", mapBytes);
         m_Dir.Write("fs9/Altivane/stations/station.txt", "\n\n");
       },
       "status: No station could be read from " + list + ".\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.prepare();
    FrontendProcess app(ALTIVANE_PROGRAM, c.args,
                        {{"ALTIVANE_IPC_DIR", Ipc().string()}, {"ALTIVANE_REGISTRY", registry}});
    ASSERT_TRUE(app.WaitFor("commands:")) << app.Output();
    EXPECT_NE(app.Output().find(c.line), std::string::npos) << app.Output();
    app.Send("quit");
    EXPECT_EQ(app.WaitExit(10s), 0);
  }
}

TEST_F(FrontendTest, UpdateCheckedBeforeStartFetchesAgainAfterTheWaits) {
  auto app = Launch({"--refresh-waits", "3", "--refresh-wait-ms", "100"});
  app->Send("file " + kSampleMetar);
  ASSERT_TRUE(app->WaitFor("start: enabled")) << app->Output();
  app->Send("update");
  app->Send("start");
  ASSERT_TRUE(app->WaitFor("update checked"));
  // The periodic refresh fetches (and fails: nothing listens) after 300 ms, then restarts the cycle.
  ASSERT_TRUE(app->WaitFor("at reading METAR data: ", 20s)) << app->Output();
  EXPECT_TRUE(ExpectButtons(*app, false, true));
  app->Send("update");  // unchecked: the next refresh ends at its next look
  app->Send("quit");
  EXPECT_EQ(app->WaitExit(15s), 0);
}

TEST_F(FrontendTest, RefreshEndsWithoutFetchingWhenUncheckedOrEnded) {
  for (const char* action : {"update", "end"}) {
    SCOPED_TRACE(action);
    auto app = Launch({"--refresh-waits", "5", "--refresh-wait-ms", "100"});
    app->Send("file " + kSampleMetar);
    ASSERT_TRUE(app->WaitFor("start: enabled")) << app->Output();
    app->Send("update");
    app->Send("start");
    ASSERT_TRUE(app->WaitFor("state: start disabled, end enabled, update checked"));
    app->Mark();
    app->Send(action);
    app->Send("state");
    ASSERT_TRUE(app->WaitFor("state:"));
    std::this_thread::sleep_for(1500ms);  // three times the whole refresh wait: no fetch may come
    EXPECT_EQ(app->Output().find("at reading METAR data"), std::string::npos) << app->Output();
    app->Send("quit");
    EXPECT_EQ(app->WaitExit(15s), 0);
  }
}

// End pressed while the periodic refresh waits for a slow server: once the fetch is over the
// cycle stays ended, with "Start" enabled and "End" disabled, and no further fetch comes.
TEST_F(FrontendTest, EndDuringASlowRefreshFetchIsFinal) {
  std::atomic<int> answered{0};
  LoopbackHttpServer server([&](const SeenRequest& request) {
    if (request.target.find("/weather/observations/airways/") == 0) {
      if (answered++ == 0) std::this_thread::sleep_for(3s);
      return HttpAnswer(200, "2026/12/07 14:00\nKSEA 071353Z 18010KT 10SM FEW020 08/04 A3001\n");
    }
    // No upper air (a redirect without location): the fetch ends with both buttons off.
    return HttpAnswer(302, "");
  });
  m_Dir.Write("registry.ini",
              "[HKCU\\Software\\Altivane\\Internet]\n"
              "MetarServer=" +
                  server.HostPort() +
                  "\n"
                  "RadiosondeServer=" +
                  server.HostPort() + "\n");
  const TempDir simFolder;
  // A folder of its own: the downloads land in its weather folder, which starts empty.
  std::filesystem::copy(kSample, simFolder.Path(), std::filesystem::copy_options::recursive);
  std::filesystem::remove_all(simFolder.Path() / "Altivane" / "Weather");
  std::filesystem::create_directories(simFolder.Path() / "Altivane" / "Weather");
  auto app = std::make_unique<FrontendProcess>(
      ALTIVANE_PROGRAM,
      std::vector<std::string>{"--sim-folder", simFolder.Path().string(), "--refresh-waits", "1", "--refresh-wait-ms",
                               "100"},
      std::map<std::string, std::string>{{"ALTIVANE_IPC_DIR", Ipc().string()},
                                         {"ALTIVANE_REGISTRY", (m_Dir.Path() / "registry.ini").string()}});
  ASSERT_TRUE(app->WaitFor(StateLine(false, false)));
  // Weather to start with; its weather folder is empty, so the upper air is picked by hand.
  app->Send("file " + kSampleMetar);
  ASSERT_TRUE(app->WaitFor("[y/n]")) << app->Output();
  app->Send("y");
  app->Send(kSample + "/Altivane/Weather/20261207_1200Z.rdisnd");
  ASSERT_TRUE(app->WaitFor("start: enabled")) << app->Output();
  app->Send("update");
  app->Send("start");
  // The refresh has asked for the current hour's file; the server holds the answer back.
  const auto until = std::chrono::steady_clock::now() + 20s;
  while (server.Requests().empty() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(server.Requests().size(), 1u);
  app->Mark();
  app->Send("end");
  ASSERT_TRUE(app->WaitFor("Error 2 at reading Winds aloft: site redirects with no new location.", 20s))
      << app->Output();
  EXPECT_TRUE(ButtonsSettleTo(*app, true, false)) << app->Output();
  std::this_thread::sleep_for(1500ms);      // fifteen refresh waits: a new refresh would have fetched
  EXPECT_EQ(server.Requests().size(), 3u);  // current, complete and upper air: one fetch
  EXPECT_TRUE(ExpectButtons(*app, true, false)) << app->Output();
  app->Send("quit");
  EXPECT_EQ(app->WaitExit(15s), 0);
}

// The products of a text feed (SOH ... ETX, CR CR LF) whose text holds marker, in the plain
// text shape of the Iowa Environmental Mesonet's product archive: "\001\n", the product with LF
// line ends, "\n\003\n".
std::string ArchiveProductsWith(const std::string& feed, const std::string& marker) {
  std::string out;
  std::size_t pos = 0;
  while ((pos = feed.find('\001', pos)) != std::string::npos) {
    const std::size_t end = feed.find('\003', pos);
    if (end == std::string::npos) break;
    std::string product = feed.substr(pos + 1, end - pos - 1);
    pos = end + 1;
    if (product.find(marker) == std::string::npos) continue;
    for (std::size_t at; (at = product.find("\r\r\n")) != std::string::npos;) product.replace(at, 3, "\n");
    while (!product.empty() && product.front() == '\n') product.erase(0, 1);
    out += "\001\n" + product + "\n\003\n";
  }
  return out;
}

// "Get current weather" out of the box, against a replay of the public sources over https: the
// recorded NOAA cycle file at its real path, the upper air in the archive's shape, the test's
// own authority trusted through the test variable. The weather read is usable and a pass sets
// it in the simulator.
TEST_F(FrontendTest, CurrentWeatherFromTheReplayedPublicSourcesOverHttps) {
  ALTIVANE_REQUIRE_SHARED_DATA();
  const std::string cycle12 = ReadFileBytes((SharedDataDir() / "metar" / "cycles" / "20230429_12Z.TXT").string());
  const std::string feed =
      ReadFileBytes((SharedDataDir() / "upperair" / "noaaport_upperair_20220713_00Z.wmo").string());
  const std::string man = ArchiveProductsWith(feed, "TTAA ");
  const std::string sgl = ArchiveProductsWith(feed, "TTBB ");
  ASSERT_FALSE(cycle12.empty() || man.empty() || sgl.empty());
  const TestTlsIdentity identity = TestTlsIdentity::Make();
  const std::string since = "&fmt=text&limit=9999&sdate=2023-04-29T12:00Z";
  LoopbackTlsServer server(identity, [&](const SeenRequest& request) {
    if (request.target == "/data/observations/metar/cycles/12Z.TXT") return HttpAnswer(200, cycle12);
    if (request.target == "/cgi-bin/afos/retrieve.py?pil=MAN" + since) return HttpAnswer(200, man);
    if (request.target == "/cgi-bin/afos/retrieve.py?pil=SGL" + since) return HttpAnswer(200, sgl);
    return HttpAnswer(404, "<html><body>404 Not Found</body></html>\n");  // 11Z.TXT is not in the recording
  });
  const std::string base = "https://" + server.HostPort();
  m_Dir.Write("registry.ini",
              "[HKCU\\Software\\Altivane\\Internet]\n"
              "MetarUrl=" +
                  base +
                  "/data/observations/metar/cycles/{HH}Z.TXT\n"
                  "UpperAirUrl=" +
                  base + "/cgi-bin/afos/retrieve.py?pil=MAN&fmt=text&limit=9999&sdate={YYYY}-{MM}-{DD}T{SS}:00Z " +
                  base + "/cgi-bin/afos/retrieve.py?pil=SGL&fmt=text&limit=9999&sdate={YYYY}-{MM}-{DD}T{SS}:00Z\n");
  const std::string caFile = m_Dir.Write("test-ca.pem", identity.caPem).string();
  // The sample simulator folder with the whole station list, and an empty weather folder.
  const TempDir simFolder;
  std::filesystem::copy(kSample, simFolder.Path(), std::filesystem::copy_options::recursive);
  std::filesystem::copy_file(SharedDataDir() / "stations" / "station.txt",
                             simFolder.Path() / "Altivane" / "stations" / "station.txt",
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::remove_all(simFolder.Path() / "Altivane" / "Weather");
  std::filesystem::create_directories(simFolder.Path() / "Altivane" / "Weather");
  auto app = std::make_unique<FrontendProcess>(
      ALTIVANE_PROGRAM, std::vector<std::string>{"--sim-folder", simFolder.Path().string()},
      std::map<std::string, std::string>{{"ALTIVANE_IPC_DIR", Ipc().string()},
                                         {"ALTIVANE_REGISTRY", (m_Dir.Path() / "registry.ini").string()},
                                         {"ALTIVANE_TEST_CA_FILE", caFile},
                                         {"ALTIVANE_TEST_NOW", "2023-04-29T12:20Z"}});
  ASSERT_TRUE(app->WaitFor("commands:"));
  app->Mark();
  app->Send("current");
  ASSERT_TRUE(app->WaitFor("status: Weather from localhost: ", 60s)) << app->Output();
  const std::string output = app->Output();
  std::cout << output.substr(output.find("status: Weather from"));
  std::smatch counts;
  ASSERT_TRUE(std::regex_search(output, counts,
                                std::regex(R"(status: Weather from localhost: (\d+) stations with METAR reports; )"
                                           R"(winds aloft from localhost: (\d+) stations\.)")))
      << output;
  EXPECT_GT(std::stoi(counts[1]), 3000);
  EXPECT_GT(std::stoi(counts[2]), 50);
  EXPECT_TRUE(ExpectButtons(*app, true, false)) << app->Output();
  EXPECT_EQ(server.Requests().size(), 4u);  // current, complete (missing), upper air twice
  // Only weather in the weather folder: the page of the missing file is not there.
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(simFolder.Path() / "Altivane" / "Weather"))
    names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"20230429_1200Z.TXT", "20230429_1200Z.rdisnd"}));

  app->Send("start");
  ASSERT_TRUE(m_Host->WaitForJournal([](const auto& e) { return HasMessage(e, " Weather stations set!"); }, 30s));
  const auto journal = m_Host->Journal();
  EXPECT_TRUE(std::any_of(journal.begin(), journal.end(),
                          [](const auto& e) { return e.kind == "pending" && e.station == "KSEA"; }));
  EXPECT_TRUE(app->WaitFor("nearest KSEA (own report)", 20s)) << app->Output();
  app->Send("quit");
  EXPECT_EQ(app->WaitExit(15s), 0);
}

TEST_F(FrontendTest, DisabledButtonsAreRefused) {
  auto app = Launch();
  app->Mark();
  app->Send("start");
  app->Send("end");
  app->Send("state");
  ASSERT_TRUE(app->WaitFor("state:")) << app->Output();
  EXPECT_EQ(app->Output().substr(0, app->Output().find("state:")),
            "start is disabled: load weather first\nend is disabled: no weather is being sent\n");
  for (const auto& e : m_Host->Journal()) EXPECT_EQ(e.kind, "position");  // the program never connected
  app->Send("quit");
  EXPECT_EQ(app->WaitExit(10s), 0);
}

// On a terminal, counting texts overwrite one line and a repeated line is shown once with its
// count, also where it wraps; through a pipe (every other test) each change stays a line.
TEST_F(FrontendTest, TerminalOverwritesCountingAndRepeatedLines) {
  constexpr std::size_t kColumns = 40;
  auto app = Launch({}, static_cast<int>(kColumns));
  app->Mark();
  for (int i = 0; i < 3; ++i) app->Send("start");
  app->Send("file " + kSampleMetar);
  ASSERT_TRUE(app->WaitFor("state:")) << app->Output();
  app->Send("help");
  ASSERT_TRUE(app->WaitFor("commands:")) << app->Output();
  const std::vector<std::string> screen = Screen(app->Output(), kColumns);
  std::string shown;
  for (const auto& line : screen) shown += line + "|";
  auto lines = [&screen](const std::string& part) {
    return std::count_if(screen.begin(), screen.end(),
                         [&part](const std::string& line) { return line.find(part) != std::string::npos; });
  };
  // 42 characters: two rows, both overwritten by the third.
  ASSERT_FALSE(screen.empty());
  EXPECT_EQ(screen[0], "start is disabled: load weather first (x3)") << shown;
  EXPECT_EQ(lines("start is disabled"), 1) << shown;
  // Each counter keeps one line, which ends with the last count, also the two upper-air
  // counters that take turns.
  for (const char* counter : {"METAR Stations read and valid.", "Winds aloft station read and valid.",
                              "Temperature aloft station read and valid."})
    EXPECT_EQ(std::count_if(screen.begin(), screen.end(),
                            [counter](const std::string& line) {
                              return line.rfind("status: ", 0) == 0 && line.find(counter) != std::string::npos;
                            }),
              1)
        << counter << "\n"
        << shown;
  EXPECT_EQ(lines("status: 26 METAR Stations read and valid."), 1) << shown;
  EXPECT_EQ(lines("start: enabled"), 1) << shown;
  app->Send("quit");
  EXPECT_EQ(app->WaitExit(10s), 0);
}

TEST_F(FrontendTest, HelpListsCommandsOptionsFilesAndEnvironment) {
  FrontendProcess app(ALTIVANE_PROGRAM, {"--help"}, {});
  EXPECT_EQ(app.WaitExit(10s), 0);
  const std::string out = app.Output();
  for (const char* part :
       {"usage: altivane", "  start ", "  file [PATH] ", "  quit ", "--sim-folder DIR", "--refresh-wait-ms MS",
        "Altivane/stations/station.txt", "Weather/wxmapping.bin", "ALTIVANE_REGISTRY", "ALTIVANE_IPC_DIR"})
    EXPECT_NE(out.find(part), std::string::npos) << part << "\n" << out;
  EXPECT_EQ(out.find("state: "), std::string::npos);  // the window never opened
}

TEST_F(FrontendTest, QuestionTakesOnlyAnAnswerFromThePipe) {
  // A file of reports without an upper-air file within 12 hours: the question comes.
  const std::string metar =
      m_Dir.Write("elsewhere/20250601_1200Z.TXT", "2025/06/01 11:53\nKSEA 011153Z 17014KT 6SM 09/07 A2986\n\n")
          .string();
  struct Case {
    const char* next;
    std::string lines;
    bool commandRan;
  };
  const std::vector<Case> cases = {
      {"yes", "answer: y\n", false},
      {"N", "answer: n\n", false},
      {"help", "answer: n (default; \"help\" runs as a command)\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.next);
    auto app = Launch();
    app->Send("file " + metar);
    ASSERT_TRUE(app->WaitFor("Would you like to select one? [y/n]")) << app->Output();
    app->Mark();
    app->Send(c.next);
    app->Send("");  // cancels the radiosonde question that "yes" brings
    ASSERT_TRUE(app->WaitFor(c.lines)) << app->Output();
    if (c.commandRan) {
      EXPECT_TRUE(app->WaitFor("commands:")) << app->Output();  // the line ran as a command
    } else {
      std::this_thread::sleep_for(300ms);
      EXPECT_EQ(app->Output().find("commands:"), std::string::npos) << app->Output();
    }
    app->Mark();
    app->Send("help");
    ASSERT_TRUE(app->WaitFor("commands:")) << app->Output();
    app->Send("quit");
    EXPECT_EQ(app->WaitExit(10s), 0);
  }
}

TEST_F(FrontendTest, TermAndIntSignalsEndTheProgramAsQuitDoes) {
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    auto app = Launch();
    app->Send("file " + kSampleMetar);
    ASSERT_TRUE(app->WaitFor("start: enabled")) << app->Output();
    app->Send("start");
    ASSERT_TRUE(app->WaitFor("Weather stations set, nearest")) << app->Output();
    const std::size_t before = m_Host->Journal().size();
    app->Signal(signal);
    EXPECT_EQ(app->WaitExit(15s), 0);
    EXPECT_NE(app->Output().find("bye"), std::string::npos);
    // The simulator sees the program go.
    EXPECT_TRUE(m_Host->WaitForJournal(
        [before](const auto& e) {
          return std::any_of(e.begin() + static_cast<std::ptrdiff_t>(std::min(before, e.size())), e.end(),
                             [](const auto& event) { return event.kind == "disconnect"; });
        },
        10s));
  }
}

TEST_F(FrontendTest, HeldAutomationObjectKeepsTheProgramAfterQuitUntilReleased) {
  const std::string socketPath = (Ipc() / "automation.sock").string();
  auto app = Launch({"--automation-socket", socketPath});
  int client = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_TRUE(app->WaitFor("automation: object created"));

  app->Send("quit");
  ASSERT_TRUE(app->WaitFor("window hidden"));
  EXPECT_EQ(app->WaitExit(500ms), -1);  // still running while the object is held

  ::close(client);
  EXPECT_EQ(app->WaitExit(10s), 0);
  EXPECT_NE(app->Output().find("automation: object released"), std::string::npos);
}

}  // namespace
