#pragma once
// The simulator's side of the FSUIPC link, without any transport: a 64 KiB offset space that
// answers request areas, the weather interface at 0xC800 with pending and committed blocks per
// station, the acknowledgement word, the read-back at 0xCC00, messages, the disconnection bytes
// and an aircraft position that can be set or moved along a timed path. Every transport (the
// posix socket server, a win32 window) hands its messages to HandleMessage.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "stations/weather_block_layout.h"

inline constexpr std::size_t kOffsetSpaceSize = 0x10000;
inline constexpr const char* kSimHostMoveMessage = "AltivaneSimHost:Move";

struct SimHostFaults {
  bool m_NeverAcknowledge = false;
  std::uint32_t m_AnswerDelayMs = 0;
  bool m_BadData = false;
  // The switches above apply from this request on (1 = every request).
  std::uint64_t m_FromRequest = 1;
  // After answering this many requests the host stops answering and calls the exhausted
  // callback (0 = never).
  std::uint64_t m_ExitAfter = 0;
  // A refresh request (0xCC04) is answered, at 0xCC00 and with a new acknowledgement, only after
  // this many further requests, as the simulator answers it in a later frame: with 1 the
  // client's first read of 0xC824 still sees the old value and its next read the change.
  // 0 answers within the request itself.
  std::uint32_t m_RefreshAnswerAfter = 1;
};

struct SimHostOptions {
  std::uint32_t m_FsuipcVersion = 0x39990000;
  std::uint32_t m_FsVersion = 0xFADE0007;
  double m_Latitude = 0.0;
  double m_Longitude = 0.0;
  std::string m_JournalPath;  // empty: journal kept in memory only
  SimHostFaults m_Faults;
};

// One point of a path: the aircraft is at (lat, lon) `seconds` after the start, moving in a
// straight line (in degrees) between points.
struct PathPoint {
  double m_Seconds;
  double m_Latitude;
  double m_Longitude;
};
// Reads "seconds latitude longitude" lines ('#' starts a comment); false with a reason on a
// malformed line or when the times do not increase.
bool ParsePath(const std::string& text, std::vector<PathPoint>* path, std::string* error);

class SimHost {
 public:
  explicit SimHost(SimHostOptions options);
  ~SimHost();
  SimHost(const SimHost&) = delete;
  SimHost& operator=(const SimHost&) = delete;

  // A message from a transport: the IPC message with the shared-memory name, or a move command
  // ("lat lon"). Returns the message result (1 answered, 0 refused or bad data).
  std::intptr_t HandleMessage(std::uint32_t message, const std::string& atomName);
  // Answers one request area in place, counted as one request: 1 when every record was valid,
  // else 0.
  std::intptr_t ProcessArea(std::uint8_t* area, std::size_t size);

  void SetFaults(const SimHostFaults& faults);
  void SetPosition(double latitude, double longitude);
  void SetPath(std::vector<PathPoint> path);
  // Called once, on the serving thread, when the request limit is reached.
  void SetExhaustedCallback(std::function<void()> callback);
  // Called on the serving thread with the text of every message shown in the simulator.
  void SetMessageCallback(std::function<void(const std::string&)> callback);
  // Lets requests held back after the limit return (they are refused).
  void Release();
  // True once a request after the limit is held back. The server answers one request at a
  // time, so by then the answer of the last one has gone out.
  bool HoldingARequest() const;

  // Inspection.
  std::map<std::string, WeatherBlockBytes> Committed() const;
  std::map<std::string, WeatherBlockBytes> Pending() const;
  std::uint64_t RequestCount() const;
  std::uint64_t ReadCount(std::uint32_t offset) const;  // read records at exactly this offset
  std::vector<std::string> Journal() const;
  std::vector<std::string> JournalKinds() const;
  std::uint32_t Peek32(std::uint32_t offset) const;
  // The committed weather of every station, decoded into readable lines.
  std::string DumpCommitted() const;

 private:
  std::intptr_t ProcessAreaLocked(std::uint8_t* area, std::size_t size);
  void UpdatePositionLocked();
  void StorePositionLocked(double latitude, double longitude);
  void ApplyWriteLocked(std::uint32_t offset, const std::uint8_t* data, std::uint32_t size);
  void WeatherCommandLocked(const std::uint8_t* data, std::uint32_t size);
  void AcknowledgeLocked();
  // Counts a request and answers a refresh that has become due.
  void BeginRequestLocked();
  void AnswerRefreshIfDueLocked();
  void JournalLocked(const std::string& kind, const std::string& fields);
  double SecondsLocked() const;

  mutable std::mutex m_Mutex;
  std::condition_variable m_ReleasedChanged;
  bool m_Released = false;
  bool m_Holding = false;
  SimHostOptions m_Options;
  SimHostFaults m_Faults;
  std::vector<std::uint8_t> m_Space;
  std::map<std::string, WeatherBlockBytes> m_Pending;
  std::map<std::string, WeatherBlockBytes> m_Committed;
  std::map<std::uint32_t, std::uint64_t> m_Reads;
  std::uint64_t m_Requests = 0;
  std::uint32_t m_AckCounter = 0;
  std::int32_t m_BatchLibrary = -1;  // library version written in the batch being answered
  // A refresh asked for and not yet answered: the block to show at 0xCC00 and the request
  // from which on it is there.
  bool m_RefreshWaiting = false;
  WeatherBlockBytes m_RefreshBlock{};
  std::uint64_t m_RefreshDue = 0;
  std::vector<PathPoint> m_Path;
  std::size_t m_PathLeg = static_cast<std::size_t>(-1);
  std::vector<std::string> m_Journal;
  std::FILE* m_JournalFile = nullptr;
  std::function<void()> m_Exhausted;
  std::function<void(const std::string&)> m_MessageShown;
  std::uint32_t m_IpcMessage;
  std::uint32_t m_MoveMessage;
  std::chrono::steady_clock::time_point m_Start;
};

// Decodes one weather block into readable lines (identifier, position, pressure, visibility and
// every layer within its count).
std::string DescribeWeatherBlock(const WeatherBlockBytes& block);
