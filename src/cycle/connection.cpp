#include "cycle/connection.h"

#include <chrono>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include "cycle/run_state.h"
#include "platform/bytes.h"
#include "platform/controls.h"
#include "reports/random.h"
#include "stations/metar_stations.h"

LinkSlot g_Link;
std::atomic<std::int32_t> g_MessageThreshold{kDefaultMessageThreshold};
std::atomic<std::uint32_t> g_ConnectRetryIntervalMs{1000};

std::shared_ptr<FSUIPC_Client> LinkSlot::Get() const {
  std::lock_guard lock(m_Mutex);
  return m_Client;
}

void LinkSlot::Set(std::shared_ptr<FSUIPC_Client> client) {
  std::shared_ptr<FSUIPC_Client> old;
  {
    std::lock_guard lock(m_Mutex);
    old = std::exchange(m_Client, std::move(client));
  }
  if (old) old->Close();
}

bool LinkSlot::ClearIf(const std::shared_ptr<FSUIPC_Client>& expected) {
  std::shared_ptr<FSUIPC_Client> old;
  {
    std::lock_guard lock(m_Mutex);
    if (m_Client != expected) return false;
    old = std::move(m_Client);
    m_Client.reset();
  }
  // Close now: other threads may still hold the object, but its link is gone with the slot.
  if (old) old->Close();
  return true;
}

namespace {

void SleepMs(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

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

// Reads the acknowledgement word; false when the read failed.
bool ReadAck(const std::shared_ptr<FSUIPC_Client>& client, std::uint32_t* value) {
  std::uint8_t bytes[4] = {};
  if (!client->ReadAndProcess(kOffsetWeatherAck, 4, bytes)) {
    DropLostLinkWhenStopping(client);
    return false;
  }
  *value = LoadU32(bytes);
  return true;
}

// Waits for the simulator to take a weather command: at most 1 + kAckPolls reads. A failed read
// ends the wait, since every further read of a lost link would cost a full time-out.
void WaitForAck(const std::shared_ptr<FSUIPC_Client>& client, bool sleepBetween) {
  std::uint32_t ack = 0;
  if (!ReadAck(client, &ack)) return;
  for (int poll = 0; ack == 0 && poll < kAckPolls; ++poll) {
    if (!ReadAck(client, &ack)) return;
    if (sleepBetween) SleepMs(1);
  }
}

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
    case kIpcSendFailed:
      ConnectSimulator();
      break;
    default:
      break;
  }
}

void ShowSimulatorMessage(const std::string& text, std::int32_t level) {
  auto link = g_Link.Get();
  if (!link || level < g_MessageThreshold) return;
  // A longer text is cut so that the terminator still fits.
  std::uint8_t message[kMessageTextSize] = {};
  std::memcpy(message, text.data(), std::min<std::size_t>(text.size(), kMessageTextSize - 1));
  if (!link->Write(kOffsetMessageText, kMessageTextSize, message)) {
    ReportLinkError();
    return;
  }
  std::uint8_t control[2];
  StoreI16(control, kMessageShow);
  if (!link->WriteAndProcess(kOffsetMessageControl, 2, control)) ReportLinkError();
}

void WriteWeatherBlock(WeatherBlockBytes block, std::uint32_t mode) {
  auto link = g_Link.Get();
  if (!link) return;
  std::uint8_t* bytes = block.data();
  StoreU32(bytes + WeatherBlockOffset::kAcknowledge, 0);
  StoreU16(bytes + WeatherBlockOffset::kCommand, static_cast<std::uint16_t>(mode));

  if (mode == kWriteSetPending) {
    if (!link->WriteAndProcess(kOffsetWeatherWrite, kWeatherBlockSize, bytes)) ReportLinkError();
  } else if (mode == kWriteRefresh) {
    StoreU32(bytes + WeatherBlockOffset::kSignature, static_cast<std::uint32_t>(NextRandom()));
    if (!link->WriteAndProcess(kOffsetWeatherRequest, 8, bytes + WeatherBlockOffset::kSignature))
      ReportLinkError();
    std::uint32_t reference = 0;
    if (!ReadAck(link, &reference)) ReportLinkError();
    for (int poll = 0; poll < kRefreshChangePolls; ++poll) {
      std::uint32_t now = 0;
      bool ok = ReadAck(link, &now);
      SleepMs(1);
      if (!ok || now != reference) break;
    }
    if (!link->ReadAndProcess(kOffsetWeatherRead, kWeatherBlockSize, bytes)) ReportLinkError();
    StoreU16(bytes + WeatherBlockOffset::kCommand, static_cast<std::uint16_t>(kWriteSetPending));
    if (!link->WriteAndProcess(kOffsetWeatherWrite, kWeatherBlockSize, bytes)) ReportLinkError();
  }
  WaitForAck(link, true);
}

void PrepareWeatherRun() {
  ConnectSimulator();
  if (auto link = g_Link.Get()) {
    WeatherBlockBytes clear{};
    StoreU16(clear.data() + WeatherBlockOffset::kCommand, kWeatherClear);
    if (!link->Write(kOffsetWeatherWrite, kWeatherBlockSize, clear.data())) ReportLinkError();
    // The first read also sends the queued block; then up to 240 reads in all, without pause.
    std::uint32_t ack = 0;
    for (int read = 0; read < kAckPolls && ack == 0; ++read)
      if (!ReadAck(link, &ack)) break;
  }
  if (METAR_Stations* stations = g_pStations.load())
    for (METAR_Station* station : stations->m_SimStations) station->m_State = kStateToSend;
}
