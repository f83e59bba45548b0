#include "simlink/fsuipc_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <thread>
#include <unistd.h>

#include <chrono>
#include <future>
#include <optional>
#include <utility>
#include <vector>
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#endif

#include "link_fixture.h"
#include "base/bytes.h"
#include "simlink/ipc_batch.h"

namespace altivane::test {
namespace {

using ClientTest = LinkTest;

struct HandshakeCase {
  const char* name;
  const char* windowClass;
  std::uint32_t fsuipcVersion;
  std::uint32_t fsVersion;
  std::uint32_t requested;
  std::int32_t code;
  std::uint32_t fsVersionAfter;
};

TEST_F(ClientTest, HandshakeOutcomes) {
  const HandshakeCase cases[] = {
      {"lowest FSUIPC accepted", kFsuipcWindowClass, 0x19980005, 0xFADE0007, 7, kIpcOk, 7},
      {"any simulator", kFs98WindowClass, 0x39990000, 0xFADE0008, 0, kIpcOk, 8},
      {"FSUIPC too old", kFsuipcWindowClass, 0x19980004, 0xFADE0007, 7, kIpcWrongFsuipc, 0},
      {"FSUIPC too old via WideClient", kFs98WindowClass, 0x19980004, 0xFADE0007, 7, kIpcWideClientNoServer, 0},
      {"no FADE marker", kFsuipcWindowClass, 0x39990000, 0x12340007, 7, kIpcWrongFsuipc, 0},
      {"no FADE marker via WideClient", kFs98WindowClass, 0x39990000, 0xFADF0007, 7, kIpcWideClientNoServer, 0},
      {"other simulator version", kFsuipcWindowClass, 0x39990000, 0xFADE0008, 7, kIpcWrongFsVersion, 8},
  };
  for (const HandshakeCase& c : cases) {
    SCOPED_TRACE(c.name);
    SimHostOptions options;
    options.m_FsuipcVersion = c.fsuipcVersion;
    options.m_FsVersion = c.fsVersion;
    StartHost(options, c.windowClass);
    FSUIPC_Client client;
    EXPECT_EQ(client.Open(c.requested), c.code == kIpcOk);
    EXPECT_EQ(client.GetResult(), c.code);
    EXPECT_EQ(client.IsOpen(), c.code == kIpcOk);
    EXPECT_EQ(client.GetFSVersion(), c.code == kIpcOk || c.code == kIpcWrongFsVersion ? c.fsVersionAfter : c.fsVersion);
    // One handshake batch when the versions come back at once, with the library version in it.
    auto journal = Host().Journal();
    auto kinds = Host().JournalKinds();
    ASSERT_EQ(std::count(kinds.begin(), kinds.end(), "handshake"), 1);
    EXPECT_NE(
        journal[std::find(kinds.begin(), kinds.end(), "handshake") - kinds.begin()].find("\"library_version\":1004"),
        std::string::npos);
  }
}

TEST_F(ClientTest, NoSimulatorWindowIsCode2) {
  FSUIPC_Client client;
  EXPECT_FALSE(client.Open(7));
  EXPECT_EQ(client.GetResult(), kIpcNoSimulator);
  EXPECT_FALSE(client.IsOpen());
}

TEST_F(ClientTest, UipcMainIsPreferredOverFs98Main) {
  SimHostOptions refusing;
  refusing.m_FsuipcVersion = 0x19980004;
  StartHost(refusing, kFs98WindowClass);
  auto fs98 = std::move(m_Server);
  auto fs98Host = std::move(m_Host);
  StartHost({}, kFsuipcWindowClass);
  FSUIPC_Client client;
  EXPECT_TRUE(client.Open(7)) << client.GetResultText();
  fs98Host->Release();
  fs98->Stop();
}

TEST_F(ClientTest, ASecondWindowOfTheSameClassIsRefused) {
  StartHost();
  auto second = CreateIpcServer();
  std::string error;
  EXPECT_FALSE(second->Start(
      kFs98WindowClass, [](std::uint32_t, const std::string&) { return 0; }, &error));
  EXPECT_NE(error.find("already there"), std::string::npos) << error;
  // The first window still answers.
  FSUIPC_Client client;
  EXPECT_TRUE(client.Open(7)) << client.GetResultText();
}

TEST_F(ClientTest, SecondOpenIsCode1AndKeepsTheLink) {
  StartHost();
  FSUIPC_Client client;
  ASSERT_TRUE(client.Open(7));
  EXPECT_FALSE(client.Open(7));
  EXPECT_EQ(client.GetResult(), kIpcAlreadyOpen);
  std::uint8_t version[4] = {};
  EXPECT_TRUE(client.ReadAndProcess(kOffsetFsVersion, 4, version));
  EXPECT_EQ(LoadU32(version), 0xFADE0007u);
}

TEST_F(ClientTest, MappingNameCarriesProcessIdAndCounter) {
  std::string seen;
  StartHost({}, kFs98WindowClass, [&seen](SimHost& host, std::uint32_t message, const std::string& name) {
    seen = name;
    return host.HandleMessage(message, name);
  });
  std::uint32_t before = g_IpcMappingCounter.load();
  FSUIPC_Client client;
  ASSERT_TRUE(client.Open(7));
  char expected[64];
  std::snprintf(expected, sizeof expected, "FsasmLib:IPC:%X:%X", static_cast<unsigned>(getpid()), before + 1);
  EXPECT_EQ(seen, expected);
  client.Close();
  ASSERT_TRUE(client.Open(7));  // a new name: the old object may still be in use by the server
  std::snprintf(expected, sizeof expected, "FsasmLib:IPC:%X:%X", static_cast<unsigned>(getpid()), before + 2);
  EXPECT_EQ(seen, expected);
}

#if !defined(_WIN32)
// Shared memory left behind under the next name (by a crashed process of the same id) is not
// taken over: that Open fails with 5 and the next one uses a new name.
TEST_F(ClientTest, SharedMemoryThatAlreadyExistsIsCode5) {
  StartHost();
  char name[64];
  std::snprintf(name, sizeof name, "FsasmLib:IPC:%X:%X", static_cast<unsigned>(getpid()),
                g_IpcMappingCounter.load() + 1);
  bool existed = false;
  auto stale = DefaultIpcTransport().CreateSharedMemory(name, kIpcAreaSize, &existed);
  ASSERT_TRUE(stale);
  FSUIPC_Client client;
  EXPECT_FALSE(client.Open(7));
  EXPECT_EQ(client.GetResult(), kIpcNoMapping);
  EXPECT_FALSE(client.IsOpen());
  EXPECT_TRUE(client.Open(7)) << client.GetResultText();
}
#endif

TEST_F(ClientTest, CallsOnAClosedLinkAreCode9AndAnEmptyBatchIsCode10) {
  StartHost();
  FSUIPC_Client client;
  std::uint8_t buffer[4] = {};
  EXPECT_FALSE(client.Read(0x3304, 4, buffer));
  EXPECT_EQ(client.GetResult(), kIpcNotOpen);
  EXPECT_FALSE(client.Write(0x3380, 4, buffer));
  EXPECT_EQ(client.GetResult(), kIpcNotOpen);
  EXPECT_FALSE(client.Process());
  EXPECT_EQ(client.GetResult(), kIpcNotOpen);
  ASSERT_TRUE(client.Open(7));
  EXPECT_FALSE(client.Process());
  EXPECT_EQ(client.GetResult(), kIpcNothingQueued);
}

TEST_F(ClientTest, BatchLimitLeavesTheBatchUnchanged) {
  StartHost();
  FSUIPC_Client client;
  ASSERT_TRUE(client.Open(7));
  std::vector<std::uint8_t> big(0x8000, 0xAA);
  // Read header 16 + terminator 4; write header 12 + terminator 4.
  EXPECT_FALSE(client.Read(0, 0x7EED, big.data()));
  EXPECT_EQ(client.GetResult(), kIpcBatchFull);
  EXPECT_FALSE(client.Write(0x4000, 0x7EF1, big.data()));
  EXPECT_EQ(client.GetResult(), kIpcBatchFull);
  // Nothing was queued by the refused requests: the largest read still fits and is answered.
  ASSERT_TRUE(client.Read(0, 0x7EEC, big.data()));
  EXPECT_FALSE(client.Read(0x3304, 0, nullptr));
  EXPECT_EQ(client.GetResult(), kIpcBatchFull);
  ASSERT_TRUE(client.Process()) << client.GetResultText();
  EXPECT_EQ(LoadU32(&big[kOffsetFsVersion]), 0xFADE0007u);
  EXPECT_EQ(big[0x7EEC], 0xAA);  // one past the read: untouched

  ASSERT_TRUE(client.Write(0x4000, 0x7EF0, big.data()));
  EXPECT_TRUE(client.Process());
  // With one request queued, the limit counts what is there.
  ASSERT_TRUE(client.Read(0x3304, 4, nullptr));
  EXPECT_FALSE(client.Read(0, 0x7EEC - 20 + 1, big.data()));
  EXPECT_TRUE(client.Read(0, 0x7EEC - 20, big.data()));
  EXPECT_TRUE(client.Process());
}

TEST_F(ClientTest, BatchAsTheSimulatorSeesIt) {
  std::vector<std::uint8_t> seen;
  StartHost({}, kFs98WindowClass, [&seen](SimHost& host, std::uint32_t message, const std::string& name) {
    if (auto memory = OpenIpcSharedMemory(name, kIpcAreaSize)) {
      std::uint8_t* area = memory->Map();
      seen.assign(area, area + 64);
    }
    return host.HandleMessage(message, name);
  });
  FSUIPC_Client client;
  ASSERT_TRUE(client.Open(7));
  std::uint8_t latitude[4];
  ASSERT_TRUE(client.Read(0x0564, 4, latitude));
  ASSERT_TRUE(client.Read(0x056C, 4, nullptr));
  ASSERT_TRUE(client.Write(0x3380, 3, "abc"));
  ASSERT_TRUE(client.Process());
  const std::vector<std::uint8_t> expected = {
      1, 0, 0, 0, 0x64, 0x05, 0, 0, 4, 0, 0, 0, 1,   0,   0,   0, 0, 0, 0, 0,  // read, destination #1
      1, 0, 0, 0, 0x6C, 0x05, 0, 0, 4, 0, 0, 0, 0,   0,   0,   0, 0, 0, 0, 0,  // read, no destination
      2, 0, 0, 0, 0x80, 0x33, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c', 0, 0, 0, 0      // write, then the end
  };
  ASSERT_GE(seen.size(), expected.size());
  EXPECT_EQ(std::vector<std::uint8_t>(seen.begin(), seen.begin() + expected.size()), expected);
}

TEST_F(ClientTest, ReadsAreDeliveredInRecordOrderAndNullDestinationsSkipped) {
  SimHostOptions options;
  options.m_Latitude = 51.5;
  options.m_Longitude = -0.25;
  StartHost(options);
  FSUIPC_Client client;
  ASSERT_TRUE(client.Open(7));
  std::uint8_t lat[4] = {}, lon[4] = {}, version[4] = {};
  ASSERT_TRUE(client.Read(0x0564, 4, lat));
  ASSERT_TRUE(client.Read(0x3304, 4, nullptr));
  ASSERT_TRUE(client.Read(0x056C, 4, lon));
  ASSERT_TRUE(client.Read(0x3304, 0, version));
  ASSERT_TRUE(client.Read(0x3308, 4, version));
  ASSERT_TRUE(client.Process());
  EXPECT_NEAR(LoadI32(lat) * 8.998425275576774e-6, 51.5, 1e-5);
  EXPECT_NEAR(LoadI32(lon) * 8.381903171539307e-8, -0.25, 1e-6);
  EXPECT_EQ(LoadU32(version), 0xFADE0007u);
}

// The answer area is written by the other process: whatever it holds, nothing is copied outside
// the area or past a destination, and reads before the damage are delivered.
TEST_F(ClientTest, DamagedAnswersNeverSteerACopy) {
  struct Damage {
    const char* name;
    std::size_t at;  // byte offset in the area of the 32-bit value to overwrite
    std::uint32_t value;
  };
  // Records: read 0x3304 (4) at 0, read 0x3308 (4) at 20, read 0x0564 (4) at 40, end at 60.
  const Damage damages[] = {
      {"unknown kind ends the walk", 20, 7}, {"size beyond the area", 28, 0x7FFFFFFF},
      {"size larger than requested", 28, 8}, {"size smaller than requested", 28, 2},
      {"read turned into a write", 20, 2},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    StartHost({}, kFs98WindowClass, [&](SimHost& host, std::uint32_t message, const std::string& name) {
      std::intptr_t result = host.HandleMessage(message, name);
      auto memory = OpenIpcSharedMemory(name, kIpcAreaSize);
      if (memory && host.RequestCount() > 1) StoreU32(memory->Map() + damage.at, damage.value);
      return result;
    });
    FSUIPC_Client client;
    ASSERT_TRUE(client.Open(7));
    std::array<std::uint8_t, 8> first{}, second{}, third{};
    second.fill(0xEE);
    third.fill(0xEE);
    ASSERT_TRUE(client.Read(0x3304, 4, first.data()));
    ASSERT_TRUE(client.Read(0x3308, 4, second.data()));
    ASSERT_TRUE(client.Read(0x0564, 4, third.data()));
    EXPECT_TRUE(client.Process());
    EXPECT_EQ(client.GetResult(), kIpcOk);
    EXPECT_EQ(LoadU32(first.data()), 0x39990000u);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(second[i], 0xEE) << i;
    for (int i = 0; i < 8; ++i) EXPECT_EQ(third[i], 0xEE) << i;
  }
}

TEST_F(ClientTest, SendFailuresGiveTheirCodes) {
  struct Case {
    const char* name;
    SimHostFaults faults;
    std::int32_t code;
    std::uint32_t sendTimeoutMs;  // for the failing request; the handshake keeps the fixture's
  };
  SimHostFaults late;
  late.m_AnswerDelayMs = 60;
  late.m_FromRequest = 2;
  SimHostFaults bad;
  bad.m_BadData = true;
  bad.m_FromRequest = 2;
  SimHostFaults gone;
  gone.m_ExitAfter = 1;
  // Only the late answer needs a time-out shorter than its delay: a short one for the handshake
  // or for a prompt answer fails on a loaded machine before any fault is reached.
  const Case cases[] = {
      {"answers later than the time-out", late, kIpcTimedOut, 20},
      {"answers bad data", bad, kIpcBadData, 0},
      {"never answers again", gone, kIpcTimedOut, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimHostOptions options;
    options.m_Faults = c.faults;
    StartHost(options);
    FSUIPC_Client client;
    ASSERT_TRUE(client.Open(7)) << client.GetResultText();
    std::optional<FastLinkTimings> timings;
    if (c.sendTimeoutMs) timings.emplace(c.sendTimeoutMs);
    std::uint8_t value[4];
    EXPECT_FALSE(client.ReadAndProcess(0x3304, 4, value));
    EXPECT_EQ(client.GetResult(), c.code);
    EXPECT_TRUE(client.IsOpen());  // a failed Process leaves the link open
    // The batch was consumed: nothing is left to send.
    EXPECT_FALSE(client.Process());
    EXPECT_EQ(client.GetResult(), kIpcNothingQueued);
  }
}

TEST_F(ClientTest, ServerThatHasGoneIsCode12) {
  StartHost();
  FSUIPC_Client client;
  ASSERT_TRUE(client.Open(7));
  StopHost();
  std::uint8_t value[4];
  EXPECT_FALSE(client.ReadAndProcess(0x3304, 4, value));
  EXPECT_EQ(client.GetResult(), kIpcSendFailed);
  EXPECT_EQ(client.GetResultText(), "IPC sendmessage failed all retries");
  client.Close();
  EXPECT_FALSE(client.Open(7));
  EXPECT_EQ(client.GetResult(), kIpcNoSimulator);
}

#if !defined(_WIN32)
// A frozen simulator: its socket is there but nothing accepts and the queue of waiting
// connections is full. A send then times out (11) instead of holding its caller for good.
TEST_F(ClientTest, ASimulatorThatStoppedAcceptingTimesOut) {
  using namespace std::chrono_literals;
  StartHost();
  FSUIPC_Client client;
  ASSERT_TRUE(client.Open(7));
  StopHost();
  const std::string path = IpcDirectory() + "/" + kFs98WindowClass + ".sock";
  int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  std::vector<int> waiting;  // connections nobody accepts, until the queue is full
  for (int i = 0; i < 64; ++i) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    waiting.push_back(fd);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) break;
  }
  auto send = std::async(std::launch::async, [&client] {
    std::uint8_t value[4];
    return client.ReadAndProcess(0x3304, 4, value);
  });
  auto open = std::async(std::launch::async, [] {
    FSUIPC_Client other;
    bool opened = other.Open(7);
    return std::pair(opened, other.GetResult());
  });
  // Nine sends of 200 ms each, and a 2 s look for the window; far less than this.
  const bool sendReturned = send.wait_for(15s) == std::future_status::ready;
  const bool openReturned = open.wait_for(15s) == std::future_status::ready;
  for (int fd : waiting) ::close(fd);
  ::close(listener);  // frees a connect still waiting, so the test ends either way
  ::unlink(path.c_str());
  ASSERT_TRUE(sendReturned);
  ASSERT_TRUE(openReturned);
  EXPECT_FALSE(send.get());
  EXPECT_EQ(client.GetResult(), kIpcTimedOut);
  // A frozen window is still found, as on Windows; its handshake times out.
  EXPECT_EQ(open.get(), std::pair(false, std::int32_t{kIpcTimedOut}));
}

// A peer that shrinks the shared area must not bring this process down with a bus error: the
// link is closed instead, during an answer (13) or between two batches (9).
TEST_F(ClientTest, APeerThatShrinksTheAreaClosesTheLink) {
  auto shrink = [](const std::string& name) {
    int fd = ::shm_open(PosixSharedMemoryName(name).c_str(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::ftruncate(fd, 0), 0);
    ::close(fd);
  };
  for (bool whileAnswering : {true, false}) {
    SCOPED_TRACE(whileAnswering ? "while answering" : "between batches");
    StartHost({}, kFs98WindowClass, [&](SimHost& host, std::uint32_t message, const std::string& name) {
      std::intptr_t result = host.HandleMessage(message, name);
      if (whileAnswering && host.RequestCount() > 1) shrink(name);
      return result;
    });
    FSUIPC_Client client;
    ASSERT_TRUE(client.Open(7));
    std::uint8_t value[4];
    if (whileAnswering) {
      EXPECT_FALSE(client.ReadAndProcess(0x3304, 4, value));
      EXPECT_EQ(client.GetResult(), kIpcBadData);
    } else {
      char name[64];
      std::snprintf(name, sizeof name, "FsasmLib:IPC:%X:%X", static_cast<unsigned>(::getpid()),
                    static_cast<unsigned>(g_IpcMappingCounter.load()));
      shrink(name);
    }
    EXPECT_FALSE(client.Read(0x3304, 4, value));
    EXPECT_EQ(client.GetResult(), kIpcNotOpen);
    EXPECT_FALSE(client.IsOpen());
  }
}
#endif

TEST_F(ClientTest, FailedHandshakeClosesWithTheFailingCode) {
  SimHostOptions options;
  options.m_Faults.m_BadData = true;
  StartHost(options);
  FSUIPC_Client client;
  EXPECT_FALSE(client.Open(7));
  EXPECT_EQ(client.GetResult(), kIpcBadData);
  EXPECT_FALSE(client.IsOpen());
}

TEST_F(ClientTest, ThreadsShareOneClient) {
  StartHost();
  FSUIPC_Client client;
  ASSERT_TRUE(client.Open(7));
  auto work = [&client] {
    for (int i = 0; i < 50; ++i) {
      std::uint8_t version[4] = {};
      EXPECT_TRUE(client.ReadAndProcess(0x3308, 4, version));
      EXPECT_EQ(LoadU32(version), 0xFADE0007u);
      EXPECT_GE(client.GetResult(), 0);
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
}

// The batch codec on its own, against the bytes both ends agree on.
TEST(IpcBatch, WriterLaysOutTheRecordsByteForByte) {
  std::vector<std::uint8_t> area(kIpcAreaSize, 0xAA);
  IpcBatchWriter batch(area.data());
  EXPECT_FALSE(batch.Finish());  // nothing added: nothing written
  EXPECT_EQ(area[0], 0xAA);
  ASSERT_TRUE(batch.AddRead(0x0564, 4, 1));
  ASSERT_TRUE(batch.AddRead(0x056C, 4, 0));
  ASSERT_TRUE(batch.AddWrite(0x3380, 3, "abc"));
  ASSERT_TRUE(batch.AddWrite(0x3390, 2, nullptr));
  EXPECT_EQ(batch.Used(), 69u);
  ASSERT_TRUE(batch.Finish());
  EXPECT_EQ(batch.Used(), 0u);
  const std::vector<std::uint8_t> expected = {
      1, 0, 0, 0, 0x64, 0x05, 0, 0, 4, 0, 0, 0, 1,   0,   0,   0, 0, 0, 0, 0,  // read #1, data zeroed
      1, 0, 0, 0, 0x6C, 0x05, 0, 0, 4, 0, 0, 0, 0,   0,   0,   0, 0, 0, 0, 0,  // read, no destination
      2, 0, 0, 0, 0x80, 0x33, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c',                 // write
      2, 0, 0, 0, 0x90, 0x33, 0, 0, 2, 0, 0, 0, 0,   0,                        // write of zeros
      0, 0, 0, 0, 0xAA                                                         // end; nothing after it
  };
  EXPECT_EQ(std::vector<std::uint8_t>(area.begin(), area.begin() + expected.size()), expected);
  // The next batch starts again at the area start.
  ASSERT_TRUE(batch.AddWrite(0x0000, 1, "z"));
  ASSERT_TRUE(batch.Finish());
  const std::vector<std::uint8_t> next = {2, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 'z', 0, 0, 0, 0};
  EXPECT_EQ(std::vector<std::uint8_t>(area.begin(), area.begin() + next.size()), next);
}

TEST(IpcBatch, TheLimitCountsTheRecordTheEndMarkerAndWhatIsThere) {
  struct Case {
    const char* name;
    std::uint32_t queuedRead;  // size of a read added first (0: none)
    bool isRead;
    std::uint32_t size;
    bool fits;
  };
  // Read header 16 + end 4, write header 12 + end 4, against 0x7F00.
  const Case cases[] = {
      {"largest read", 0, true, 0x7EEC, true},
      {"one byte more", 0, true, 0x7EED, false},
      {"largest write", 0, false, 0x7EF0, true},
      {"write one byte more", 0, false, 0x7EF1, false},
      {"after a read of 4", 4, true, 0x7EEC - 20, true},
      {"after a read of 4, one more", 4, true, 0x7EEC - 20 + 1, false},
      {"a size near 2^32 does not wrap", 0, true, 0xFFFFFFF0u, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> area(kIpcAreaSize, 0xAA);
    IpcBatchWriter batch(area.data());
    if (c.queuedRead) {
      ASSERT_TRUE(batch.AddRead(0x3304, c.queuedRead, 0));
    }
    const std::size_t before = batch.Used();
    const std::vector<std::uint8_t> bytesBefore = area;
    const bool added = c.isRead ? batch.AddRead(0, c.size, 0) : batch.AddWrite(0, c.size, nullptr);
    EXPECT_EQ(added, c.fits);
    if (!added) {
      EXPECT_EQ(batch.Used(), before);
      EXPECT_TRUE(area == bytesBefore);
    }
  }
}

TEST(IpcBatch, WalkerStopsAtTheFirstRecordThatDoesNotFit) {
  struct Case {
    const char* name;
    std::vector<std::uint32_t> words;  // the area, as 32-bit words
    std::size_t size;                  // bytes of the area the walker may see
    int records;                       // whole records before the walk ends
    IpcStep last;
    std::size_t lastAt;  // Position() when the walk ended
  };
  const Case cases[] = {
      {"read, write, end", {1, 0x3304, 4, 7, 0xFADE, 2, 0x3380, 4, 0x61626364, 0}, 40, 2, IpcStep::kEnd, 36},
      {"empty read", {1, 0x3304, 0, 0, 0}, 20, 1, IpcStep::kEnd, 16},
      {"unknown kind", {1, 0x3304, 0, 0, 9, 0x3304, 4}, 0x100, 1, IpcStep::kUnknownKind, 16},
      {"size past the area", {1, 0, 0x7FFFFFF0, 0}, kIpcAreaSize, 0, IpcStep::kCut, 0},
      {"data one byte past the area", {2, 0, 5, 0}, 16, 0, IpcStep::kCut, 0},
      {"read header cut by the end", {1, 0x3304, 4}, 12, 0, IpcStep::kCut, 0},
      {"write header cut by the end", {2, 0x3380}, 8, 0, IpcStep::kCut, 0},
      {"no room for the kind", {1, 0x3304, 0, 0}, 18, 1, IpcStep::kCut, 16},
      {"no end marker", {2, 0x3380, 4, 1}, 16, 1, IpcStep::kCut, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> area(std::max(c.size, c.words.size() * 4), 0);
    for (std::size_t i = 0; i < c.words.size(); ++i) StoreU32(&area[i * 4], c.words[i]);
    IpcBatchWalker walker(area.data(), c.size);
    IpcRecord record;
    int records = 0;
    IpcStep step;
    while ((step = walker.Next(&record)) == IpcStep::kRecord) {
      ++records;
      ASSERT_LE(record.data + record.size, area.data() + c.size);
    }
    EXPECT_EQ(records, c.records);
    EXPECT_EQ(step, c.last);
    EXPECT_EQ(walker.Position(), c.lastAt);
    EXPECT_EQ(walker.Next(&record), c.last);  // the walk stays over
  }
  // The fields of a record as the walker hands them over.
  std::vector<std::uint8_t> area(40, 0);
  const std::uint32_t words[] = {1, 0x3304, 4, 7, 0xFADE, 2, 0x3380, 4, 0x61626364, 0};
  for (std::size_t i = 0; i < std::size(words); ++i) StoreU32(&area[i * 4], words[i]);
  IpcBatchWalker walker(area.data(), area.size());
  IpcRecord read, write;
  ASSERT_EQ(walker.Next(&read), IpcStep::kRecord);
  ASSERT_EQ(walker.Next(&write), IpcStep::kRecord);
  EXPECT_EQ(read.kind, kRecordRead);
  EXPECT_EQ(read.offset, 0x3304u);
  EXPECT_EQ(read.size, 4u);
  EXPECT_EQ(read.destination, 7u);
  EXPECT_EQ(read.data, &area[16]);
  EXPECT_EQ(write.kind, kRecordWrite);
  EXPECT_EQ(write.offset, 0x3380u);
  EXPECT_EQ(write.destination, 0u);
  EXPECT_EQ(write.data, &area[32]);
}

TEST(ClientResultText, EveryCodeHasItsText) {
  const std::pair<std::int32_t, const char*> texts[] = {
      {0, "Okay"},
      {1, "Attempt to Open when already Open"},
      {2, "Cannot link to FSUIPC or WideClient"},
      {3, "Failed to Register common message with Windows"},
      {4, "Failed to create Atom for mapping filename"},
      {5, "Failed to create a file mapping object"},
      {6, "Failed to open a view to the file map"},
      {7, "Incorrect version of FSUIPC, or not FSUIPC"},
      {8, "Flight Simulator is not version requested"},
      {9, "Call cannot execute: Link not Open"},
      {10, "Call cannot execute: No requests accumulated"},
      {11, "IPC timed out all retries"},
      {12, "IPC sendmessage failed all retries"},
      {13, "IPC request contains bad data"},
      {14, "Maybe running on WideClient, but FS not running on Server, or wrong FSUIPC"},
      {15, "Read or Write request cannot be added, memory for Process is full"},
      {16, "Unknown error"},
      {-1, "Unknown error"},
  };
  for (const auto& [code, text] : texts) EXPECT_EQ(FSUIPC_Client::ResultText(code), text) << code;
}

}  // namespace
}  // namespace altivane::test
