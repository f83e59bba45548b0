#pragma once
// Group helpers of the TEMP decoders (Weather_Station::DecodeTTAA / DecodeTTBB). The decoders
// get a message with every space removed, so groups stand at fixed character positions; every
// helper here reads within the text only and treats what is not a number as 0.
#include <cstddef>
#include <string_view>

#include "stations/station_records.h"

// Where a message without spaces holds the station's WMO number ("TTAA6300172632...": 72632).
inline constexpr std::size_t kTempStationPos = 9;
inline constexpr std::size_t kTempStationChars = 5;
// The standard levels of a TTAA message fill slots 1 to 11 (1000 hPa up to 100 hPa).
inline constexpr int kLastStandardSlot = 11;

// Levels a TTBB message can hand over: the buffers keep one entry for the end marker.
inline constexpr int kMaxSigLevels = kSigLevelBufferSize - 1;

// The number in the `width` characters at `pos` (fewer at the end of the text, none past it).
// "///", letters and an empty field read as 0; the value never exceeds what `width` digits hold.
int TempGroupField(std::string_view message, std::size_t pos, std::size_t width);

// TTT in tenths of a degree, odd tenths below zero, rounded to whole degrees:
// 235 -> -24, 120 -> 12, 005 -> -1.
int TempFromTTT(int ttt);

// Dew point from the temperature and the depression DD: up to 50 in tenths, above 50 whole
// degrees plus 50, rounded: (12, 05) -> 11, (12, 56) -> 6.
int DewPointFromDD(int temperature, int dd);

// Estimated height of a significant level at `pressure` hPa from the station's standard levels:
// the standard level just below it in altitude, plus 100 m per whole 10 hPa above it
// (850 hPa -> the 925 hPa height + 700 m). A level at or below the lowest known pressure lies
// at the station's surface height.
int SigLevelHeight(const Weather_Station& station, int pressure);
