// Round trip of one Process over the IPC transport: the client's batch goes to the simulator
// stand-in (served in this process on its own thread, as simhost serves it) and back.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/ipc_transport.h"
#include "simhost_core.h"
#include "simlink/link.h"
#include "simlink/fsuipc_client.h"

namespace {

class Served {
 public:
  Served() {
    char pattern[] = "/tmp/altivane-bench-XXXXXX";
    if (const char* dir = ::mkdtemp(pattern)) m_Dir = dir;
    ::setenv("ALTIVANE_IPC_DIR", m_Dir.c_str(), 1);
    m_Server = CreateIpcServer();
    std::string error;
    m_Started = m_Server->Start(
        kFs98WindowClass,
        [this](std::uint32_t message, const std::string& name) { return m_Host.HandleMessage(message, name); }, &error);
    m_Open = m_Started && m_Client.Open(kRequestedFsVersion);
  }
  ~Served() {
    m_Client.Close();
    m_Server->Stop();
    std::error_code ec;
    std::filesystem::remove_all(m_Dir, ec);
  }
  bool Ready() const { return m_Open; }
  FSUIPC_Client& Client() { return m_Client; }

 private:
  std::string m_Dir;
  SimHost m_Host{SimHostOptions{}};
  std::unique_ptr<IpcServer> m_Server;
  FSUIPC_Client m_Client;
  bool m_Started = false;
  bool m_Open = false;
};

Served& Link() {
  static Served served;
  return served;
}

void BM_ProcessPositionRead(benchmark::State& state) {
  if (!Link().Ready()) {
    state.SkipWithError("the simulator stand-in could not be served");
    return;
  }
  std::uint8_t lat[4], lon[4];
  for (auto _ : state) {
    FSUIPC_Client& client = Link().Client();
    bool ok = client.Read(kOffsetAircraftLatitude, 4, lat) && client.ReadAndProcess(kOffsetAircraftLongitude, 4, lon);
    if (!ok) state.SkipWithError("Process failed");
    benchmark::DoNotOptimize(lat);
  }
}
BENCHMARK(BM_ProcessPositionRead)->UseRealTime();

void BM_ProcessWeatherBlockWrite(benchmark::State& state) {
  if (!Link().Ready()) {
    state.SkipWithError("the simulator stand-in could not be served");
    return;
  }
  WeatherBlockBytes block{};
  block[0] = 0x01;
  block[1] = 0x01;
  block[8] = 'E';
  for (auto _ : state) {
    if (!Link().Client().WriteAndProcess(kOffsetWeatherWrite, kWeatherBlockSize, block.data()))
      state.SkipWithError("Process failed");
  }
}
BENCHMARK(BM_ProcessWeatherBlockWrite)->UseRealTime();

}  // namespace
