#pragma once
// A simulator stand-in served in this process on a private IPC folder, with the link's waits
// shortened, and the process-wide link state put back afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cycle/run_state.h"
#include "platform/ipc_transport.h"
#include "simhost_core.h"
#include "cycle/connection.h"
#include "simlink/fsuipc_client.h"
#include "support/recording_controls.h"
#include "support/test_data.h"

namespace altivane::test {

// Shortens the link's time-outs and sleeps for one test; restores them at the end.
class FastLinkTimings {
 public:
  explicit FastLinkTimings(std::uint32_t sendTimeoutMs = 200, std::uint32_t retrySleepMs = 1,
                           std::uint32_t handshakeSleepMs = 1, std::uint32_t connectRetryMs = 1)
      : m_Send(g_IpcTimings.m_SendTimeoutMs.exchange(sendTimeoutMs)),
        m_Retry(g_IpcTimings.m_SendRetrySleepMs.exchange(retrySleepMs)),
        m_Handshake(g_IpcTimings.m_HandshakeSleepMs.exchange(handshakeSleepMs)),
        m_Connect(g_ConnectRetryIntervalMs.exchange(connectRetryMs)) {}
  ~FastLinkTimings() {
    g_IpcTimings.m_SendTimeoutMs = m_Send;
    g_IpcTimings.m_SendRetrySleepMs = m_Retry;
    g_IpcTimings.m_HandshakeSleepMs = m_Handshake;
    g_ConnectRetryIntervalMs = m_Connect;
  }

 private:
  std::uint32_t m_Send, m_Retry, m_Handshake, m_Connect;
};

// The IPC folder of the posix stand-in; a Windows build finds windows without it.
inline void SetIpcDirectory(const std::string& dir) {
#if defined(_WIN32)
  ::_putenv_s("ALTIVANE_IPC_DIR", dir.c_str());
#else
  if (dir.empty())
    ::unsetenv("ALTIVANE_IPC_DIR");
  else
    ::setenv("ALTIVANE_IPC_DIR", dir.c_str(), 1);
#endif
}

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetIpcDirectory(m_Dir.Path().string());
    g_Link.Set(nullptr);
    g_RunState = kRunStopped;
  }
  void TearDown() override {
    g_Link.Set(nullptr);
    g_RunState = kRunStopped;
    StopHost();
    SetIpcDirectory("");
  }

  // Serves a fresh stand-in under the class; `wrap` may look at or alter each answer.
  using Wrap = std::function<std::intptr_t(SimHost&, std::uint32_t, const std::string&)>;
  SimHost& StartHost(SimHostOptions options = {}, const std::string& className = kFs98WindowClass,
                     Wrap wrap = nullptr) {
    StopHost();
    m_Host = std::make_unique<SimHost>(std::move(options));
    m_Server = CreateIpcServer();
    std::string error;
    SimHost* host = m_Host.get();
    bool started = m_Server->Start(
        className,
        [host, wrap](std::uint32_t message, const std::string& name) {
          return wrap ? wrap(*host, message, name) : host->HandleMessage(message, name);
        },
        &error);
    EXPECT_TRUE(started) << error;
    return *m_Host;
  }
  void StopHost() {
    if (m_Host) m_Host->Release();
    if (m_Server) m_Server->Stop();
    m_Server.reset();
  }
  SimHost& Host() { return *m_Host; }

  TempDir m_Dir;
  FastLinkTimings m_Timings;
  std::unique_ptr<SimHost> m_Host;
  std::unique_ptr<IpcServer> m_Server;
};

}  // namespace altivane::test
