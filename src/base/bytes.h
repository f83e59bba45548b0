#pragma once
// Little-endian reads and writes at byte offsets, for binary layouts shared with other
// programs (weather block, IPC area, simulator map). Shifts work on unsigned 32/64-bit values.
#include <cstdint>
#include <cstring>

inline void StoreU8(std::uint8_t* p, std::uint8_t v) { p[0] = v; }
inline void StoreU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void StoreU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void StoreU64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void StoreI16(std::uint8_t* p, std::int16_t v) { StoreU16(p, static_cast<std::uint16_t>(v)); }
inline void StoreI32(std::uint8_t* p, std::int32_t v) { StoreU32(p, static_cast<std::uint32_t>(v)); }
inline void StoreDouble(std::uint8_t* p, double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  StoreU64(p, bits);
}

inline std::uint8_t LoadU8(const std::uint8_t* p) { return p[0]; }
inline std::uint16_t LoadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8));
}
inline std::uint32_t LoadU32(const std::uint8_t* p) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= std::uint32_t{p[i]} << (8 * i);
  return v;
}
inline std::uint64_t LoadU64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= std::uint64_t{p[i]} << (8 * i);
  return v;
}
inline std::int16_t LoadI16(const std::uint8_t* p) { return static_cast<std::int16_t>(LoadU16(p)); }
inline std::int32_t LoadI32(const std::uint8_t* p) { return static_cast<std::int32_t>(LoadU32(p)); }
inline double LoadDouble(const std::uint8_t* p) {
  std::uint64_t bits = LoadU64(p);
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// The top bit of every byte of word that equals c, and of no other: eight characters compared
// at once.
inline std::uint64_t BytesEqualTo(std::uint64_t word, unsigned char c) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  const std::uint64_t x = word ^ (0x0101010101010101ull * c);
  return ~(((x & kLow7) + kLow7) | x | kLow7);
}
