#pragma once
// Helpers of the surface-report decoder (METAR_Station::DecodeReport) that callers and tests
// use on their own: the observation date-time and the age of a report against a reference.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "stations/weather_time.h"

// Reads "YYYY/M/D H:MM" (month, day, hour and minute with one or two digits) as a UTC
// date-time; none when the text is not such a date or names a day that does not exist.
std::optional<WeatherTime> ParseObservationTime(std::string_view text);

// Whole minutes by which an observation lies after the reference (negative when before),
// truncated toward zero: 59 seconds later is 0, 60 seconds later is 1.
std::int64_t WholeMinutesAfter(WeatherTime observation, WeatherTime reference);

// "YYYY-MM-DD HH:MM" (as typed on a command line) as a UTC date-time; none when malformed.
std::optional<WeatherTime> ParseReferenceTime(std::string_view text);

// The reference that lets every report through: 31 December 3000, 00:00.
WeatherTime NoAgeLimit();
