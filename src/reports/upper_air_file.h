#pragma once
// The upper-air file reader (METAR_Stations::ReadUpperAirFile) and its gap filling.
#include <atomic>
#include <cstddef>

#include "stations/station_records.h"

// A message still without its end sign after this many characters is not a TEMP message (the
// longest real ones, a TTBB with 99 levels and its wind section, stay well below): it is dropped.
inline constexpr std::size_t kMaxTempMessageChars = 4096;

// Stations whose TTAA (winds aloft) and TTBB (temperature aloft) became valid during the last
// ReadUpperAirFile call; reset at the start of each call.
extern std::atomic<int> g_WindsAloftCount;
extern std::atomic<int> g_TemperatureAloftCount;

// Fills the standard levels 1 to 11 whose temperature or dew point reads exactly 0 (how a
// missing group decodes): from the mean of the levels below and above, or, with nothing above,
// from the level below minus 6 degrees per full 1000 m between the two. The surface keeps
// its value, and a level with nothing known below it stays as it is.
void FillUpperAirGaps(Weather_Station& station);
