#pragma once
// The program's own station list: one station per line, fields separated by ';'
//   block;station;ICAO;name;region;country;WMO region;lat;lon;upper-air lat;upper-air lon;elevation;
//   upper-air elevation;...
//   72;793;KSEA;Seattle-Tacoma;WA;United States;4;47-26-41N;122-18-49W;47-26-37N;122-18-07W;130;136;P
// A station with an ICAO indicator and an elevation becomes a METAR_Station keyed by the
// indicator; any other line a Weather_Station keyed by its WMO index number.
#include <atomic>
#include <cstddef>
#include <memory>
#include <string_view>

#include "stations/station_records.h"

// Below the simulator folder.
inline constexpr const char* kStationListPath = "Altivane\\stations\\station.txt";
// Lines are read in pieces of at most this many characters; the rest of a longer line is read
// as a line of its own.
inline constexpr std::size_t kStationLinePiece = 255;

// Lines classified each way by the last reading of the list, duplicates included.
extern std::atomic<int> g_MetarStationCount;
extern std::atomic<int> g_WeatherStationCount;

// A coordinate such as "70-56N", "008-40W" or "51-28-39N": degrees, minutes and seconds split
// at any of "-NSEW". Positive when the field holds positiveLetter ('N' or 'E') anywhere, else
// negative, so a coordinate without a hemisphere letter is south or west.
double ParseCoordinate(std::string_view field, char positiveLetter);

// One line (its line break, when it has one, still at the end) as a base record in state 0.
std::unique_ptr<Weather_Station> ParseStationLine(std::string_view line);

// True when the key is an ICAO indicator: its numeric value is 0 ("KSEA", "0S9"). WMO numbers
// ("72793") and indicators that begin with a non-zero digit are not.
bool IsMetarKey(std::string_view key);
