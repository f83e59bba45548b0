#include "cycle/connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "simlink/link_fixture.h"
#include "base/bytes.h"
#include "base/text.h"
#include "stations/metar_stations.h"

namespace altivane::test {
namespace {

using Clock = std::chrono::steady_clock;

class ConnectionTest : public LinkTest {
 protected:
  RecordingControls m_Controls;

  // Runs f on a thread of the update cycle (as the update pass or the position monitor would).
  template <typename F>
  void InCycleThread(F f) {
    std::thread worker([&] {
      CycleThreadScope scope;
      f();
    });
    worker.join();
  }

  static WeatherBlockBytes StationBlock(const char* id, std::uint8_t fill) {
    WeatherBlockBytes block{};
    block.fill(fill);
    StoreU16(block.data(), 0);
    std::memcpy(block.data() + WeatherBlockOffset::kStationId, id, 4);
    StoreU32(block.data() + WeatherBlockOffset::kAcknowledge, 0xFFFFFFFF);
    return block;
  }

  std::vector<std::string> LinesOf(const std::string& kind) {
    std::vector<std::string> lines;
    for (const std::string& line : Host().Journal())
      if (line.find("\"kind\":\"" + kind + "\"") != std::string::npos) lines.push_back(line);
    return lines;
  }
};

TEST_F(ConnectionTest, ConnectOpensAndKeepsAWorkingLink) {
  StartHost();
  ConnectSimulator();
  auto link = g_Link.Get();
  ASSERT_TRUE(link);
  EXPECT_TRUE(link->IsOpen());
  ConnectSimulator();
  EXPECT_EQ(g_Link.Get(), link);
  EXPECT_TRUE(m_Controls.status.History().empty());
}

TEST_F(ConnectionTest, ConnectWaitsForASimulatorThatComesLate) {
  FastLinkTimings timings(200, 1, 1, /*connectRetryMs=*/100);
  g_RunState = kRunRunning;
  auto start = Clock::now();
  std::thread worker([] {
    CycleThreadScope scope;
    ConnectSimulator();
  });
  // The first attempt finds nothing: the slot then holds its unopened client. Only then does
  // the simulator appear, so a retry, one interval later at the earliest, finds it.
  const auto firstAttemptFailed = [] {
    auto link = g_Link.Get();
    return link && link->GetResult() == kIpcNoSimulator;
  };
  const auto until = Clock::now() + std::chrono::seconds(10);
  while (!firstAttemptFailed() && Clock::now() < until) std::this_thread::yield();
  EXPECT_TRUE(firstAttemptFailed());
  StartHost();
  worker.join();
  auto link = g_Link.Get();
  ASSERT_TRUE(link);
  EXPECT_TRUE(link->IsOpen());
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_TRUE(m_Controls.status.History().empty());
  EXPECT_EQ(g_RunState.load(), kRunRunning);
}

TEST_F(ConnectionTest, ConnectGivesUpAfterAllRetries) {
  g_RunState = kRunRunning;
  m_Controls.start.Enable(false);
  m_Controls.end.Enable(true);
  InCycleThread([] { ConnectSimulator(); });
  EXPECT_FALSE(g_Link.Get());
  EXPECT_EQ(m_Controls.status.GetText(), "Please start FS2004!");
  EXPECT_TRUE(m_Controls.start.IsEnabled());
  EXPECT_FALSE(m_Controls.end.IsEnabled());
  EXPECT_EQ(g_RunState.load(), kRunStopped);
}

TEST_F(ConnectionTest, ConnectMakesOneAttemptWhenStopped) {
  g_RunState = kRunStopped;
  ConnectSimulator();
  auto link = g_Link.Get();
  ASSERT_TRUE(link);  // a client that is not open stays
  EXPECT_FALSE(link->IsOpen());
  EXPECT_EQ(link->GetResult(), kIpcNoSimulator);
  EXPECT_TRUE(m_Controls.status.History().empty());
}

TEST_F(ConnectionTest, ReportWithCodeZeroShowsNothing) {
  StartHost();
  ConnectSimulator();
  g_RunState = kRunRunning;
  ReportLinkError();
  EXPECT_TRUE(m_Controls.status.History().empty());
  EXPECT_TRUE(g_Link.Get());
}

TEST_F(ConnectionTest, ReportOfALinkNotOpenEndsTheRun) {
  StartHost();
  ConnectSimulator();
  g_RunState = kRunRunning;
  m_Controls.end.Enable(true);
  InCycleThread([] {
    auto link = g_Link.Get();
    link->Close();
    std::uint8_t value[4];
    EXPECT_FALSE(link->ReadAndProcess(kOffsetAircraftLatitude, 4, value));
    ReportLinkError();
  });
  EXPECT_EQ(m_Controls.status.GetText(), "Call cannot execute: Link not Open");
  EXPECT_TRUE(m_Controls.start.IsEnabled());
  EXPECT_FALSE(m_Controls.end.IsEnabled());
  EXPECT_EQ(g_RunState.load(), kRunStopped);
  EXPECT_FALSE(g_Link.Get());
}

TEST_F(ConnectionTest, ReportOfALostLinkReconnects) {
  StartHost();
  ConnectSimulator();
  auto old = g_Link.Get();
  g_RunState = kRunRunning;
  StopHost();
  std::uint8_t value[4];
  EXPECT_FALSE(old->ReadAndProcess(kOffsetAircraftLatitude, 4, value));
  ASSERT_EQ(old->GetResult(), kIpcSendFailed);
  StartHost();
  InCycleThread([] { ReportLinkError(); });
  EXPECT_EQ(m_Controls.status.GetText(), "IPC sendmessage failed all retries");
  auto fresh = g_Link.Get();
  ASSERT_TRUE(fresh);
  EXPECT_NE(fresh, old);
  EXPECT_TRUE(fresh->IsOpen());
  EXPECT_FALSE(old->IsOpen());
  // The lost link ends the run: the new client was opened once, with the cycle stopped.
  EXPECT_EQ(g_RunState.load(), kRunStopped);
}

TEST_F(ConnectionTest, ReportShowsNothingOnceAStopIsRequested) {
  StartHost();
  ConnectSimulator();
  g_Link.Get()->Close();
  EXPECT_FALSE(g_Link.Get()->Process());
  g_RunState = kRunStopRequested;
  ReportLinkError();
  EXPECT_TRUE(m_Controls.status.History().empty());
}

TEST_F(ConnectionTest, MessagesBelowTheThresholdAreNotShown) {
  StartHost();
  ConnectSimulator();
  std::uint64_t before = Host().RequestCount();
  ShowSimulatorMessage("quiet", 3);
  EXPECT_EQ(Host().RequestCount(), before);
  ShowSimulatorMessage("Weather station update started!", 4);
  EXPECT_EQ(Host().RequestCount(), before + 1);  // text and control in one batch
  auto messages = LinesOf("message");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("\"text\":\"Weather station update started!\",\"control\":-15"), std::string::npos);
  // A text too long for the field is cut, never sent without its terminator.
  ShowSimulatorMessage(std::string(300, 'x'), 5);
  messages = LinesOf("message");
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_NE(messages[1].find("\"text\":\"" + std::string(127, 'x') + "\""), std::string::npos);
}

TEST_F(ConnectionTest, OperationsWithoutALinkDoNothing) {
  StartHost();
  DisconnectSimulator();
  ReportLinkError();
  ShowSimulatorMessage("x", 5);
  WriteWeatherBlock(StationBlock("EGLL", 0), kWriteSetPending);
  EXPECT_EQ(Host().RequestCount(), 0u);
  EXPECT_TRUE(m_Controls.status.History().empty());
}

TEST_F(ConnectionTest, SetPendingSendsTheBlockWithCommandAndClearedAcknowledgement) {
  StartHost();
  ConnectSimulator();
  WeatherBlockBytes block = StationBlock("EGLL", 0x5A);
  WriteWeatherBlock(block, kWriteSetPending);
  auto pending = Host().Pending();
  ASSERT_EQ(pending.count("EGLL"), 1u);
  WeatherBlockBytes expected = block;
  StoreU16(expected.data(), 0x0101);
  StoreU32(expected.data() + WeatherBlockOffset::kAcknowledge, 0);
  EXPECT_EQ(pending["EGLL"], expected);
  auto lines = LinesOf("pending");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("\"block_hex\":\"" + HexBytes(expected.data(), expected.size()) + "\""), std::string::npos);
  // Acknowledged at once: one read of the word was enough.
  EXPECT_EQ(Host().ReadCount(kOffsetWeatherAck), 1u);
}

TEST_F(ConnectionTest, UnacknowledgedWriteCosts240PollsAndNoFailure) {
  SimHostOptions options;
  options.m_Faults.m_NeverAcknowledge = true;
  StartHost(options);
  ConnectSimulator();
  WriteWeatherBlock(StationBlock("EGLL", 1), kWriteSetPending);
  EXPECT_EQ(Host().ReadCount(kOffsetWeatherAck), 1u + 240u);
  EXPECT_TRUE(m_Controls.status.History().empty());
  EXPECT_EQ(g_Link.Get()->GetResult(), kIpcOk);
}

TEST_F(ConnectionTest, RefreshSendsWhatTheSimulatorHolds) {
  struct Case {
    const char* name;
    std::uint32_t answerAfter;
    std::uint64_t ackReads;  // the reference, the polls until the change, the final wait
  };
  const Case cases[] = {
      {"answered a request later, as the simulator does: the change is seen", 1, 1 + 1 + 1},
      {"answered at once: no change to see, all 15 polls", 0, 1 + 15 + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimHostOptions options;
    options.m_Faults.m_RefreshAnswerAfter = c.answerAfter;
    StartHost(options);
    g_Link.Set(nullptr);
    ConnectSimulator();
    WriteWeatherBlock(StationBlock("LFPG", 0x11), kWriteSetPending);
    std::uint8_t apply[2];
    StoreU16(apply, kWeatherApply);
    ASSERT_TRUE(g_Link.Get()->WriteAndProcess(kOffsetWeatherWrite, 2, apply));
    WeatherBlockBytes held = Host().Committed().at("LFPG");

    const std::uint64_t ackReads = Host().ReadCount(kOffsetWeatherAck);
    WriteWeatherBlock(StationBlock("LFPG", 0x22), kWriteRefresh);
    EXPECT_EQ(Host().ReadCount(kOffsetWeatherAck) - ackReads, c.ackReads);
    auto kinds = Host().JournalKinds();
    auto refresh = std::find(kinds.begin(), kinds.end(), "refresh");
    ASSERT_NE(refresh, kinds.end());
    EXPECT_EQ(std::find(refresh, kinds.end(), "pending") - refresh, 1);
    WeatherBlockBytes sent = Host().Pending().at("LFPG");
    EXPECT_EQ(LoadU16(sent.data()), 0x0101);
    EXPECT_EQ(LoadU32(sent.data() + WeatherBlockOffset::kAcknowledge), 0u);
    // Everything but the signature is the block the simulator held, not the one given.
    for (std::size_t i = 8; i < sent.size(); ++i) {
      if (i < WeatherBlockOffset::kAcknowledge || i >= WeatherBlockOffset::kAcknowledge + 4) {
        ASSERT_EQ(sent[i], held[i]) << i;
      }
    }
    EXPECT_LE(LoadU32(sent.data() + WeatherBlockOffset::kSignature), 32767u);
  }
}

TEST_F(ConnectionTest, PrepareClearsTheSimulatorAndMarksEveryStation) {
  StartHost();
  METAR_Stations stations;
  std::vector<METAR_Station*> marked;
  for (const char* key : {"EGLL", "LFPG"}) {
    auto record = std::make_unique<METAR_Station>();
    record->m_State = kStateSent;
    marked.push_back(static_cast<METAR_Station*>(stations.SetAt(key, std::move(record))));
  }
  stations.m_SimStations = marked;
  auto idle = std::make_unique<METAR_Station>();
  METAR_Station* other = static_cast<METAR_Station*>(stations.SetAt("KJFK", std::move(idle)));
  g_pStations = &stations;
  PrepareWeatherRun();
  g_pStations = nullptr;
  for (METAR_Station* station : marked) EXPECT_EQ(station->m_State, kStateToSend);
  EXPECT_EQ(other->m_State, kStateIdle);
  EXPECT_EQ(LinesOf("clear").size(), 1u);
  EXPECT_GE(Host().ReadCount(kOffsetWeatherAck), 1u);
}

TEST_F(ConnectionTest, PrepareWithoutStationsStillClears) {
  SimHostOptions options;
  options.m_Faults.m_NeverAcknowledge = true;
  StartHost(options);
  PrepareWeatherRun();
  EXPECT_EQ(LinesOf("clear").size(), 1u);
  EXPECT_EQ(Host().ReadCount(kOffsetWeatherAck), 240u);
}

TEST_F(ConnectionTest, DisconnectWritesTheBytesAndDropsTheClient) {
  StartHost();
  ConnectSimulator();
  auto link = g_Link.Get();
  DisconnectSimulator();
  EXPECT_EQ(LinesOf("disconnect").size(), 1u);
  EXPECT_FALSE(g_Link.Get());
  EXPECT_FALSE(link->IsOpen());
}

// One thread replaces the link while others keep using the client they took.
TEST_F(ConnectionTest, ReplacingTheLinkUnderUsersIsSafe) {
  StartHost();
  ConnectSimulator();
  std::atomic<bool> done{false};
  std::vector<std::thread> users;
  for (int i = 0; i < 2; ++i)
    users.emplace_back([&done] {
      while (!done) {
        if (auto link = g_Link.Get()) {
          std::uint8_t value[4];
          link->ReadAndProcess(kOffsetAircraftLatitude, 4, value);
        }
        ShowSimulatorMessage("x", 3);
      }
    });
  for (int i = 0; i < 20; ++i) {
    DisconnectSimulator();
    ConnectSimulator();
  }
  done = true;
  for (auto& user : users) user.join();
  EXPECT_TRUE(g_Link.Get()->IsOpen());
}

}  // namespace
}  // namespace altivane::test
