#pragma once
// The simulator's weather-station map, a sequence of records without header or count:
//   offset 0   4 bytes  identifier, zero-padded ("KSEA", "S50\0")
//   offset 4   float32  latitude, north positive
//   offset 8   float32  longitude, east positive; above 180 means 360 less (237.75 -> -122.25)
//   offset 12  float32  elevation, as the simulator gives it
//   offset 16  uint8    name length N
//   offset 17  N bytes  name
// All numbers little-endian.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Below the simulator folder.
inline constexpr const char* kSimMapPath = "Weather\\wxmapping.bin";

inline constexpr std::size_t kSimMapIdOffset = 0;
inline constexpr std::size_t kSimMapIdSize = 4;
inline constexpr std::size_t kSimMapLatitudeOffset = 4;
inline constexpr std::size_t kSimMapLongitudeOffset = 8;
inline constexpr std::size_t kSimMapElevationOffset = 12;
inline constexpr std::size_t kSimMapNameLengthOffset = 16;
inline constexpr std::size_t kSimMapFixedSize = 17;
inline constexpr std::size_t kSimMapMaxName = 255;

// One record as stored, numbers as their floats.
struct SimMapRecord {
  std::string m_Key;  // up to 4 characters
  float m_Latitude = 0.0f;
  float m_Longitude = 0.0f;
  float m_Elevation = 0.0f;
  std::string m_Name;  // up to 255 characters
};

// Simulator stations read by the last reading of the map, duplicates included.
extern std::atomic<int> g_SimStationCount;

// Decodes the record at offset and moves offset past it. False, with offset unchanged, when
// fewer than 17 bytes are left; a name cut short by the end is taken as far as it goes.
// Key and name end at their first zero byte.
bool DecodeSimMapRecord(const std::uint8_t* data, std::size_t size, std::size_t& offset, SimMapRecord& out);

// The longitude as the catalogue keeps it: widened, and less 360 when above 180.
double SimMapLongitude(float stored);

// The bytes of one record: the key cut or zero-padded to 4 bytes, the name cut to 255.
std::string EncodeSimMapRecord(const SimMapRecord& record);

// A map written from text, one station a line: KEY;latitude;longitude;elevation;name
// ("KSEA;47.4447;-122.3136;130;Seattle-Tacoma"); blank lines and lines starting with '#' are
// skipped. With longitudesFrom0To360 a negative longitude is stored as 360 more, the way the
// simulator's own file keeps western stations. False with a message naming the line when a line
// is malformed.
bool BuildSimMapFromText(std::string_view text, bool longitudesFrom0To360, std::string* bytes, std::string* error);
