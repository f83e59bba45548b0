#pragma once
// Number conversions of the weather model. Reals become integers by truncation toward zero;
// a field narrower than 32 bits keeps the low bits of that integer (65536 + 5 -> 5).
#include <cmath>
#include <cstdint>
#include <limits>

// Truncates toward zero. Values beyond the 32-bit range saturate and NaN gives 0, so a
// corrupt input can never make the conversion undefined.
inline std::int32_t TruncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

// The low 16 bits of an integer, as an unsigned or signed field holds them.
inline std::uint16_t Low16(std::int64_t value) { return static_cast<std::uint16_t>(value & 0xFFFF); }
inline std::int16_t Low16Signed(std::int64_t value) { return static_cast<std::int16_t>(Low16(value)); }
inline std::uint8_t Low8(std::int64_t value) { return static_cast<std::uint8_t>(value & 0xFF); }
