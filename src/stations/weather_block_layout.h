#pragma once
// The 1024-byte weather record of the simulator's weather interface, as each report station
// carries it, and the staging records its layers are built in. Offsets are from the start of
// the block; every field is little-endian (see base/bytes.h). The whole layout is here;
// model/weather_block_fields.h reads and writes the fields.
#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kWeatherBlockSize = 1024;
inline constexpr int kMaxWeatherLayers = 24;

namespace WeatherBlockOffset {
inline constexpr std::size_t kCommand = 0;        // u16
inline constexpr std::size_t kReserved = 2;       // u16
inline constexpr std::size_t kSignature = 4;      // u32
inline constexpr std::size_t kStationId = 8;      // 4 characters, no terminator
inline constexpr std::size_t kUnused1 = 12;       // u16
inline constexpr std::size_t kUnused2 = 14;       // u16
inline constexpr std::size_t kLatitude = 16;      // double
inline constexpr std::size_t kLongitude = 24;     // double
inline constexpr std::size_t kElevation = 32;     // i32, metres
inline constexpr std::size_t kAcknowledge = 36;   // u32
inline constexpr std::size_t kPressure = 40;      // u16, hPa * 16
inline constexpr std::size_t kPressure2 = 42;     // i16
inline constexpr std::size_t kVisibility = 44;    // visibility group, 8 bytes with padding
inline constexpr std::size_t kVisUpper = 44;      // u16, metres
inline constexpr std::size_t kVisLower = 46;      // i16, metres
inline constexpr std::size_t kVisRange = 48;      // u16, 1/100 statute mile
inline constexpr std::size_t kTempCount = 52;     // i32
inline constexpr std::size_t kTempLayers = 56;    // 24 x 8 bytes
inline constexpr std::size_t kWindCount = 248;    // i32
inline constexpr std::size_t kWindLayers = 252;   // 24 x 16 bytes
inline constexpr std::size_t kCloudCount = 636;   // i32
inline constexpr std::size_t kCloudLayers = 640;  // 24 x 16 bytes, to the end of the block
}  // namespace WeatherBlockOffset

// Offsets inside one layer of each array, and inside the visibility group.
namespace TempField {
inline constexpr std::size_t kAltitude = 0;     // u16, metres
inline constexpr std::size_t kTemperature = 2;  // i16, degrees C
inline constexpr std::size_t kVariation = 4;    // i16
inline constexpr std::size_t kDewPoint = 6;     // i16, degrees C
}  // namespace TempField
namespace WindField {
inline constexpr std::size_t kUpper = 0;       // u16, metres
inline constexpr std::size_t kSpeed = 2;       // u16, knots
inline constexpr std::size_t kGust = 4;        // u16, knots
inline constexpr std::size_t kDirection = 6;   // u16, degrees * 65535 / 360
inline constexpr std::size_t kTurbulence = 8;  // u8
inline constexpr std::size_t kShear = 9;       // u8
inline constexpr std::size_t kVariance = 10;   // u16, degrees * 65535 / 360
inline constexpr std::size_t kUnused = 12;     // 4 bytes, zero
}  // namespace WindField
namespace CloudField {
inline constexpr std::size_t kUpper = 0;        // u16, metres above sea level
inline constexpr std::size_t kLower = 2;        // u16, metres above sea level
inline constexpr std::size_t kDeviation = 4;    // u16, metres
inline constexpr std::size_t kCoverage = 6;     // u8, octas
inline constexpr std::size_t kType = 7;         // u8
inline constexpr std::size_t kTurbulence = 8;   // u8
inline constexpr std::size_t kTurbulence2 = 9;  // u8
inline constexpr std::size_t kPrecipBase = 10;  // i16, metres above sea level
inline constexpr std::size_t kPrecipType = 12;  // u8
inline constexpr std::size_t kPrecipRate = 13;  // u8
inline constexpr std::size_t kUnused = 14;      // 2 bytes, zero
}  // namespace CloudField
namespace VisField {
inline constexpr std::size_t kUpper = 0;  // u16, metres
inline constexpr std::size_t kLower = 2;  // i16, metres
inline constexpr std::size_t kRange = 4;  // u16, 1/100 statute mile
}  // namespace VisField

inline constexpr std::size_t kTempLayerSize = 8;
inline constexpr std::size_t kWindLayerSize = 16;
inline constexpr std::size_t kCloudLayerSize = 16;
inline constexpr std::size_t kVisibilityGroupSize = 8;
inline constexpr std::size_t kPressurePairSize = 4;

static_assert(WeatherBlockOffset::kTempLayers + kMaxWeatherLayers * kTempLayerSize == WeatherBlockOffset::kWindCount);
static_assert(WeatherBlockOffset::kWindLayers + kMaxWeatherLayers * kWindLayerSize == WeatherBlockOffset::kCloudCount);
static_assert(WeatherBlockOffset::kCloudLayers + kMaxWeatherLayers * kCloudLayerSize == kWeatherBlockSize);

using WeatherBlockBytes = std::array<std::uint8_t, kWeatherBlockSize>;

// The block and its staging records. Everything starts at zero, so bytes that no rule
// writes (padding, unused layer tails) go to the simulator as zeros.
struct SimWeatherBlock {
  WeatherBlockBytes bytes{};
  std::array<std::uint8_t, kTempLayerSize> stagingTemperature{};
  std::array<std::uint8_t, kWindLayerSize> stagingWind{};
  std::array<std::uint8_t, kCloudLayerSize> stagingCloud{};
  std::array<std::uint8_t, kVisibilityGroupSize> stagingVisibility{};
  std::array<std::uint8_t, kPressurePairSize> stagingPressure{};
};

// Zeroes the command, reserved word, signature, unused words, position, elevation,
// acknowledgement and the three layer counts; leaves the identifier, pressure, visibility and
// layer slots as they are (they are rewritten before they are read).
void ClearWeatherBlock(WeatherBlockBytes& block);
