#pragma once
// The weather view's file next to the weather files, and who is told when it was written.
#include <filesystem>
#include <functional>
#include <string>

inline constexpr const char* kWeatherViewFileName = "weather-view.html";

// The page's path in a weather folder (program form, ending with a backslash).
std::filesystem::path WeatherViewPath(const std::string& weatherFolder);
// Writes the page to a temporary name next to target, then renames it over the old page, so a
// browser never reads half a page. False when it could not be written.
bool WriteWeatherView(const std::filesystem::path& target, const std::string& html);

// Told the native path after every page the update pass writes (set by the front end; may be
// called from the pass thread).
void SetWeatherViewListener(std::function<void(const std::string&)> listener);
void NotifyWeatherViewWritten(const std::string& path);
