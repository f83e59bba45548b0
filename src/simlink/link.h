#pragma once
// The link: the one FSUIPC client of the process, the offsets used on it and the writes on it.
// A write says whether every operation succeeded; what a failure leads to (reporting it,
// reconnecting, giving the link up) is the run's business (cycle/connection.h).
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "simlink/fsuipc_client.h"
#include "stations/weather_block_layout.h"

// Offsets of the simulator's interface that this program uses.
inline constexpr std::uint32_t kOffsetAircraftLatitude = 0x0564;
inline constexpr std::uint32_t kOffsetAircraftLongitude = 0x056C;
inline constexpr std::uint32_t kOffsetMessageText = 0x3380;
inline constexpr std::uint32_t kMessageTextSize = 128;
inline constexpr std::uint32_t kOffsetMessageControl = 0x32FA;
inline constexpr std::int16_t kMessageShow = -15;
inline constexpr std::uint32_t kOffsetWeatherWrite = 0xC800;
inline constexpr std::uint32_t kOffsetWeatherAck = 0xC824;
inline constexpr std::uint32_t kOffsetWeatherRead = 0xCC00;
inline constexpr std::uint32_t kOffsetWeatherRequest = 0xCC04;
inline constexpr std::uint32_t kOffsetDisconnect1 = 0x04DE;
inline constexpr std::uint32_t kOffsetDisconnect2 = 0x04DF;

// Weather commands (first 16 bits written at 0xC800) and the writer's modes.
inline constexpr std::uint16_t kWeatherClear = 3;
inline constexpr std::uint16_t kWeatherApply = 0x0100;     // written alone: pending blocks take effect
inline constexpr std::uint32_t kWriteSetPending = 0x0101;  // send a station's block as pending
inline constexpr std::uint32_t kWriteRefresh = 5;          // send again a station set before

inline constexpr std::uint32_t kRequestedFsVersion = 7;  // FS2004
inline constexpr int kAckPolls = 240;
inline constexpr int kRefreshChangePolls = 15;

// Holder of the one client. Whoever replaces or clears it closes the old client; a thread that
// took a reference with Get() keeps a live (if closed) object, never a freed one.
class LinkSlot {
 public:
  std::shared_ptr<FSUIPC_Client> Get() const;
  void Set(std::shared_ptr<FSUIPC_Client> client);
  // Clears the slot if it still holds `expected`; true when it did.
  bool ClearIf(const std::shared_ptr<FSUIPC_Client>& expected);
  explicit operator bool() const { return Get() != nullptr; }

 private:
  mutable std::mutex m_Mutex;
  std::shared_ptr<FSUIPC_Client> m_Client;
};
extern LinkSlot g_Link;

// Where the writes below hand on a failed operation, at the moment it fails: the sequence of
// operations goes on after it as it would have without the handler.
class LinkFailures {
 public:
  // An operation failed; the client's result code says why.
  virtual void Failed() = 0;
  // A read of the acknowledgement word failed on `client` (not itself reported).
  virtual void AckReadFailed(const std::shared_ptr<FSUIPC_Client>& client) = 0;

 protected:
  ~LinkFailures() = default;
};

// Reads the acknowledgement word; false when the read failed.
bool ReadWeatherAck(const std::shared_ptr<FSUIPC_Client>& client, std::uint32_t* value, LinkFailures& failures);

// Shows a text in the simulator (cut to fit 127 characters and the terminator).
bool SendSimulatorMessage(const std::shared_ptr<FSUIPC_Client>& client, const std::string& text,
                          LinkFailures& failures);

// Sends a station's block in the given mode and waits for the acknowledgement. Takes its own
// copy of the block: the command, signature and acknowledgement set here, and the block read
// back in refresh mode, never reach the station's block.
bool SendWeatherBlock(const std::shared_ptr<FSUIPC_Client>& client, WeatherBlockBytes block, std::uint32_t mode,
                      LinkFailures& failures);

// Sends the clearing command and waits for its acknowledgement.
bool SendWeatherClear(const std::shared_ptr<FSUIPC_Client>& client, LinkFailures& failures);
