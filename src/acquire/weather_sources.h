#pragma once
// Where the three files of "Get current weather" come from: URL templates (the public sources
// by default), or the two servers of the program's own layout, and what in the settings chose
// each.
#include <string>
#include <vector>

#include "acquire/internet_settings.h"
#include "acquire/weather_files.h"

// Fills the fields of a URL template from a UTC time: {YYYY} 2003, {YY} 03, {MM} 12, {DD} 06,
// {HH} 14 and {SS}, the half day's sounding hour (00 before noon, 12 after). Other text,
// unknown fields included, stays as it is.
std::string ExpandUrlTemplate(const std::string& text, const UtcHour& time);

// "a b  c" -> {"a", "b", "c"}
std::vector<std::string> SplitUrls(const std::string& list);

// "https://tgftp.nws.noaa.gov/data/x" -> "tgftp.nws.noaa.gov"; "" when it names none.
std::string HostOfUrl(const std::string& url);

struct WeatherSource {
  std::vector<std::string> urls;  // fetched in order, their bodies appended into one file
  std::string localPath;
  bool localProxies = false;  // through the proxies on the local machine
  std::string chosenBy;       // "MetarUrl", "MetarServer", "default", ...
};

struct WeatherSources {
  WeatherSource current;   // the current hour's METAR file
  WeatherSource complete;  // the complete METAR file of the hour before
  WeatherSource upperAir;  // the half day's upper-air file
};

// The sources of a fetch at time now, the local files in folder. A URL setting wins; else a
// server setting gives its fixed path over http through the local proxies; else the default
// templates.
WeatherSources PlanWeatherSources(const AcquireSettings& settings, const UtcHour& now, const std::string& folder);

// Reports older than this before a METAR file's own hour are not today's weather.
inline constexpr int kStaleReportHours = 3;
// An upper-air file fetched before this long after its sounding hour may still lack soundings.
inline constexpr int kUpperAirSettledHours = 2;

// Why a downloaded body is not weather, "" when it may be kept. kind: what it must hold.
enum class WeatherBodyKind { Metar, UpperAir };
std::string WhyNotWeather(const std::string& path, WeatherBodyKind kind);

// True when some line holds a TEMP message of a station: "TTAA" or "TTBB", a day/hour group
// and a five-digit station number ("TTAA 60121 70398 ...", also "70398 TTAA 60121 70398").
bool HoldsSounding(const std::string& path);
