#pragma once
// The connection layer: the one FSUIPC client of the process, connecting and waiting for the
// simulator, error reporting, messages in the simulator and the weather writes.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "simlink/fsuipc_client.h"
#include "stations/weather_block.h"

// Offsets of the simulator's interface that this layer uses.
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
inline constexpr int kConnectRetries = 120;
inline constexpr int kConnectGiveUpMessageAfter = 110;
inline constexpr int kAckPolls = 240;
inline constexpr int kRefreshChangePolls = 15;
inline constexpr std::int32_t kDefaultMessageThreshold = 4;

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

// Messages of a lower level are not shown in the simulator.
extern std::atomic<std::int32_t> g_MessageThreshold;
// Wait between two connection attempts; fixed at 1000 ms in the program, tests shorten it.
extern std::atomic<std::uint32_t> g_ConnectRetryIntervalMs;

void ConnectSimulator();
void DisconnectSimulator();
void ReportLinkError();
void ShowSimulatorMessage(const std::string& text, std::int32_t level);
// Takes its own copy of the block: the command, signature and acknowledgement set here, and the
// block read back in refresh mode, never reach the station's block.
void WriteWeatherBlock(WeatherBlockBytes block, std::uint32_t mode);
void PrepareWeatherRun();
