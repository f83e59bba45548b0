#pragma once
// The process-wide pseudo-random generator of the weather: outcomes 0..32767 from a fixed
// linear congruential generator (state = state * 214013 + 2531011 mod 2^32, outcome = bits
// 16..30 of the new state), so a file gives the same clouds on every platform. Seeded from the
// first line of a METAR file; drawn by the METAR decoder, the layer rules and the weather writer.
#include <cstdint>

inline constexpr int kRandomMax = 32767;

void SeedRandom(std::uint32_t seed);
int NextRandom();
