#include "cycle/connection.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "base/sleep.h"
#include "cycle/run_state.h"
#include "platform/controls.h"
#include "stations/metar_stations.h"

std::atomic<std::uint32_t> g_ConnectRetryIntervalMs{1000};

namespace {

// Messages of a lower level are not shown in the simulator.
std::atomic<std::int32_t> g_MessageThreshold{kDefaultMessageThreshold};

// The wait between two connection attempts: $ALTIVANE_CONNECT_RETRY_MS (1 to 1000) when set,
// so that trials and tests can see the give-up in seconds; else g_ConnectRetryIntervalMs.
std::uint32_t ConnectRetryIntervalMs() {
  if (const char* text = std::getenv("ALTIVANE_CONNECT_RETRY_MS"); text && *text) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (*end == '\0' && value >= 1 && value <= 1000) return static_cast<std::uint32_t>(value);
  }
  return g_ConnectRetryIntervalMs;
}

// A link that timed out or lost its simulator (11, 12) while the run is being stopped is dropped
// at once: nothing is reported then, and every further operation on it would cost the full
// time-out again, holding up the stop.
void DropLostLinkWhenStopping(const std::shared_ptr<FSUIPC_Client>& client) {
  const std::int32_t code = client->GetResult();
  if ((code == kIpcTimedOut || code == kIpcSendFailed) && StopRequested()) g_Link.ClearIf(client);
}

void GiveUpLink(const std::shared_ptr<FSUIPC_Client>& client) {
  g_Link.ClearIf(client);
  EnableStartButton(true);
  EnableEndButton(false);
  StopUpdateCycle();
}

// The run's answer to a failed operation of the writes: it is reported, and a failed read of
// the acknowledgement drops a lost link while the run is being stopped.
class RunLinkFailures final : public LinkFailures {
 public:
  void Failed() override { ReportLinkError(); }
  void AckReadFailed(const std::shared_ptr<FSUIPC_Client>& client) override { DropLostLinkWhenStopping(client); }
};

}  // namespace

void ConnectSimulator() {
  if (auto link = g_Link.Get()) {
    if (!link->IsOpen()) {
      // Never opened (the simulator was not there when "Start" looked): replaced, and the
      // wait below is the run's own.
      g_Link.ClearIf(link);
    } else if (link->GetResult() == kIpcOk) {
      return;
    } else {
      // Open, but its last operation failed: the link is lost and the run ends.
      GiveUpLink(link);
    }
  }
  auto client = std::make_shared<FSUIPC_Client>();
  SetLinkCloser(&DisconnectSimulator);  // a stop closes the link it finds
  g_Link.Set(client);
  bool open = client->Open(kRequestedFsVersion);
  int retries = 0;
  const std::uint32_t retryIntervalMs = ConnectRetryIntervalMs();
  while (!open && !StopRequested() && retries < kConnectRetries) {
    SleepMs(retryIntervalMs);
    open = client->Open(kRequestedFsVersion);
    ++retries;
  }
  if (!open && retries > kConnectGiveUpMessageAfter) {
    GiveUpLink(client);
    SetStatusText("Please start FS2004!");
  }
}

void DisconnectSimulator() {
  auto link = g_Link.Get();
  if (!link) return;
  const std::uint8_t zero = 0;
  if (!link->Write(kOffsetDisconnect1, 1, &zero)) ReportLinkError();
  if (!link->WriteAndProcess(kOffsetDisconnect2, 1, &zero)) ReportLinkError();
  g_Link.ClearIf(link);
  link->Close();
}

void ReportLinkError() {
  auto link = g_Link.Get();
  if (!link) return;
  std::int32_t code = link->GetResult();
  if (code == kIpcOk) return;
  if (StopRequested()) {
    DropLostLinkWhenStopping(link);
    return;
  }
  SetStatusText(FSUIPC_Client::ResultText(code));
  switch (code) {
    case kIpcNoSimulator:
    case kIpcNotOpen:
      EnableStartButton(true);
      EnableEndButton(false);
      StopUpdateCycle();
      break;
    case kIpcTimedOut:
    case kIpcSendFailed: ConnectSimulator(); break;
    default: break;
  }
}

void ShowSimulatorMessage(const std::string& text, std::int32_t level) {
  auto link = g_Link.Get();
  if (!link || level < g_MessageThreshold) return;
  RunLinkFailures failures;
  SendSimulatorMessage(link, text, failures);
}

void WriteWeatherBlock(WeatherBlockBytes block, std::uint32_t mode) {
  auto link = g_Link.Get();
  if (!link) return;
  RunLinkFailures failures;
  SendWeatherBlock(link, block, mode, failures);
}

void PrepareWeatherRun() {
  ConnectSimulator();
  if (auto link = g_Link.Get()) {
    RunLinkFailures failures;
    SendWeatherClear(link, failures);
  }
  if (METAR_Stations* stations = g_pStations.load())
    for (METAR_Station* station : stations->m_SimStations) station->m_State = kStateToSend;
}
