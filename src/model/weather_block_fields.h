#pragma once
// Field-level access to the 1024-byte simulator weather block (layout and offsets in
// stations/weather_block_layout.h). Readers decode any 1024 bytes, also a block read back from the
// simulator; writers build each layer in its staging record first and copy it into the next
// free slot, never past the 24 slots of an array.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "stations/weather_block_layout.h"

class METAR_Station;

// Any 1024 bytes laid out as a weather block (a station's own block, or a copy of one).
using WeatherBlockView = std::span<const std::uint8_t, kWeatherBlockSize>;

struct WeatherBlockHeader {
  std::uint16_t command = 0;
  std::uint16_t reserved = 0;
  std::uint32_t signature = 0;
  std::array<char, 4> stationId{};  // no terminator; a short key is padded with zero bytes
  std::uint16_t unused1 = 0;
  std::uint16_t unused2 = 0;
  double latitude = 0.0;
  double longitude = 0.0;
  std::int32_t elevation = 0;  // metres
  std::uint32_t acknowledge = 0;
  std::uint16_t pressure = 0;  // hPa * 16
  std::int16_t pressure2 = 0;
};

struct VisibilityGroup {
  std::uint16_t upperAltitude = 0;  // metres
  std::int16_t lowerAltitude = 0;   // metres
  std::uint16_t range = 0;          // hundredths of a statute mile
};

struct TemperatureLayer {
  std::uint16_t altitude = 0;  // metres, 0 at the surface
  std::int16_t temperature = 0;
  std::int16_t variation = 0;
  std::int16_t dewPoint = 0;
};

struct WindLayer {
  std::uint16_t upperAltitude = 0;  // metres, 150 for the surface layer
  std::uint16_t speed = 0;          // knots
  std::uint16_t gust = 0;           // knots
  std::uint16_t direction = 0;      // degrees * 65535 / 360
  std::uint8_t turbulence = 0;
  std::uint8_t shear = 0;
  std::uint16_t variance = 0;  // degrees * 65535 / 360
};

struct CloudLayer {
  std::uint16_t upperAltitude = 0;  // metres above sea level
  std::uint16_t lowerAltitude = 0;  // metres above sea level
  std::uint16_t deviation = 0;      // metres
  std::uint8_t coverage = 0;        // octas
  std::uint8_t type = 0;            // 1, 8, 9 or 10
  std::uint8_t turbulence = 0;
  std::uint8_t turbulence2 = 0;  // written with the same value as turbulence
  std::int16_t precipBase = 0;   // metres above sea level
  std::uint8_t precipType = 0;   // 0 none, 1 rain, 2 snow
  std::uint8_t precipRate = 0;
};

// Whole block decoded. The counts are as stored; the layer lists hold the slots the counts
// name, limited to 0..24 (a count outside that range cannot come from this program).
struct DecodedWeatherBlock {
  WeatherBlockHeader header;
  VisibilityGroup visibility;
  std::int32_t temperatureCount = 0;
  std::int32_t windCount = 0;
  std::int32_t cloudCount = 0;
  std::vector<TemperatureLayer> temperatures;
  std::vector<WindLayer> winds;
  std::vector<CloudLayer> clouds;
};

// ---- readers ----
WeatherBlockHeader ReadBlockHeader(WeatherBlockView block);
// The identifier as text: the four characters up to the first zero byte.
std::string StationIdText(const WeatherBlockHeader& header);
VisibilityGroup ReadVisibility(WeatherBlockView block);
std::int32_t ReadTemperatureCount(WeatherBlockView block);
std::int32_t ReadWindCount(WeatherBlockView block);
std::int32_t ReadCloudCount(WeatherBlockView block);
// Slot index 0..23; any other index gives an all-zero layer.
TemperatureLayer ReadTemperatureLayer(WeatherBlockView block, int index);
WindLayer ReadWindLayer(WeatherBlockView block, int index);
CloudLayer ReadCloudLayer(WeatherBlockView block, int index);
DecodedWeatherBlock DecodeWeatherBlock(WeatherBlockView block);

// ---- layer encodings (8 or 16 bytes; the unused tail bytes are written as zeros) ----
void EncodeTemperatureLayer(std::span<std::uint8_t, kTempLayerSize> out, const TemperatureLayer& layer);
void EncodeWindLayer(std::span<std::uint8_t, kWindLayerSize> out, const WindLayer& layer);
void EncodeCloudLayer(std::span<std::uint8_t, kCloudLayerSize> out, const CloudLayer& layer);
TemperatureLayer DecodeTemperatureLayer(std::span<const std::uint8_t, kTempLayerSize> in);
WindLayer DecodeWindLayer(std::span<const std::uint8_t, kWindLayerSize> in);
CloudLayer DecodeCloudLayer(std::span<const std::uint8_t, kCloudLayerSize> in);

// ---- writers over a station's block ----
// Builds the layer in the staging record and copies it into the next free slot, then raises
// the count. False (and nothing written to the block) when the 24 slots are full.
bool AppendTemperatureLayer(SimWeatherBlock& block, const TemperatureLayer& layer);
bool AppendWindLayer(SimWeatherBlock& block, const WindLayer& layer);
bool AppendCloudLayer(SimWeatherBlock& block, const CloudLayer& layer);
// Rewrites valid cloud slot index in place (not the staging record); false for a slot beyond
// the count.
bool ReplaceCloudLayer(SimWeatherBlock& block, int index, const CloudLayer& layer);
// Sorts the valid slots by altitude (the 16-bit altitude field alone); equal altitudes keep
// their order.
void SortTemperatureLayers(SimWeatherBlock& block);
void SortWindLayers(SimWeatherBlock& block);

// Visibility group through its staging record (with the two padding bytes after it).
void WriteVisibility(SimWeatherBlock& block, const VisibilityGroup& visibility);
void SetVisibilityUpperAltitude(SimWeatherBlock& block, std::uint16_t upperAltitude);
// Pressure word (hPa * 16) and the zero word after it, through the pressure staging pair.
void WritePressure(SimWeatherBlock& block, std::uint16_t pressureTimes16);

// Header and surface visibility of a station, in this order: position, elevation (truncated),
// identifier (first four characters of the key, zero-padded), visibility lower altitude (the
// elevation), upper altitude (temperature spread * 125 above it; with no spread the first
// cloud base above the station, or 1000 m above it when that base is 0), range
// (statute miles * 100). Call after ClearWeatherBlock.
void FillBlockHeader(METAR_Station& station);
