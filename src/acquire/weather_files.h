#pragma once
// Names of the weather files and their URLs, from UTC calendar fields. Month, day and hour
// always have two digits; the METAR URLs carry the year's last two digits, every local name
// all four.
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "stations/weather_time.h"

struct UtcHour {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;   // 0..23

  bool operator==(const UtcHour&) const = default;
};

UtcHour UtcHourOf(std::chrono::system_clock::time_point time);
// hours later (or earlier), with carry into day, month and year.
UtcHour AddHours(const UtcHour& time, int hours);
WeatherTime ToWeatherTime(const UtcHour& time);
// A valid calendar date and an hour 0..23; none otherwise.
std::optional<UtcHour> MakeUtcHour(int year, int month, int day, int hour);

// 14:37 on 6 Dec 2003 -> "/weather/observations/airways/03120614.metar"
std::string MetarUrlPath(const UtcHour& time);
// -> "20031206_1400Z.TXT"
std::string CurrentMetarFileName(const UtcHour& time);
// -> "20031206_1400Z_Complete.TXT"
std::string CompleteMetarFileName(const UtcHour& time);
// The half day's sounding: hour 00 before noon, 12 after.
// 14:37 on 6 Dec 2003 -> "/Data/archive/radiosonde/20031206/2003120612.rdisnd"
std::string UpperAirUrlPath(const UtcHour& time);
// -> "20031206_1200Z.rdisnd"
std::string UpperAirFileName(const UtcHour& time);
// The upper-air file of exactly this hour: 13:00 -> "20031206_1300Z.rdisnd".
std::string UpperAirFileNameAt(const UtcHour& time);

// The simulator folder's "Altivane\Weather\" (program path form, ending in a backslash).
std::string WeatherFolder();

// True when the file can be opened for reading.
bool CanOpenForReading(const std::string& path);

// True when some line of the file looks like a surface report: a station identifier (four
// letters or digits, the first a letter) followed by a group that starts with four digits,
// "KSEA 071153Z ...". Lets a pick without a single report be refused before anything changes.
bool HoldsMetarReport(const std::string& path);
// True when two tokens in a row on some line of the file (split at blanks) pass pair; the first
// token of a line follows an empty one.
bool AnyTokenPair(const std::string& path, bool (*pair)(std::string_view previous, std::string_view token));
