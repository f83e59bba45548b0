#include "model/weather_block_fields.h"

#include <algorithm>
#include <cstring>

#include "model/numeric.h"
#include "base/bytes.h"
#include "stations/station_records.h"

namespace O = WeatherBlockOffset;

namespace {

bool ValidSlot(int index) { return index >= 0 && index < kMaxWeatherLayers; }

std::int32_t ClampedCount(std::int32_t count) { return std::clamp<std::int32_t>(count, 0, kMaxWeatherLayers); }

template <std::size_t Size>
std::span<const std::uint8_t, Size> Slot(WeatherBlockView block, std::size_t arrayOffset, int index) {
  return std::span<const std::uint8_t, Size>(block.data() + arrayOffset + Size * static_cast<std::size_t>(index), Size);
}

// Copies a staging record into slot `count` of its array and raises the count.
template <std::size_t Size>
bool CopyIntoNextSlot(WeatherBlockBytes& bytes, std::size_t countOffset, std::size_t arrayOffset,
                      const std::array<std::uint8_t, Size>& staging) {
  std::int32_t count = LoadI32(bytes.data() + countOffset);
  if (!ValidSlot(count)) return false;
  std::memcpy(bytes.data() + arrayOffset + Size * static_cast<std::size_t>(count), staging.data(), Size);
  StoreI32(bytes.data() + countOffset, count + 1);
  return true;
}

// Sorts the first `count` slots of an array of Size-byte layers by their leading u16.
template <std::size_t Size>
void SortSlotsByLeadingU16(WeatherBlockBytes& bytes, std::size_t countOffset, std::size_t arrayOffset) {
  int count = ClampedCount(LoadI32(bytes.data() + countOffset));
  std::array<std::array<std::uint8_t, Size>, kMaxWeatherLayers> slots;
  std::uint8_t* base = bytes.data() + arrayOffset;
  for (int i = 0; i < count; ++i) std::memcpy(slots[i].data(), base + Size * i, Size);
  std::stable_sort(slots.begin(), slots.begin() + count,
                   [](const auto& a, const auto& b) { return LoadU16(a.data()) < LoadU16(b.data()); });
  for (int i = 0; i < count; ++i) std::memcpy(base + Size * i, slots[i].data(), Size);
}

}  // namespace

WeatherBlockHeader ReadBlockHeader(WeatherBlockView block) {
  const std::uint8_t* b = block.data();
  WeatherBlockHeader h;
  h.command = LoadU16(b + O::kCommand);
  h.reserved = LoadU16(b + O::kReserved);
  h.signature = LoadU32(b + O::kSignature);
  for (std::size_t i = 0; i < h.stationId.size(); ++i) h.stationId[i] = static_cast<char>(b[O::kStationId + i]);
  h.unused1 = LoadU16(b + O::kUnused1);
  h.unused2 = LoadU16(b + O::kUnused2);
  h.latitude = LoadDouble(b + O::kLatitude);
  h.longitude = LoadDouble(b + O::kLongitude);
  h.elevation = LoadI32(b + O::kElevation);
  h.acknowledge = LoadU32(b + O::kAcknowledge);
  h.pressure = LoadU16(b + O::kPressure);
  h.pressure2 = LoadI16(b + O::kPressure2);
  return h;
}

std::string StationIdText(const WeatherBlockHeader& header) {
  std::string id;
  for (char c : header.stationId) {
    if (c == '\0') break;
    id += c;
  }
  return id;
}

VisibilityGroup ReadVisibility(WeatherBlockView block) {
  const std::uint8_t* b = block.data() + O::kVisibility;
  return {LoadU16(b + VisField::kUpper), LoadI16(b + VisField::kLower), LoadU16(b + VisField::kRange)};
}

std::int32_t ReadTemperatureCount(WeatherBlockView block) { return LoadI32(block.data() + O::kTempCount); }
std::int32_t ReadWindCount(WeatherBlockView block) { return LoadI32(block.data() + O::kWindCount); }
std::int32_t ReadCloudCount(WeatherBlockView block) { return LoadI32(block.data() + O::kCloudCount); }

TemperatureLayer DecodeTemperatureLayer(std::span<const std::uint8_t, kTempLayerSize> in) {
  const std::uint8_t* p = in.data();
  return {LoadU16(p + TempField::kAltitude), LoadI16(p + TempField::kTemperature), LoadI16(p + TempField::kVariation),
          LoadI16(p + TempField::kDewPoint)};
}

WindLayer DecodeWindLayer(std::span<const std::uint8_t, kWindLayerSize> in) {
  const std::uint8_t* p = in.data();
  WindLayer w;
  w.upperAltitude = LoadU16(p + WindField::kUpper);
  w.speed = LoadU16(p + WindField::kSpeed);
  w.gust = LoadU16(p + WindField::kGust);
  w.direction = LoadU16(p + WindField::kDirection);
  w.turbulence = LoadU8(p + WindField::kTurbulence);
  w.shear = LoadU8(p + WindField::kShear);
  w.variance = LoadU16(p + WindField::kVariance);
  return w;
}

CloudLayer DecodeCloudLayer(std::span<const std::uint8_t, kCloudLayerSize> in) {
  const std::uint8_t* p = in.data();
  CloudLayer c;
  c.upperAltitude = LoadU16(p + CloudField::kUpper);
  c.lowerAltitude = LoadU16(p + CloudField::kLower);
  c.deviation = LoadU16(p + CloudField::kDeviation);
  c.coverage = LoadU8(p + CloudField::kCoverage);
  c.type = LoadU8(p + CloudField::kType);
  c.turbulence = LoadU8(p + CloudField::kTurbulence);
  c.turbulence2 = LoadU8(p + CloudField::kTurbulence2);
  c.precipBase = LoadI16(p + CloudField::kPrecipBase);
  c.precipType = LoadU8(p + CloudField::kPrecipType);
  c.precipRate = LoadU8(p + CloudField::kPrecipRate);
  return c;
}

TemperatureLayer ReadTemperatureLayer(WeatherBlockView block, int index) {
  if (!ValidSlot(index)) return {};
  return DecodeTemperatureLayer(Slot<kTempLayerSize>(block, O::kTempLayers, index));
}

WindLayer ReadWindLayer(WeatherBlockView block, int index) {
  if (!ValidSlot(index)) return {};
  return DecodeWindLayer(Slot<kWindLayerSize>(block, O::kWindLayers, index));
}

CloudLayer ReadCloudLayer(WeatherBlockView block, int index) {
  if (!ValidSlot(index)) return {};
  return DecodeCloudLayer(Slot<kCloudLayerSize>(block, O::kCloudLayers, index));
}

DecodedWeatherBlock DecodeWeatherBlock(WeatherBlockView block) {
  DecodedWeatherBlock d;
  d.header = ReadBlockHeader(block);
  d.visibility = ReadVisibility(block);
  d.temperatureCount = ReadTemperatureCount(block);
  d.windCount = ReadWindCount(block);
  d.cloudCount = ReadCloudCount(block);
  for (int i = 0; i < ClampedCount(d.temperatureCount); ++i) d.temperatures.push_back(ReadTemperatureLayer(block, i));
  for (int i = 0; i < ClampedCount(d.windCount); ++i) d.winds.push_back(ReadWindLayer(block, i));
  for (int i = 0; i < ClampedCount(d.cloudCount); ++i) d.clouds.push_back(ReadCloudLayer(block, i));
  return d;
}

void EncodeTemperatureLayer(std::span<std::uint8_t, kTempLayerSize> out, const TemperatureLayer& layer) {
  std::uint8_t* p = out.data();
  StoreU16(p + TempField::kAltitude, layer.altitude);
  StoreI16(p + TempField::kTemperature, layer.temperature);
  StoreI16(p + TempField::kVariation, layer.variation);
  StoreI16(p + TempField::kDewPoint, layer.dewPoint);
}

void EncodeWindLayer(std::span<std::uint8_t, kWindLayerSize> out, const WindLayer& layer) {
  std::uint8_t* p = out.data();
  StoreU16(p + WindField::kUpper, layer.upperAltitude);
  StoreU16(p + WindField::kSpeed, layer.speed);
  StoreU16(p + WindField::kGust, layer.gust);
  StoreU16(p + WindField::kDirection, layer.direction);
  StoreU8(p + WindField::kTurbulence, layer.turbulence);
  StoreU8(p + WindField::kShear, layer.shear);
  StoreU16(p + WindField::kVariance, layer.variance);
  StoreU32(p + WindField::kUnused, 0);
}

void EncodeCloudLayer(std::span<std::uint8_t, kCloudLayerSize> out, const CloudLayer& layer) {
  std::uint8_t* p = out.data();
  StoreU16(p + CloudField::kUpper, layer.upperAltitude);
  StoreU16(p + CloudField::kLower, layer.lowerAltitude);
  StoreU16(p + CloudField::kDeviation, layer.deviation);
  StoreU8(p + CloudField::kCoverage, layer.coverage);
  StoreU8(p + CloudField::kType, layer.type);
  StoreU8(p + CloudField::kTurbulence, layer.turbulence);
  StoreU8(p + CloudField::kTurbulence2, layer.turbulence2);
  StoreI16(p + CloudField::kPrecipBase, layer.precipBase);
  StoreU8(p + CloudField::kPrecipType, layer.precipType);
  StoreU8(p + CloudField::kPrecipRate, layer.precipRate);
  StoreU16(p + CloudField::kUnused, 0);
}

bool AppendTemperatureLayer(SimWeatherBlock& block, const TemperatureLayer& layer) {
  EncodeTemperatureLayer(block.stagingTemperature, layer);
  return CopyIntoNextSlot(block.bytes, O::kTempCount, O::kTempLayers, block.stagingTemperature);
}

bool AppendWindLayer(SimWeatherBlock& block, const WindLayer& layer) {
  EncodeWindLayer(block.stagingWind, layer);
  return CopyIntoNextSlot(block.bytes, O::kWindCount, O::kWindLayers, block.stagingWind);
}

bool AppendCloudLayer(SimWeatherBlock& block, const CloudLayer& layer) {
  EncodeCloudLayer(block.stagingCloud, layer);
  return CopyIntoNextSlot(block.bytes, O::kCloudCount, O::kCloudLayers, block.stagingCloud);
}

bool ReplaceCloudLayer(SimWeatherBlock& block, int index, const CloudLayer& layer) {
  if (!ValidSlot(index) || index >= ReadCloudCount(block.bytes)) return false;
  EncodeCloudLayer(
      std::span<std::uint8_t, kCloudLayerSize>(
          block.bytes.data() + O::kCloudLayers + kCloudLayerSize * static_cast<std::size_t>(index), kCloudLayerSize),
      layer);
  return true;
}

void SortTemperatureLayers(SimWeatherBlock& block) {
  SortSlotsByLeadingU16<kTempLayerSize>(block.bytes, O::kTempCount, O::kTempLayers);
}

void SortWindLayers(SimWeatherBlock& block) {
  SortSlotsByLeadingU16<kWindLayerSize>(block.bytes, O::kWindCount, O::kWindLayers);
}

void WriteVisibility(SimWeatherBlock& block, const VisibilityGroup& visibility) {
  std::uint8_t* s = block.stagingVisibility.data();
  StoreU16(s + VisField::kUpper, visibility.upperAltitude);
  StoreI16(s + VisField::kLower, visibility.lowerAltitude);
  StoreU16(s + VisField::kRange, visibility.range);
  // The padding bytes after the group travel with it; they are zero from construction.
  std::memcpy(block.bytes.data() + O::kVisibility, s, kVisibilityGroupSize);
}

void SetVisibilityUpperAltitude(SimWeatherBlock& block, std::uint16_t upperAltitude) {
  StoreU16(block.stagingVisibility.data() + VisField::kUpper, upperAltitude);
  StoreU16(block.bytes.data() + O::kVisUpper, upperAltitude);
}

void WritePressure(SimWeatherBlock& block, std::uint16_t pressureTimes16) {
  std::uint8_t* s = block.stagingPressure.data();
  StoreU16(s, pressureTimes16);
  StoreI16(s + (O::kPressure2 - O::kPressure), 0);
  std::memcpy(block.bytes.data() + O::kPressure, s, kPressurePairSize);
}

void FillBlockHeader(METAR_Station& station) {
  std::uint8_t* b = station.m_WeatherBlock.bytes.data();
  StoreDouble(b + O::kLatitude, station.m_Latitude);
  StoreDouble(b + O::kLongitude, station.m_Longitude);
  const std::int32_t elevation = TruncateToInt(station.m_Elevation);
  StoreI32(b + O::kElevation, elevation);
  for (std::size_t i = 0; i < 4; ++i)
    b[O::kStationId + i] = i < station.m_Key.size() ? static_cast<std::uint8_t>(station.m_Key[i]) : 0;

  VisibilityGroup vis;
  vis.lowerAltitude = Low16Signed(elevation);
  // Spread of temperature and dew point as whole degrees (int64: missing values cannot overflow).
  const std::int64_t spread = std::int64_t{station.m_Temperature} - station.m_DewPoint;
  if (spread != 0) {
    vis.upperAltitude = Low16(spread * 125 + static_cast<std::uint16_t>(vis.lowerAltitude));
  } else if (station.m_CloudBase[0] != 0) {
    vis.upperAltitude = Low16(TruncateToInt(station.m_CloudBase[0] + station.m_Elevation));
  } else {
    vis.upperAltitude = Low16(TruncateToInt(station.m_Elevation + 1000.0));
  }
  // Truncated to hundredths, but a value one rounding error short of a hundredth is that
  // hundredth (0.29 * 100 = 28.999999999999996).
  vis.range = Low16(TruncateToInt(station.m_Visibility * 100.0 + 1e-6));
  WriteVisibility(station.m_WeatherBlock, vis);
}
