// A long session of the real program against a real simhost: passes one after another while the
// aircraft flies back and forth, "Update Now" fetching from a loopback server now and then, the
// simulator restarted and frozen, an automation client holding the program all along. The
// program must not hang, and neither its resident memory nor its open descriptors may grow.
// $ALTIVANE_SOAK_PASSES sets the length (scripts/soak runs 2,000; the suite a short one).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "../acquire/loopback_http_server.h"
#include "../cycle/simhost_process.h"
#include "frontend_process.h"
#include "support/test_data.h"

namespace {

using namespace std::chrono_literals;
using altivane::test::FrontendProcess;
using altivane::test::HttpAnswer;
using altivane::test::LoopbackHttpServer;
using altivane::test::SeenRequest;
using altivane::test::SimhostProcess;
using altivane::test::SourceDir;
using altivane::test::TempDir;

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The sample reports as if observed in the current hour: date lines and day-time groups moved
// to now, so that no age rule takes them for old weather.
std::string FreshReports(const std::string& sample) {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char date[32], dayTime[16];
  std::snprintf(date, sizeof date, "%04d/%02d/%02d %02d:", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                utc.tm_hour);
  std::snprintf(dayTime, sizeof dayTime, " %02d%02d", utc.tm_mday, utc.tm_hour);
  const std::regex dateLine(R"(\d{4}/\d{2}/\d{2} \d{2}:)");
  const std::regex reportTime(R"( \d{4}(?=\d{2}Z ))");
  std::istringstream in(sample);
  std::string out;
  for (std::string line; std::getline(in, line);) {
    line = std::regex_replace(line, dateLine, date, std::regex_constants::format_first_only);
    line = std::regex_replace(line, reportTime, dayTime, std::regex_constants::format_first_only);
    out += line + "\n";
  }
  return out;
}

long ProcessResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

long OpenDescriptors(pid_t pid) {
  std::error_code ec;
  long count = 0;
  for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", ec), end; !ec && it != end;
       it.increment(ec))
    ++count;
  return ec ? -1 : count;
}

// The program opens a file or a socket for a moment now and then (the weather view written
// under a temporary name, a reconnect); a leak stays. The fewest of a few looks 20 ms apart is
// what the program holds.
long HeldDescriptors(pid_t pid) {
  long fewest = -1;
  for (int look = 0; look < 10; ++look) {
    const long count = OpenDescriptors(pid);
    if (count >= 0 && (fewest < 0 || count < fewest)) fewest = count;
    std::this_thread::sleep_for(20ms);
  }
  return fewest;
}

int SoakPasses() {
  if (const char* text = std::getenv("ALTIVANE_SOAK_PASSES"); text && *text) return std::atoi(text);
  return 60;
}

TEST(Soak, PassesUpdateNowRestartsAndFreezesLeaveNoGrowth) {
  const int passes = SoakPasses();
  ASSERT_GE(passes, 30);
  // Every 50 passes an "Update Now" and a simulator restart, every 70 a freeze of 3 s (longer
  // than a send's time-out); a short soak keeps one of each.
  const int nowEvery = std::min(50, passes / 3), restartEvery = std::min(50, passes / 2);
  const int freezeEvery = std::min(70, passes * 2 / 3);

  const std::filesystem::path sample = SourceDir() / "data" / "sample";
  const std::string metar = FreshReports(ReadAll(sample / "Altivane" / "Weather" / "20261207_1200Z.TXT"));
  const std::string upperAir = ReadAll(sample / "Altivane" / "Weather" / "20261207_1200Z.rdisnd");
  LoopbackHttpServer server([&](const SeenRequest& request) {
    if (request.target.find("/weather/observations/airways/") == 0) return HttpAnswer(200, metar);
    if (request.target.find("/Data/archive/radiosonde/") == 0) return HttpAnswer(200, upperAir);
    return HttpAnswer(404, "not here");
  });

  TempDir dir;
  const std::filesystem::path ipc = dir.Path() / "ipc";
  std::filesystem::create_directories(ipc);
  const TempDir simFolder;
  std::filesystem::copy(sample, simFolder.Path(), std::filesystem::copy_options::recursive);
  std::filesystem::remove_all(simFolder.Path() / "Altivane" / "Weather");
  std::filesystem::create_directories(simFolder.Path() / "Altivane" / "Weather");
  dir.Write("registry.ini", "[HKCU\\Software\\Altivane\\Internet]\nMetarServer=" + server.HostPort() +
                                "\nRadiosondeServer=" + server.HostPort() + "\n");

  // North and south of Seattle, 3 degrees each way every half second: every poll sees a move.
  {
    std::ofstream out(ipc / "path.txt");
    for (int leg = 0; leg <= 20000; ++leg) out << leg * 0.5 << ' ' << (47.44 + (leg % 2 ? 3.0 : -3.0)) << " -122.31\n";
  }
  const std::vector<std::string> hostArgs{"--path", (ipc / "path.txt").string(), "--quiet"};
  auto host = std::make_unique<SimhostProcess>(SIMHOST_PROGRAM, ipc, hostArgs);
  ASSERT_TRUE(host->Ready());

  const std::string automation = (ipc / "automation.sock").string();
  FrontendProcess app(
      ALTIVANE_PROGRAM,
      {"--sim-folder", simFolder.Path().string(), "--automation-socket", automation, "--monitor-period-ms", "20"},
      {{"ALTIVANE_IPC_DIR", ipc.string()},
       {"ALTIVANE_REGISTRY", (dir.Path() / "registry.ini").string()},
       {"ALTIVANE_CONNECT_RETRY_MS", "20"}});
  ASSERT_TRUE(app.WaitFor("commands:"));
  // Close-on-exec: the simulators started later must not hold the object too.
  int client = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, automation.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_TRUE(app.WaitFor("automation: object created"));

  app.Mark();
  app.Send("now");
  ASSERT_TRUE(app.WaitFor("start: enabled", 30s)) << app.Output();
  app.Send("start");

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30 + passes * 2);
  long firstRss = -1, firstFds = -1, lastRss = -1, lastFds = -1;
  int done = 0, restarts = 0, freezes = 0, updates = 0, starts = 1;
  int nextNow = nowEvery, nextRestart = restartEvery, nextFreeze = freezeEvery;
  std::string seen;
  while (done < passes) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << done << " passes; last output:\n" << seen;
    app.WaitFor(" Weather stations set", 200ms);
    seen = app.Output();
    app.Mark();
    for (std::size_t at = seen.find(" Weather stations set"); at != std::string::npos;
         at = seen.find(" Weather stations set", at + 1))
      ++done;
    if (firstRss < 0 && done >= 5) {
      firstRss = ProcessResidentKb(app.Pid());
      firstFds = HeldDescriptors(app.Pid());
    }
    // A run that the link ended leaves "Start" enabled: press it again, as the pilot would.
    if (seen.find("start: enabled") != std::string::npos) {
      app.Send("start");
      ++starts;
    }
    if (done >= nextFreeze) {
      host->Freeze();
      std::this_thread::sleep_for(3s);
      host->Thaw();
      nextFreeze += 70;
      ++freezes;
    } else if (done >= nextRestart) {
      host.reset();
      host = std::make_unique<SimhostProcess>(SIMHOST_PROGRAM, ipc, hostArgs);
      ASSERT_TRUE(host->Ready());
      nextRestart += 50;
      ++restarts;
    } else if (done >= nextNow) {
      app.Send("now");  // stops the run, fetches, leaves "Start" enabled
      nextNow += 50;
      ++updates;
    }
  }
  lastRss = ProcessResidentKb(app.Pid());
  lastFds = HeldDescriptors(app.Pid());
  std::printf(
      "soak: %d passes, %d Update Now, %d restarts, %d freezes, %d starts; resident memory first %ld kB, "
      "last %ld kB; open descriptors first %ld, last %ld\n",
      done, updates, restarts, freezes, starts, firstRss, lastRss, firstFds, lastFds);
  app.Send("end");
  app.Send("quit");
  ASSERT_TRUE(app.WaitFor("window hidden", 20s)) << app.Output();
  app.Mark();
  ::close(client);
  EXPECT_EQ(app.WaitExit(20s), 0) << app.Output();
  EXPECT_GE(updates, 1);
  EXPECT_GE(restarts, 1);
  EXPECT_GE(freezes, 1);
  // Every fetch asks for the current hour's file; the first also for the others.
  EXPECT_GE(server.Requests().size(), 3u + static_cast<std::size_t>(updates));
  ASSERT_GT(firstRss, 0);
  ASSERT_GT(firstFds, 0);
  // AddressSanitizer keeps freed memory in quarantine (up to 256 MB): resident memory says
  // nothing of leaks there, which its leak check covers.
  if (!kUnderAddressSanitizer) {
    EXPECT_LT(lastRss - firstRss, 32 * 1024);
  }
  EXPECT_LE(lastFds, firstFds + 2);
}

}  // namespace
