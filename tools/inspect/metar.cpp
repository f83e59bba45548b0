// altivane-inspect metar: decodes one report into a fresh record and shows every surface field.
#include <charconv>
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <string>
#include <string_view>

#include "inspect.h"
#include "reports/metar_decoder.h"
#include "base/random.h"
#include "surface_fields.h"

namespace inspect {

namespace {

constexpr const char* kName = "metar";

template <typename T>
std::string JsonArray(const T& values) {
  std::string text = "[";
  for (const auto& value : values) {
    if (text.size() > 1) text += ", ";
    text += JsonNumber(static_cast<double>(value));
  }
  return text + "]";
}

bool ParseWhole(const std::string& text, std::uint32_t& out) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, out);
  return result.ec == std::errc() && result.ptr == end;
}

bool ParseReal(const std::string& text, double& out) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, out);
  return result.ec == std::errc() && result.ptr == end;
}

}  // namespace

void AddSurfaceFields(JsonObject& json, const METAR_Station& s) {
  json.Add("m_ReportText", s.m_ReportText)
      .Add("m_ObsDate", s.m_ObsDate)
      .Add("m_ObsTime", s.m_ObsTime)
      .Add("m_WindSpeed", s.m_WindSpeed)
      .Add("m_WindDirection", s.m_WindDirection)
      .Add("m_WindGust", s.m_WindGust)
      .Add("m_WindVariation", s.m_WindVariation)
      .Add("m_Visibility", s.m_Visibility)
      .Add("m_Weather", s.m_Weather)
      .Add("m_PrecipIntensity", s.m_PrecipIntensity)
      .AddRaw("m_CloudThickness", JsonArray(s.m_CloudThickness))
      .AddRaw("m_CloudCover", JsonArray(s.m_CloudCover))
      .AddRaw("m_CloudBase", JsonArray(s.m_CloudBase))
      .AddRaw("m_CloudType", JsonArray(s.m_CloudType))
      .Add("m_Temperature", s.m_Temperature)
      .Add("m_DewPoint", s.m_DewPoint)
      .Add("m_SeaLevelTemperature", s.m_SeaLevelTemperature)
      .Add("m_SeaLevelDewPoint", s.m_SeaLevelDewPoint)
      .Add("m_Pressure", s.m_Pressure)
      .Add("m_Thunderstorm", s.m_Thunderstorm)
      .Add("m_ReportValid", s.m_ReportValid)
      .Add("m_State", s.m_State);
}

void PrintSurfaceFields(std::ostream& out, const METAR_Station& s) {
  const auto line = [&out](const char* name, const std::string& value) {
    out << std::left << std::setw(23) << (std::string(name) + ":") << value << "\n";
  };
  // The five cloud slots in one line, the unit once at the end.
  const auto slots = [](const auto& values, int decimals, std::string_view unit) {
    std::string text;
    for (const auto& value : values) {
      if (!text.empty()) text += " ";
      text += Shown(static_cast<double>(value), decimals, "");
    }
    return unit.empty() ? text : text + " " + std::string(unit);
  };
  line("m_ReportText", s.m_ReportText);
  line("m_ObsDate", s.m_ObsDate);
  line("m_ObsTime", s.m_ObsTime);
  line("m_WindSpeed", Shown(s.m_WindSpeed, "kt"));
  line("m_WindDirection", Shown(s.m_WindDirection, "°"));
  line("m_WindGust", Shown(s.m_WindGust, "kt"));
  line("m_WindVariation", Shown(s.m_WindVariation, "°"));
  line("m_Visibility", Shown(s.m_Visibility, 2, "sm"));
  line("m_Weather", s.m_Weather);
  line("m_PrecipIntensity", Shown(s.m_PrecipIntensity, 2, ""));
  line("m_CloudThickness", slots(s.m_CloudThickness, 3, "km"));
  line("m_CloudCover", slots(s.m_CloudCover, 2, ""));
  line("m_CloudBase", slots(s.m_CloudBase, 0, "m"));
  line("m_CloudType", slots(s.m_CloudType, 0, ""));
  line("m_Temperature", Shown(s.m_Temperature, "°C"));
  line("m_DewPoint", Shown(s.m_DewPoint, "°C"));
  line("m_SeaLevelTemperature", Shown(s.m_SeaLevelTemperature, 1, "°C"));
  line("m_SeaLevelDewPoint", Shown(s.m_SeaLevelDewPoint, 1, "°C"));
  line("m_Pressure", Shown(s.m_Pressure, "hPa"));
  line("m_Thunderstorm", std::to_string(s.m_Thunderstorm));
  line("m_ReportValid", std::to_string(s.m_ReportValid));
  line("m_State", std::to_string(s.m_State));
}

int RunMetar(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!ParseOptions(args, {{"--ref", true}, {"--elevation", true}, {"--seed", true}, {"--json", false}}, &options,
                    &error))
    return UsageError(kName, error);
  if (options.positional.size() != 1) return UsageError(kName, "give the report text as one argument");

  WeatherTime reference = NoAgeLimit();
  if (const std::string* text = options.Value("--ref")) {
    const auto parsed = ParseReferenceTime(*text);
    if (!parsed) return UsageError(kName, "--ref wants \"YYYY-MM-DD HH:MM\", not " + *text);
    reference = *parsed;
  }
  METAR_Station station;
  if (const std::string* text = options.Value("--elevation")) {
    if (!ParseReal(*text, station.m_Elevation)) return UsageError(kName, "--elevation wants metres, not " + *text);
  }
  std::uint32_t seed = 0;
  if (const std::string* text = options.Value("--seed")) {
    if (!ParseWhole(*text, seed)) return UsageError(kName, "--seed wants a number 0 to 4294967295, not " + *text);
  }

  SeedRandom(seed);
  station.DecodeReport(options.positional[0], reference);
  // The decoder leaves a report observed after the reference undecoded: say why the fields
  // are empty.
  const bool newer = options.Value("--ref") && NewerThan(station, reference);

  if (options.Has("--json")) {
    JsonObject json;
    AddSurfaceFields(json, station);
    json.Add("newer_than_ref", newer);
    std::cout << json.Str() << "\n";
  } else {
    PrintSurfaceFields(std::cout, station);
    if (newer)
      std::cout << "note: not decoded: observed " << station.m_ObsDate << " " << station.m_ObsTime << ", after --ref "
                << *options.Value("--ref") << "\n";
  }
  return 0;
}

}  // namespace inspect
