// altivane-inspect sources: the three downloads of "Get current weather" at a given time (now
// by default): their URLs, their local files, and the settings that chose them.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

#include "acquire/internet_settings.h"
#include "acquire/weather_files.h"
#include "acquire/weather_sources.h"
#include "inspect.h"
#include "platform/registry.h"
#include "stations/sim_folder.h"

namespace inspect {

namespace {

constexpr const char* kName = "sources";

// "2003-12-06T14:37Z"
bool ParseAt(const std::string& text, UtcHour& out) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  char zone = 0;
  int used = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d%c%n", &year, &month, &day, &hour, &minute, &zone, &used) != 6 ||
      zone != 'Z' || used != static_cast<int>(text.size()) || minute < 0 || minute > 59)
    return false;
  const auto parsed = MakeUtcHour(year, month, day, hour);
  if (!parsed) return false;
  out = *parsed;
  return true;
}

// The value as stored, or "(unset)".
std::string Stored(const char* name) {
  std::string text;
  return RegistryReadString(RegistryRoot::CurrentUser, kInternetSettingsKey, name, 4096, text) ? text : "(unset)";
}

std::string UrlsJson(const WeatherSource& source) {
  std::string list = "[";
  for (const std::string& url : source.urls) list += (list.size() > 1 ? ", " : "") + JsonString(url);
  return list + "]";
}

}  // namespace

int RunSources(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!ParseOptions(args, {{"--at", true}, {"--sim-folder", true}, {"--json", false}}, &options, &error))
    return UsageError(kName, error);
  if (!options.positional.empty()) return UsageError(kName, "takes no file");
  UtcHour at = UtcHourOf(std::chrono::system_clock::now());
  std::string atText = "now";
  if (const std::string* text = options.Value("--at")) {
    if (!ParseAt(*text, at)) return UsageError(kName, "--at wants YYYY-MM-DDTHH:MMZ, not " + *text);
    atText = *text;
  }
  if (int failed = UseSimFolder(kName, options)) return failed;

  const AcquireSettings settings = ReadAcquireSettings();
  const WeatherSources sources = PlanWeatherSources(settings, at, WeatherFolder());
  const char* names[] = {"MetarUrl",        "UpperAirUrl",   "MetarServer",  "RadiosondeServer",
                         "UseLocalProxies", "HttpProxyPort", "FtpProxyPort", "SocksProxyPort"};
  const std::pair<const char*, const WeatherSource*> files[] = {
      {"current METAR", &sources.current}, {"complete METAR", &sources.complete}, {"upper air", &sources.upperAir}};

  if (options.Has("--json")) {
    JsonObject json;
    json.Add("at", atText);
    std::string stored = "{";
    for (const char* name : names)
      stored += std::string(stored.size() > 1 ? ", " : "") + JsonString(name) + ": " + JsonString(Stored(name));
    json.AddRaw("settings", stored + "}");
    json.Add("local_proxies", settings.useLocalProxies);
    for (const auto& [role, source] : files) {
      JsonObject item;
      item.AddRaw("urls", UrlsJson(*source));
      item.Add("local_file", source->localPath);
      item.Add("local_proxies", source->localProxies);
      item.Add("chosen_by", source->chosenBy);
      std::string key = role;
      for (char& c : key) c = c == ' ' ? '_' : c;
      // Nested objects are indented one level deeper than the outer one.
      std::string text = item.Str();
      for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        text.insert(at + 1, "  ");
      json.AddRaw(key, text);
    }
    std::cout << json.Str() << "\n";
    return 0;
  }
  std::cout << "fetch at " << atText << " (UTC hour " << CurrentMetarFileName(at).substr(0, 13) << ")\n";
  std::cout << "settings" << RegistryStoreSuffix() << ", key HKEY_CURRENT_USER\\" << kInternetSettingsKey << ":\n";
  for (const char* name : names) std::printf("  %-17s %s\n", name, Stored(name).c_str());
  std::cout << "proxies: "
            << (settings.useLocalProxies ? "the local proxies (UseLocalProxies or a *ProxyPort value)"
                                         : "the system's (server settings: the local proxies)")
            << "\n";
  for (const auto& [role, source] : files) {
    std::cout << role << " (" << source->chosenBy << (source->localProxies ? ", through the local proxies" : "")
              << "):\n";
    for (const std::string& url : source->urls) std::cout << "  " << url << "\n";
    std::cout << "  -> " << source->localPath << "\n";
  }
  return 0;
}

}  // namespace inspect
