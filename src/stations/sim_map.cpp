#include "stations/sim_map.h"

#include <algorithm>
#include <charconv>
#include <system_error>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <unordered_set>
#include <vector>

#include "base/bytes.h"
#include "base/numbers.h"
#include "base/text.h"
#include "platform/progress.h"
#include "platform/paths.h"
#include "stations/metar_stations.h"
#include "stations/station_list.h"

std::atomic<int> g_SimStationCount{0};

namespace {

float LoadFloat(const std::uint8_t* p) {
  const std::uint32_t bits = LoadU32(p);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void StoreFloat(std::uint8_t* p, float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  StoreU32(p, bits);
}

// Bytes up to the first zero byte, at most count of them.
std::string TextUpToZero(const std::uint8_t* p, std::size_t count) {
  const std::uint8_t* end = std::find(p, p + count, std::uint8_t{0});
  return std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p));
}

}  // namespace

bool DecodeSimMapRecord(const std::uint8_t* data, std::size_t size, std::size_t& offset, SimMapRecord& out) {
  if (offset > size || size - offset < kSimMapFixedSize) return false;
  const std::uint8_t* record = data + offset;
  out.m_Key = TextUpToZero(record + kSimMapIdOffset, kSimMapIdSize);
  out.m_Latitude = LoadFloat(record + kSimMapLatitudeOffset);
  out.m_Longitude = LoadFloat(record + kSimMapLongitudeOffset);
  out.m_Elevation = LoadFloat(record + kSimMapElevationOffset);
  const std::size_t nameLength = LoadU8(record + kSimMapNameLengthOffset);
  const std::size_t available = size - offset - kSimMapFixedSize;
  const std::size_t nameRead = std::min(nameLength, available);
  out.m_Name = TextUpToZero(record + kSimMapFixedSize, nameRead);
  offset += kSimMapFixedSize + nameRead;
  return true;
}

double SimMapLongitude(float stored) {
  double longitude = stored;
  if (longitude > 180.0) longitude -= 360.0;
  return longitude;
}

std::string EncodeSimMapRecord(const SimMapRecord& record) {
  const std::size_t nameLength = std::min(record.m_Name.size(), kSimMapMaxName);
  std::string bytes(kSimMapFixedSize + nameLength, '\0');
  auto* p = reinterpret_cast<std::uint8_t*>(bytes.data());
  std::memcpy(p + kSimMapIdOffset, record.m_Key.data(), std::min(record.m_Key.size(), kSimMapIdSize));
  StoreFloat(p + kSimMapLatitudeOffset, record.m_Latitude);
  StoreFloat(p + kSimMapLongitudeOffset, record.m_Longitude);
  StoreFloat(p + kSimMapElevationOffset, record.m_Elevation);
  StoreU8(p + kSimMapNameLengthOffset, static_cast<std::uint8_t>(nameLength));
  std::memcpy(p + kSimMapFixedSize, record.m_Name.data(), nameLength);
  return bytes;
}

void METAR_Stations::AddSimulatorMap(const std::uint8_t* data, std::size_t size, ProgressSink& progress) {
  g_SimStationCount = 0;
  SimMapRecord record;
  std::size_t offset = 0;
  // The simulator's own map lists some stations twice; the second listing is the same record
  // and would have the pass set (and the weather view draw) the station twice.
  std::unordered_set<const METAR_Station*> listed(m_SimStations.begin(), m_SimStations.end());
  while (DecodeSimMapRecord(data, size, offset, record)) {
    auto station = std::make_unique<METAR_Station>();
    station->m_Key = record.m_Key;
    station->m_Latitude = record.m_Latitude;
    station->m_Longitude = SimMapLongitude(record.m_Longitude);
    station->m_Elevation = record.m_Elevation;
    station->m_Name = record.m_Name;
    station->m_State = kStateToSend;
    ++g_SimStationCount;
    progress.ShowF("%d FS2004 Stations, %d METAR Stations and %d weather Stations read.", g_SimStationCount.load(),
                   g_MetarStationCount.load(), g_WeatherStationCount.load());

    METAR_Station* simStation = nullptr;
    if (Weather_Station* found = Lookup(record.m_Key)) {
      // The list's record, with its position and WMO number, serves the simulator. A base
      // record (a key beginning with a non-zero digit) is promoted so it can carry weather.
      simStation = dynamic_cast<METAR_Station*>(found);
      if (!simStation) {
        auto promoted = std::make_unique<METAR_Station>(*found);
        simStation = promoted.get();
        SetAt(record.m_Key, std::move(promoted));
      }
    } else {
      simStation = station.get();
      SetAt(record.m_Key, std::move(station));
    }
    simStation->m_State = kStateToSend;
    if (listed.insert(simStation).second) m_SimStations.push_back(simStation);
  }
}

void METAR_Stations::ReadSimulatorMap(const std::string& simFolder, ProgressSink& progress) {
  g_SimStationCount = 0;
  std::ifstream file(NativePath(simFolder + kSimMapPath), std::ios::binary);
  if (!file) return;
  const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  AddSimulatorMap(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), progress);
}

namespace {}  // namespace

bool BuildSimMapFromText(std::string_view text, bool longitudesFrom0To360, std::string* bytes, std::string* error) {
  bytes->clear();
  int lineNumber = 0;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNumber;
    line = TrimField(line);
    if (line.empty() || line[0] == '#') continue;

    std::string_view fields[5];
    for (int i = 0; i < 4; ++i) {
      const std::size_t semicolon = line.find(';');
      if (semicolon == std::string_view::npos) {
        *error = "line " + std::to_string(lineNumber) + ": expected KEY;latitude;longitude;elevation;name";
        return false;
      }
      fields[i] = TrimField(line.substr(0, semicolon));
      line.remove_prefix(semicolon + 1);
    }
    fields[4] = TrimField(line);

    SimMapRecord record;
    record.m_Key = std::string(fields[0]);
    record.m_Name = std::string(fields[4]);
    if (record.m_Key.empty() || record.m_Key.size() > kSimMapIdSize) {
      *error = "line " + std::to_string(lineNumber) + ": the key must have 1 to 4 characters";
      return false;
    }
    if (record.m_Name.size() > kSimMapMaxName) {
      *error = "line " + std::to_string(lineNumber) + ": the name is longer than 255 characters";
      return false;
    }
    if (!ParseWholeFloat(fields[1], record.m_Latitude) || !ParseWholeFloat(fields[2], record.m_Longitude) ||
        !ParseWholeFloat(fields[3], record.m_Elevation)) {
      *error = "line " + std::to_string(lineNumber) + ": latitude, longitude and elevation must be numbers";
      return false;
    }
    if (longitudesFrom0To360 && record.m_Longitude < 0.0f) record.m_Longitude += 360.0f;
    *bytes += EncodeSimMapRecord(record);
  }
  return true;
}
