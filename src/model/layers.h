#pragma once
// The cloud, wind and temperature layers of a station's weather block, from its surface report
// and the blended upper-air profile. Several rules draw from the process-wide random
// generator (U(k) = r * k / 32767 for the next r, in the order the rules name them), and the
// cumulonimbus and towering-cumulus rules change the station's report itself.
#include <cstdint>

class METAR_Station;
class Weather_Station;

// Cloud types of the block.
inline constexpr std::uint8_t kCloudTypeCirrus = 1;
inline constexpr std::uint8_t kCloudTypeStratus = 8;
inline constexpr std::uint8_t kCloudTypeCumulus = 9;
inline constexpr std::uint8_t kCloudTypeThunderstorm = 10;
// Report marks of a cloud group.
inline constexpr std::int32_t kMarkCumulonimbus = 9;
inline constexpr std::int32_t kMarkToweringCumulus = 10;

// Temperature of the profile at height h: from the highest level with a usable temperature
// whose height plus referenceHeight lies below h, interpolated towards the next usable level
// above it (the surface temperature when no level lies below h). A level above with a missing
// temperature or height, or the same height, is passed over; with none usable above, the
// level's own temperature is the answer. -999.0 when there is no usable temperature at all.
double ProfileTemperatureAt(const Weather_Station& profile, double referenceHeight, double height);

// Cloud layers, appended in this order: the high thin layer (when the profile's temperature
// falls slowly with height), the report's layers from the highest down, ground fog. May lower
// the block's visibility upper altitude. Call after FillBlockHeader.
void AddCloudLayers(METAR_Station& station, const Weather_Station& profile, double referenceHeight);

// Wind and temperature layers from the profile levels above the station, the surface wind and
// temperature, both arrays sorted by altitude, and the pressure (hPa * 16). Nothing is written
// unless the profile is valid and cycleFileRead is 1: the counts stay 0 and the pressure words
// keep what they held.
void AddWindAndTemperatureLayers(METAR_Station& station, const Weather_Station& profile, std::int32_t cycleFileRead);
