#include "simhost_core.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <sstream>
#include <thread>

#include "base/text.h"
#include "base/bytes.h"
#include "model/weather_block_fields.h"
#include "platform/ipc_transport.h"
#include "simlink/link.h"
#include "simlink/fsuipc_client.h"
#include "simlink/ipc_batch.h"

namespace {

constexpr double kLatitudeUnit = 90.0 / 10001750.0;           // degrees per unit at 0x0564
constexpr double kLongitudeUnit = 360.0 / 4294967296.0;       // degrees per unit at 0x056C
constexpr std::uint32_t kVersionArea = kOffsetFsuipcVersion;  // 0x3304..0x330B: read only
constexpr std::uint32_t kVersionAreaEnd = kOffsetFsVersion + 4;
constexpr std::uint32_t kPositionArea = kOffsetAircraftLatitude;  // 0x0564..0x0573: read only
constexpr std::uint32_t kPositionAreaEnd = kOffsetAircraftLongitude + 8;

bool Overlaps(std::uint32_t offset, std::uint32_t size, std::uint32_t begin, std::uint32_t end) {
  return offset < end && std::uint64_t{offset} + size > begin;
}

std::string StationKey(const std::uint8_t* id) {
  std::string key(reinterpret_cast<const char*>(id), 4);
  key.resize(std::strlen(key.c_str()));
  return key;
}

// The journal is plain ASCII whatever the client sent.
std::string JournalString(const std::string& text) { return JsonString(text, JsonText::kAscii); }

std::string Hex32(std::uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "\"0x%08X\"", value);
  return buffer;
}

}  // namespace

bool ParsePath(const std::string& text, std::vector<PathPoint>* path, std::string* error) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  path->clear();
  while (std::getline(in, line)) {
    ++number;
    if (auto hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    std::istringstream fields(line);
    PathPoint point;
    if (!(fields >> point.m_Seconds)) {
      if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
      *error = "line " + std::to_string(number) + ": expected seconds latitude longitude";
      return false;
    }
    std::string rest;
    if (!(fields >> point.m_Latitude >> point.m_Longitude) || (fields >> rest)) {
      *error = "line " + std::to_string(number) + ": expected seconds latitude longitude";
      return false;
    }
    if (!path->empty() && point.m_Seconds <= path->back().m_Seconds) {
      *error = "line " + std::to_string(number) + ": times must increase";
      return false;
    }
    path->push_back(point);
  }
  if (path->empty()) {
    *error = "the path has no point";
    return false;
  }
  return true;
}

SimHost::SimHost(SimHostOptions options)
    : m_Options(std::move(options)),
      m_Faults(m_Options.m_Faults),
      m_Space(kOffsetSpaceSize, 0),
      m_IpcMessage(DefaultIpcTransport().RegisterMessage(kIpcMessageName)),
      m_MoveMessage(DefaultIpcTransport().RegisterMessage(kSimHostMoveMessage)),
      m_Start(std::chrono::steady_clock::now()) {
  StoreU32(&m_Space[kOffsetFsuipcVersion], m_Options.m_FsuipcVersion);
  StoreU32(&m_Space[kOffsetFsVersion], m_Options.m_FsVersion);
  if (!m_Options.m_JournalPath.empty()) m_JournalFile = std::fopen(m_Options.m_JournalPath.c_str(), "w");
  std::lock_guard lock(m_Mutex);
  StorePositionLocked(m_Options.m_Latitude, m_Options.m_Longitude);
}

SimHost::~SimHost() {
  Release();
  if (m_JournalFile) std::fclose(m_JournalFile);
}

double SimHost::SecondsLocked() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_Start).count();
}

void SimHost::JournalLocked(const std::string& kind, const std::string& fields) {
  char head[64];
  std::snprintf(head, sizeof head, "{\"t\":%.3f,\"kind\":", SecondsLocked());
  std::string line = head + JournalString(kind) + (fields.empty() ? "" : "," + fields) + "}";
  m_Journal.push_back(line);
  if (m_JournalFile) {
    std::fputs(line.c_str(), m_JournalFile);
    std::fputc('\n', m_JournalFile);
    std::fflush(m_JournalFile);
  }
}

void SimHost::StorePositionLocked(double latitude, double longitude) {
  auto lat = static_cast<std::int64_t>(std::llround(latitude / kLatitudeUnit));
  auto lon = static_cast<std::int64_t>(std::llround(longitude / kLongitudeUnit));
  // Longitudes wrap around the 32-bit range: 180 east is the same value as 180 west.
  StoreU32(&m_Space[kOffsetAircraftLatitude], static_cast<std::uint32_t>(lat));
  StoreU32(&m_Space[kOffsetAircraftLongitude], static_cast<std::uint32_t>(lon));
  char fields[96];
  std::snprintf(fields, sizeof fields, "\"lat\":%.6f,\"lon\":%.6f", latitude, longitude);
  JournalLocked("position", fields);
}

void SimHost::UpdatePositionLocked() {
  if (m_Path.empty()) return;
  double t = SecondsLocked();
  std::size_t leg = 0;
  while (leg + 1 < m_Path.size() && m_Path[leg + 1].m_Seconds <= t) ++leg;
  const PathPoint& from = m_Path[leg];
  double lat = from.m_Latitude, lon = from.m_Longitude;
  if (leg + 1 < m_Path.size() && t > from.m_Seconds) {
    const PathPoint& to = m_Path[leg + 1];
    double f = (t - from.m_Seconds) / (to.m_Seconds - from.m_Seconds);
    lat += (to.m_Latitude - from.m_Latitude) * f;
    lon += (to.m_Longitude - from.m_Longitude) * f;
  }
  if (leg != m_PathLeg) {
    m_PathLeg = leg;
    StorePositionLocked(lat, lon);  // journals the start of each leg
  } else {
    auto latRaw = static_cast<std::int64_t>(std::llround(lat / kLatitudeUnit));
    auto lonRaw = static_cast<std::int64_t>(std::llround(lon / kLongitudeUnit));
    StoreU32(&m_Space[kOffsetAircraftLatitude], static_cast<std::uint32_t>(latRaw));
    StoreU32(&m_Space[kOffsetAircraftLongitude], static_cast<std::uint32_t>(lonRaw));
  }
}

void SimHost::SetPosition(double latitude, double longitude) {
  std::lock_guard lock(m_Mutex);
  m_Path.clear();
  StorePositionLocked(latitude, longitude);
}

void SimHost::SetPath(std::vector<PathPoint> path) {
  std::lock_guard lock(m_Mutex);
  m_Path = std::move(path);
  m_PathLeg = static_cast<std::size_t>(-1);
  UpdatePositionLocked();
}

void SimHost::SetFaults(const SimHostFaults& faults) {
  std::lock_guard lock(m_Mutex);
  m_Faults = faults;
}

void SimHost::SetExhaustedCallback(std::function<void()> callback) {
  std::lock_guard lock(m_Mutex);
  m_Exhausted = std::move(callback);
}

void SimHost::SetMessageCallback(std::function<void(const std::string&)> callback) {
  std::lock_guard lock(m_Mutex);
  m_MessageShown = std::move(callback);
}

void SimHost::Release() {
  std::lock_guard lock(m_Mutex);
  m_Released = true;
  m_ReleasedChanged.notify_all();
}

bool SimHost::HoldingARequest() const {
  std::lock_guard lock(m_Mutex);
  return m_Holding;
}

std::intptr_t SimHost::HandleMessage(std::uint32_t message, const std::string& atomName) {
  if (message == m_MoveMessage) {
    double lat = 0, lon = 0;
    if (std::sscanf(atomName.c_str(), "%lf %lf", &lat, &lon) != 2) return 0;
    SetPosition(lat, lon);
    return 1;
  }
  if (message != m_IpcMessage) return 0;

  SimHostFaults faults;
  std::uint64_t number;
  {
    std::unique_lock lock(m_Mutex);
    BeginRequestLocked();
    number = m_Requests;
    faults = m_Faults;
    if (faults.m_ExitAfter != 0 && number > faults.m_ExitAfter) {
      // Gone: never answers again.
      m_Holding = true;
      m_ReleasedChanged.wait(lock, [this] { return m_Released; });
      return 0;
    }
  }
  bool faulty = number >= faults.m_FromRequest;
  if (faulty && faults.m_AnswerDelayMs) std::this_thread::sleep_for(std::chrono::milliseconds(faults.m_AnswerDelayMs));

  std::intptr_t result = 0;
  if (auto memory = OpenIpcSharedMemory(atomName, kIpcAreaSize)) {
    if (std::uint8_t* area = memory->Map(); area && memory->Intact()) {
      if (faulty && faults.m_BadData)
        result = 0;
      else {
        std::lock_guard lock(m_Mutex);
        result = ProcessAreaLocked(area, memory->Size());
      }
    }
  }
  if (faults.m_ExitAfter != 0 && number == faults.m_ExitAfter) {
    std::function<void()> exhausted;
    {
      std::lock_guard lock(m_Mutex);
      exhausted = m_Exhausted;
    }
    if (exhausted) exhausted();
  }
  return result;
}

std::intptr_t SimHost::ProcessArea(std::uint8_t* area, std::size_t size) {
  std::lock_guard lock(m_Mutex);
  BeginRequestLocked();
  return ProcessAreaLocked(area, size);
}

std::intptr_t SimHost::ProcessAreaLocked(std::uint8_t* area, std::size_t size) {
  bool handshake = false;
  m_BatchLibrary = -1;
  IpcBatchWalker walker(area, size);
  IpcRecord record;
  IpcStep step;
  while ((step = walker.Next(&record)) == IpcStep::kRecord) {
    const std::uint32_t offset = record.offset;
    const std::uint32_t length = record.size;
    if (std::uint64_t{offset} + length > kOffsetSpaceSize) return 0;
    if (record.kind == kRecordRead) {
      if (Overlaps(offset, length, kPositionArea, kPositionAreaEnd)) UpdatePositionLocked();
      if (offset == kOffsetFsuipcVersion) handshake = true;
      std::memcpy(record.data, &m_Space[offset], length);
      ++m_Reads[offset];
    } else {
      ApplyWriteLocked(offset, record.data, length);
    }
  }
  if (step != IpcStep::kEnd) return 0;
  if (handshake)
    JournalLocked("handshake",
                  "\"fsuipc_version\":" + Hex32(LoadU32(&m_Space[kOffsetFsuipcVersion])) +
                      ",\"fs_version\":" + Hex32(LoadU32(&m_Space[kOffsetFsVersion])) +
                      (m_BatchLibrary >= 0 ? ",\"library_version\":" + std::to_string(m_BatchLibrary) : ""));
  return 1;
}

void SimHost::ApplyWriteLocked(std::uint32_t offset, const std::uint8_t* data, std::uint32_t size) {
  if (offset == kOffsetLibraryVersion && size == 2) {
    m_BatchLibrary = LoadU16(data);
    return;
  }
  // Versions and position belong to the simulator.
  if (Overlaps(offset, size, kVersionArea, kVersionAreaEnd) || Overlaps(offset, size, kPositionArea, kPositionAreaEnd))
    return;
  std::memcpy(&m_Space[offset], data, size);

  if (offset == kOffsetWeatherWrite && size >= 2) {
    WeatherCommandLocked(data, size);
  } else if (offset == kOffsetWeatherRequest && size >= 8) {
    std::string station = StationKey(data + 4);
    WeatherBlockBytes held{};
    if (auto it = m_Committed.find(station); it != m_Committed.end())
      held = it->second;
    else if (auto pending = m_Pending.find(station); pending != m_Pending.end())
      held = pending->second;
    std::memcpy(held.data() + WeatherBlockOffset::kSignature, data, 8);
    JournalLocked("refresh",
                  "\"station\":" + JournalString(station) + ",\"signature\":" + std::to_string(LoadU32(data)));
    m_RefreshBlock = held;
    m_RefreshWaiting = true;
    // Due from the request that follows the N further ones, or within this one for N = 0.
    const std::uint32_t after = m_Faults.m_RefreshAnswerAfter;
    m_RefreshDue = m_Requests + (after == 0 ? 0 : after + 1);
    AnswerRefreshIfDueLocked();
  } else if (offset == kOffsetMessageControl && size >= 2) {
    const char* text = reinterpret_cast<const char*>(&m_Space[kOffsetMessageText]);
    std::string message(text, strnlen(text, kMessageTextSize));
    JournalLocked("message", "\"text\":" + JournalString(message) + ",\"control\":" + std::to_string(LoadI16(data)));
    if (m_MessageShown) m_MessageShown(message);
  } else if (Overlaps(offset, size, kOffsetDisconnect2, kOffsetDisconnect2 + 1)) {
    JournalLocked("disconnect", "");
  }
}

void SimHost::WeatherCommandLocked(const std::uint8_t* data, std::uint32_t size) {
  std::uint16_t command = LoadU16(data);
  if (command == kWeatherClear) {
    m_Pending.clear();
    m_Committed.clear();
    JournalLocked("clear", "");
    AcknowledgeLocked();
  } else if (command == kWeatherApply) {
    std::string stations;
    for (auto& [key, block] : m_Pending) {
      m_Committed[key] = block;
      if (!stations.empty()) stations += ',';
      stations += JournalString(key);
    }
    m_Pending.clear();
    JournalLocked("commit", "\"stations\":[" + stations + "]");
    AcknowledgeLocked();
  } else if (command == kWriteSetPending && size >= WeatherBlockOffset::kStationId + 4) {
    WeatherBlockBytes block{};
    std::memcpy(block.data(), data, std::min<std::size_t>(size, block.size()));
    std::string station = StationKey(data + WeatherBlockOffset::kStationId);
    m_Pending[station] = block;
    JournalLocked("pending", "\"station\":" + JournalString(station) + ",\"block_hex\":\"" +
                                 HexBytes(data, std::min<std::size_t>(size, block.size())) + "\"");
    AcknowledgeLocked();
  } else {
    JournalLocked("command", "\"value\":" + std::to_string(command));
  }
}

void SimHost::BeginRequestLocked() {
  ++m_Requests;
  AnswerRefreshIfDueLocked();
}

void SimHost::AnswerRefreshIfDueLocked() {
  if (!m_RefreshWaiting || m_Requests < m_RefreshDue) return;
  m_RefreshWaiting = false;
  std::memcpy(&m_Space[kOffsetWeatherRead], m_RefreshBlock.data(), m_RefreshBlock.size());
  AcknowledgeLocked();
}

void SimHost::AcknowledgeLocked() {
  if (m_Requests >= m_Faults.m_FromRequest && m_Faults.m_NeverAcknowledge) return;
  if (++m_AckCounter == 0) m_AckCounter = 1;
  StoreU32(&m_Space[kOffsetWeatherAck], m_AckCounter);
}

std::map<std::string, WeatherBlockBytes> SimHost::Committed() const {
  std::lock_guard lock(m_Mutex);
  return m_Committed;
}

std::map<std::string, WeatherBlockBytes> SimHost::Pending() const {
  std::lock_guard lock(m_Mutex);
  return m_Pending;
}

std::uint64_t SimHost::RequestCount() const {
  std::lock_guard lock(m_Mutex);
  return m_Requests;
}

std::uint64_t SimHost::ReadCount(std::uint32_t offset) const {
  std::lock_guard lock(m_Mutex);
  auto it = m_Reads.find(offset);
  return it == m_Reads.end() ? 0 : it->second;
}

std::vector<std::string> SimHost::Journal() const {
  std::lock_guard lock(m_Mutex);
  return m_Journal;
}

std::vector<std::string> SimHost::JournalKinds() const {
  std::vector<std::string> kinds;
  for (const std::string& line : Journal()) {
    auto start = line.find("\"kind\":\"");
    if (start == std::string::npos) continue;
    start += 8;
    kinds.push_back(line.substr(start, line.find('"', start) - start));
  }
  return kinds;
}

std::uint32_t SimHost::Peek32(std::uint32_t offset) const {
  std::lock_guard lock(m_Mutex);
  if (std::uint64_t{offset} + 4 > kOffsetSpaceSize) return 0;
  return LoadU32(&m_Space[offset]);
}

std::string SimHost::DumpCommitted() const {
  std::string out;
  for (const auto& [key, block] : Committed()) out += DescribeWeatherBlock(block);
  if (out.empty()) out = "no committed weather\n";
  return out;
}

std::string DescribeWeatherBlock(const WeatherBlockBytes& bytes) {
  DecodedWeatherBlock block = DecodeWeatherBlock(WeatherBlockView(bytes));
  std::string out;
  char line[256];
  auto add = [&](const char* format, auto... values) {
    std::snprintf(line, sizeof line, format, values...);
    out += line;
  };
  const WeatherBlockHeader& h = block.header;
  add("station %s: lat %.4f lon %.4f elevation %d m\n", StationIdText(h).c_str(), h.latitude, h.longitude, h.elevation);
  add("  pressure %.2f hPa, visibility %.2f sm from %d m to %u m\n", h.pressure / 16.0, block.visibility.range / 100.0,
      block.visibility.lowerAltitude, unsigned{block.visibility.upperAltitude});
  for (std::size_t i = 0; i < block.temperatures.size(); ++i) {
    const TemperatureLayer& t = block.temperatures[i];
    add("  temperature %zu: %u m %d C (variation %d) dew point %d C\n", i, unsigned{t.altitude}, t.temperature,
        t.variation, t.dewPoint);
  }
  for (std::size_t i = 0; i < block.winds.size(); ++i) {
    const WindLayer& w = block.winds[i];
    add("  wind %zu: up to %u m, %03.0f deg %u kt gust %u kt, turbulence %u shear %u variance %.0f deg\n", i,
        unsigned{w.upperAltitude}, w.direction * 360.0 / 65535.0, unsigned{w.speed}, unsigned{w.gust},
        unsigned{w.turbulence}, unsigned{w.shear}, w.variance * 360.0 / 65535.0);
  }
  for (std::size_t i = 0; i < block.clouds.size(); ++i) {
    const CloudLayer& c = block.clouds[i];
    add("  cloud %zu: %u/8 type %u from %u m to %u m (deviation %u), turbulence %u, precipitation %u rate %u "
        "base %d m\n",
        i, unsigned{c.coverage}, unsigned{c.type}, unsigned{c.lowerAltitude}, unsigned{c.upperAltitude},
        unsigned{c.deviation}, unsigned{c.turbulence}, unsigned{c.precipType}, unsigned{c.precipRate}, c.precipBase);
  }
  return out;
}
