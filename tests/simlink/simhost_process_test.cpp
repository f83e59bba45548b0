// The link against a real simhost process over the transport (started the posix way).
#if !defined(_WIN32)
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>

#include "link_fixture.h"
#include "base/bytes.h"
#include "base/text.h"

extern char** environ;

namespace altivane::test {
namespace {

// A simhost child process; its standard output is read through a pipe.
class SimHostProcess {
 public:
  explicit SimHostProcess(std::vector<std::string> args) {
    args.insert(args.begin(), SIMHOST_PROGRAM);
    int out[2];
    EXPECT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&m_Pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    m_Out = out[0];
  }
  ~SimHostProcess() {
    if (m_Pid > 0) Stop();
    ::close(m_Out);
  }

  // Waits (with a time-out) for the line that says the window is there.
  bool WaitReady() {
    std::string line;
    return ReadUntil("\n", &line, 10000) && line.find("simhost ready") != std::string::npos;
  }

  // Ends the process (SIGTERM unless it ends by itself) and returns its remaining output.
  std::string Stop(bool terminate = true) {
    if (terminate) ::kill(m_Pid, SIGTERM);
    std::string rest;
    ReadUntil("", &rest, 10000);
    int status = 0;
    ::waitpid(m_Pid, &status, 0);
    m_Pid = -1;
    m_ExitStatus = status;
    return rest;
  }
  int ExitStatus() const { return m_ExitStatus; }

 private:
  // Reads until `end` has been seen (empty: until the end of the output) or the time-out.
  bool ReadUntil(const std::string& end, std::string* out, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (end.empty() || out->find(end) == std::string::npos) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd pfd{m_Out, POLLIN, 0};
      if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) return false;
      char buffer[4096];
      ssize_t n = ::read(m_Out, buffer, end.empty() ? sizeof buffer : 1);
      if (n <= 0) return end.empty();
      out->append(buffer, static_cast<std::size_t>(n));
    }
    return true;
  }

  pid_t m_Pid = -1;
  int m_Out = -1;
  int m_ExitStatus = -1;
};

class SimHostProcessTest : public LinkTest {
 protected:
  RecordingControls m_Controls;

  std::vector<std::string> ReadJournal(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  static std::string Kind(const std::string& line) {
    auto start = line.find("\"kind\":\"");
    if (start == std::string::npos) return "";
    start += 8;
    return line.substr(start, line.find('"', start) - start);
  }
};

TEST_F(SimHostProcessTest, JournalRecordsAWeatherRun) {
  auto journal = m_Dir.Path() / "journal.jsonl";
  SimHostProcess host({"--journal", journal.string(), "--position", "51.47,-0.46", "--dump"});
  ASSERT_TRUE(host.WaitReady());

  PrepareWeatherRun();
  ASSERT_TRUE(g_Link.Get());
  ASSERT_TRUE(g_Link.Get()->IsOpen());
  WeatherBlockBytes block{};
  std::memcpy(block.data() + WeatherBlockOffset::kStationId, "EGLL", 4);
  StoreDouble(block.data() + WeatherBlockOffset::kLatitude, 51.47);
  StoreU16(block.data() + WeatherBlockOffset::kPressure, 1013 * 16);
  StoreU16(block.data() + WeatherBlockOffset::kVisRange, 1000);
  WriteWeatherBlock(block, kWriteSetPending);
  std::uint8_t apply[2];
  StoreU16(apply, kWeatherApply);
  ASSERT_TRUE(g_Link.Get()->WriteAndProcess(kOffsetWeatherWrite, 2, apply));
  ShowSimulatorMessage("1 Weather stations set!", 5);
  std::uint8_t lat[4] = {};
  ASSERT_TRUE(g_Link.Get()->ReadAndProcess(kOffsetAircraftLatitude, 4, lat));
  EXPECT_NEAR(LoadI32(lat) * 8.998425275576774e-6, 51.47, 1e-5);
  DisconnectSimulator();

  std::string dump = host.Stop();
  EXPECT_NE(dump.find("station EGLL"), std::string::npos) << dump;
  EXPECT_NE(dump.find("pressure 1013.00 hPa, visibility 10.00 sm"), std::string::npos) << dump;

  std::vector<std::string> kinds;
  double last = 0;
  for (const std::string& line : ReadJournal(journal)) {
    SCOPED_TRACE(line);
    ASSERT_EQ(line.rfind("{\"t\":", 0), 0u);
    double t = std::stod(line.substr(5));
    EXPECT_GE(t, last);
    last = t;
    kinds.push_back(Kind(line));
    if (kinds.back() == "pending") {
      WeatherBlockBytes sent = block;
      StoreU16(sent.data(), kWriteSetPending);
      EXPECT_NE(line.find("\"station\":\"EGLL\",\"block_hex\":\"" + HexBytes(sent.data(), sent.size()) + "\""),
                std::string::npos);
    }
    if (kinds.back() == "handshake") {
      EXPECT_NE(line.find("\"fs_version\":\"0xFADE0007\",\"library_version\":1004"), std::string::npos);
    }
    if (kinds.back() == "message") {
      EXPECT_NE(line.find("\"text\":\"1 Weather stations set!\""), std::string::npos);
    }
  }
  const std::vector<std::string> expected = {"position", "handshake", "clear",     "pending",
                                             "commit",   "message",   "disconnect"};
  EXPECT_EQ(kinds, expected);
}

TEST_F(SimHostProcessTest, RefusedHandshakes) {
  struct Case {
    const char* refuse;
    const char* windowClass;
    std::int32_t code;
  };
  for (const Case& c :
       {Case{"version", kFsuipcWindowClass, kIpcWrongFsuipc}, Case{"fade", kFsuipcWindowClass, kIpcWrongFsuipc},
        Case{"version", kFs98WindowClass, kIpcWideClientNoServer},
        Case{"fade", kFs98WindowClass, kIpcWideClientNoServer}}) {
    SCOPED_TRACE(std::string(c.refuse) + " " + c.windowClass);
    SimHostProcess host({"--class", c.windowClass, "--refuse-handshake", c.refuse});
    ASSERT_TRUE(host.WaitReady());
    FSUIPC_Client client;
    EXPECT_FALSE(client.Open(7));
    EXPECT_EQ(client.GetResult(), c.code);
  }
}

TEST_F(SimHostProcessTest, FaultSwitches) {
  struct Case {
    std::vector<std::string> args;
    std::int32_t code;
    std::uint32_t sendTimeoutMs;  // for the failing request; the handshake keeps the fixture's
  };
  // Only the late answer needs a time-out shorter than its delay: a short one for the handshake
  // or for a prompt answer fails on a loaded machine before any fault is reached.
  const Case cases[] = {
      {{"--answer-after", "300", "--faults-from", "2"}, kIpcTimedOut, 50},
      {{"--bad-data", "--faults-from", "2"}, kIpcBadData, 0},
      {{"--exit-after", "1"}, kIpcSendFailed, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    SimHostProcess host(c.args);
    ASSERT_TRUE(host.WaitReady());
    FSUIPC_Client client;
    ASSERT_TRUE(client.Open(7)) << client.GetResultText();
    std::optional<FastLinkTimings> timings;
    if (c.sendTimeoutMs) timings.emplace(c.sendTimeoutMs);
    std::uint8_t value[4];
    EXPECT_FALSE(client.ReadAndProcess(kOffsetAircraftLatitude, 4, value));
    EXPECT_EQ(client.GetResult(), c.code);
  }
}

TEST_F(SimHostProcessTest, VanishedSimulatorEndsTheRunThroughReconnection) {
  SimHostProcess host({"--exit-after", "1"});
  ASSERT_TRUE(host.WaitReady());
  ConnectSimulator();
  auto old = g_Link.Get();
  ASSERT_TRUE(old && old->IsOpen());
  host.Stop(/*terminate=*/false);  // it leaves by itself after answering the handshake
  g_RunState = kRunRunning;
  std::thread pass([] {
    CycleThreadScope scope;
    std::uint8_t value[4];
    auto link = g_Link.Get();
    if (!link->ReadAndProcess(kOffsetAircraftLatitude, 4, value)) ReportLinkError();
  });
  pass.join();
  EXPECT_EQ(m_Controls.status.GetText(), "IPC sendmessage failed all retries");
  EXPECT_EQ(g_RunState.load(), kRunStopped);
  auto fresh = g_Link.Get();
  ASSERT_TRUE(fresh);
  EXPECT_NE(fresh, old);
  EXPECT_EQ(fresh->GetResult(), kIpcNoSimulator);  // one attempt, nobody there
}

TEST_F(SimHostProcessTest, MoveCommandMovesTheAircraft) {
  SimHostProcess host({"--position", "10,20"});
  ASSERT_TRUE(host.WaitReady());
  SimHostProcess mover({"--move", "-33.9,151.2"});
  mover.Stop(/*terminate=*/false);
  EXPECT_TRUE(WIFEXITED(mover.ExitStatus()) && WEXITSTATUS(mover.ExitStatus()) == 0);
  FSUIPC_Client client;
  ASSERT_TRUE(client.Open(7));
  std::uint8_t lat[4], lon[4];
  ASSERT_TRUE(client.Read(kOffsetAircraftLatitude, 4, lat));
  ASSERT_TRUE(client.ReadAndProcess(kOffsetAircraftLongitude, 4, lon));
  EXPECT_NEAR(LoadI32(lat) * 8.998425275576774e-6, -33.9, 1e-5);
  EXPECT_NEAR(LoadI32(lon) * 8.381903171539307e-8, 151.2, 1e-6);
}

TEST_F(SimHostProcessTest, BadCommandLinesAreRefused) {
  for (std::vector<std::string> args : {std::vector<std::string>{"--exit-after", "0"},
                                        {"--position", "91,0"},
                                        {"--refuse-handshake", "maybe"},
                                        {"--fs-version", "0x100000000"},
                                        {"--frobnicate"}}) {
    SCOPED_TRACE(args[0]);
    SimHostProcess host(args);
    host.Stop(/*terminate=*/false);
    EXPECT_TRUE(WIFEXITED(host.ExitStatus()));
    EXPECT_EQ(WEXITSTATUS(host.ExitStatus()), 2);
  }
}

}  // namespace
}  // namespace altivane::test
#endif
