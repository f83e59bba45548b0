#pragma once
// Narrowing of the weather model's integers into block fields. Reals become integers with
// TruncateToInt (toward zero, saturating); a field narrower than 32 bits then keeps the low
// bits of that integer (65536 + 5 -> 5, -2 -> 65534 unsigned).
#include <cmath>
#include <cstdint>

#include "base/units.h"

inline std::uint16_t Low16(std::int64_t value) { return static_cast<std::uint16_t>(value & 0xFFFF); }
inline std::int16_t Low16Signed(std::int64_t value) { return static_cast<std::int16_t>(Low16(value)); }
inline std::uint8_t Low8(std::int64_t value) { return static_cast<std::uint8_t>(value & 0xFF); }

// Nearest integer, halves away from zero (2.5 -> 3, -2.5 -> -3), saturating like TruncateToInt.
inline int RoundToInt(double value) { return TruncateToInt(std::round(value)); }
