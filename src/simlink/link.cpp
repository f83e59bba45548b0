#include "simlink/link.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "base/bytes.h"
#include "base/sleep.h"
#include "base/random.h"

LinkSlot g_Link;

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

// Waits for the simulator to take a weather command: at most 1 + kAckPolls reads. A failed read
// ends the wait, since every further read of a lost link would cost a full time-out.
bool WaitForAck(const std::shared_ptr<FSUIPC_Client>& client, bool sleepBetween, LinkFailures& failures) {
  std::uint32_t ack = 0;
  if (!ReadWeatherAck(client, &ack, failures)) return false;
  for (int poll = 0; ack == 0 && poll < kAckPolls; ++poll) {
    if (!ReadWeatherAck(client, &ack, failures)) return false;
    if (sleepBetween) SleepMs(1);
  }
  return true;
}

}  // namespace

bool ReadWeatherAck(const std::shared_ptr<FSUIPC_Client>& client, std::uint32_t* value, LinkFailures& failures) {
  std::uint8_t bytes[4] = {};
  if (!client->ReadAndProcess(kOffsetWeatherAck, 4, bytes)) {
    failures.AckReadFailed(client);
    return false;
  }
  *value = LoadU32(bytes);
  return true;
}

bool SendSimulatorMessage(const std::shared_ptr<FSUIPC_Client>& client, const std::string& text,
                          LinkFailures& failures) {
  // A longer text is cut so that the terminator still fits.
  std::uint8_t message[kMessageTextSize] = {};
  std::memcpy(message, text.data(), std::min<std::size_t>(text.size(), kMessageTextSize - 1));
  if (!client->Write(kOffsetMessageText, kMessageTextSize, message)) {
    failures.Failed();
    return false;
  }
  std::uint8_t control[2];
  StoreI16(control, kMessageShow);
  if (!client->WriteAndProcess(kOffsetMessageControl, 2, control)) {
    failures.Failed();
    return false;
  }
  return true;
}

bool SendWeatherBlock(const std::shared_ptr<FSUIPC_Client>& client, WeatherBlockBytes block, std::uint32_t mode,
                      LinkFailures& failures) {
  bool ok = true;
  // Every failure is handed on where it happens; the sequence goes on regardless.
  auto check = [&](bool done) {
    if (!done) {
      ok = false;
      failures.Failed();
    }
  };
  std::uint8_t* bytes = block.data();
  StoreU32(bytes + WeatherBlockOffset::kAcknowledge, 0);
  StoreU16(bytes + WeatherBlockOffset::kCommand, static_cast<std::uint16_t>(mode));

  if (mode == kWriteSetPending) {
    check(client->WriteAndProcess(kOffsetWeatherWrite, kWeatherBlockSize, bytes));
  } else if (mode == kWriteRefresh) {
    StoreU32(bytes + WeatherBlockOffset::kSignature, static_cast<std::uint32_t>(NextRandom()));
    check(client->WriteAndProcess(kOffsetWeatherRequest, 8, bytes + WeatherBlockOffset::kSignature));
    std::uint32_t reference = 0;
    check(ReadWeatherAck(client, &reference, failures));
    for (int poll = 0; poll < kRefreshChangePolls; ++poll) {
      std::uint32_t now = 0;
      bool read = ReadWeatherAck(client, &now, failures);
      SleepMs(1);
      if (!read) ok = false;
      if (!read || now != reference) break;
    }
    check(client->ReadAndProcess(kOffsetWeatherRead, kWeatherBlockSize, bytes));
    StoreU16(bytes + WeatherBlockOffset::kCommand, static_cast<std::uint16_t>(kWriteSetPending));
    check(client->WriteAndProcess(kOffsetWeatherWrite, kWeatherBlockSize, bytes));
  }
  if (!WaitForAck(client, true, failures)) ok = false;
  return ok;
}

bool SendWeatherClear(const std::shared_ptr<FSUIPC_Client>& client, LinkFailures& failures) {
  bool ok = true;
  WeatherBlockBytes clear{};
  StoreU16(clear.data() + WeatherBlockOffset::kCommand, kWeatherClear);
  if (!client->Write(kOffsetWeatherWrite, kWeatherBlockSize, clear.data())) {
    ok = false;
    failures.Failed();
  }
  // The first read also sends the queued block; then up to 240 reads in all, without pause.
  std::uint32_t ack = 0;
  for (int read = 0; read < kAckPolls && ack == 0; ++read) {
    if (!ReadWeatherAck(client, &ack, failures)) {
      ok = false;
      break;
    }
  }
  return ok;
}
