// altivane-inspect block: prepares one station's weather block as the update pass would and
// shows what the simulator would receive, and where each value came from.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>

#include "inspect.h"
#include "model/blending.h"
#include "model/prepare.h"
#include "model/weather_block_fields.h"
#include "platform/paths.h"
#include "reports/metar_decoder.h"
#include "base/random.h"
#include "stations/sim_folder.h"
#include "stations/metar_stations.h"
#include "surface_fields.h"

namespace inspect {

namespace {

constexpr const char* kName = "block";

// A one-line JSON object: {"a": 1, "b": "x"}.
class Line {
 public:
  Line& Num(const char* key, double value) { return Raw(key, JsonNumber(value)); }
  Line& Int(const char* key, std::int64_t value) { return Raw(key, std::to_string(value)); }
  Line& Str(const char* key, const std::string& value) { return Raw(key, JsonString(value)); }
  Line& Raw(const char* key, const std::string& json) {
    m_Text += m_Text.empty() ? "{" : ", ";
    m_Text += JsonString(key) + ": " + json;
    return *this;
  }
  std::string Done() const { return m_Text.empty() ? "{}" : m_Text + "}"; }

 private:
  std::string m_Text;
};

template <class Container, class Render>
std::string JsonArray(const Container& items, Render render) {
  std::string out = "[";
  bool first = true;
  for (const auto& item : items) {
    out += first ? "" : ", ";
    out += render(item);
    first = false;
  }
  return out + "]";
}

std::string IntArray(const auto& values) {
  return JsonArray(values, [](auto v) { return std::to_string(v); });
}

std::string NeighbourJson(const NeighbourNote& n) {
  return Line()
      .Str("m_Key", n.m_Key)
      .Num("squared_distance", n.m_SquaredDistance)
      .Num("weight", n.m_Weight)
      .Str("m_ObsDate", n.m_ObsDate)
      .Str("m_ObsTime", n.m_ObsTime)
      .Done();
}

std::string TemperatureJson(const TemperatureLayer& t) {
  return Line()
      .Int("altitude", t.altitude)
      .Int("temperature", t.temperature)
      .Int("variation", t.variation)
      .Int("dew_point", t.dewPoint)
      .Done();
}

std::string WindJson(const WindLayer& w) {
  return Line()
      .Int("upper_altitude", w.upperAltitude)
      .Int("speed", w.speed)
      .Int("gust", w.gust)
      .Int("direction", w.direction)
      .Num("direction_degrees", w.direction * 360.0 / 65535.0)
      .Int("turbulence", w.turbulence)
      .Int("shear", w.shear)
      .Int("variance", w.variance)
      .Done();
}

std::string CloudJson(const CloudLayer& c) {
  return Line()
      .Int("upper_altitude", c.upperAltitude)
      .Int("lower_altitude", c.lowerAltitude)
      .Int("deviation", c.deviation)
      .Int("coverage", c.coverage)
      .Int("type", c.type)
      .Int("turbulence", c.turbulence)
      .Int("turbulence2", c.turbulence2)
      .Int("precip_base", c.precipBase)
      .Int("precip_type", c.precipType)
      .Int("precip_rate", c.precipRate)
      .Done();
}

std::string ProfileJson(const Weather_Station& p) {
  return Line()
      .Int("m_UpperAirValid", p.m_UpperAirValid)
      .Raw("m_LevelPressure", IntArray(p.m_LevelPressure))
      .Raw("m_LevelHeight", IntArray(p.m_LevelHeight))
      .Raw("m_LevelTemperature", IntArray(p.m_LevelTemperature))
      .Raw("m_LevelDewPoint", IntArray(p.m_LevelDewPoint))
      .Raw("m_LevelWindDirection", IntArray(p.m_LevelWindDirection))
      .Raw("m_LevelWindSpeed", IntArray(p.m_LevelWindSpeed))
      .Done();
}

std::string HeaderJson(const DecodedWeatherBlock& d) {
  const WeatherBlockHeader& h = d.header;
  return Line()
      .Int("command", h.command)
      .Int("signature", h.signature)
      .Str("station_id", StationIdText(h))
      .Num("latitude", h.latitude)
      .Num("longitude", h.longitude)
      .Int("elevation", h.elevation)
      .Int("acknowledge", h.acknowledge)
      .Int("pressure", h.pressure)
      .Num("pressure_hpa", h.pressure / 16.0)
      .Int("pressure2", h.pressure2)
      .Done();
}

std::string VisibilityJson(const VisibilityGroup& v) {
  return Line()
      .Int("upper_altitude", v.upperAltitude)
      .Int("lower_altitude", v.lowerAltitude)
      .Int("range", v.range)
      .Num("range_miles", v.range / 100.0)
      .Done();
}

// Where each surface value came from: the station's own report, a take-over, or per field the
// blend, the nearest neighbour, or nowhere (no neighbour has it).
struct Origin {
  std::string m_Field;
  std::string m_Kind;  // "report", "take-over", "blend", "nearest", "missing", "cleared"
  int m_Neighbours = 0;
  std::string m_From;
};

std::vector<Origin> OriginsOf(const BlendTrace& trace) {
  static const char* const kFields[] = {"m_WindSpeed",       "m_WindDirection", "m_WindGust",       "m_Visibility",
                                        "m_PrecipIntensity", "m_Temperature",   "m_DewPoint",       "m_Pressure",
                                        "m_CloudCover",      "m_CloudBase",     "m_CloudThickness", "m_CloudType",
                                        "m_Weather",         "m_Thunderstorm"};
  std::vector<Origin> origins;
  if (!trace.m_SurfaceBlended || !trace.m_TakenOverFrom.empty()) {
    const bool own = !trace.m_SurfaceBlended;
    for (const char* field : kFields)
      origins.push_back({field, own ? "report" : "take-over", own ? 0 : 1, own ? "" : trace.m_TakenOverFrom});
    return origins;
  }
  // No reporting neighbour at all: the blend leaves its cleared values.
  if (trace.m_Fields.empty()) {
    for (const char* field : kFields) origins.push_back({field, "cleared", 0, ""});
    return origins;
  }
  for (const FieldNote& f : trace.m_Fields) {
    const char* kind = f.m_Origin == ValueOrigin::kBlend     ? "blend"
                       : f.m_Origin == ValueOrigin::kNearest ? "nearest"
                                                             : "missing";
    origins.push_back({f.m_Field, kind, f.m_Neighbours, f.m_From});
  }
  return origins;
}

std::string OriginJson(const Origin& o) {
  return Line()
      .Str("field", o.m_Field)
      .Str("origin", o.m_Kind)
      .Int("neighbours", o.m_Neighbours)
      .Str("from", o.m_From)
      .Done();
}

void PrintOrigins(std::ostream& out, const BlendTrace& trace) {
  out << "value origins:\n";
  char line[160];
  for (const Origin& o : OriginsOf(trace)) {
    std::string how;
    if (o.m_Kind == "blend")
      how = "blend of " + std::to_string(o.m_Neighbours) + (o.m_Neighbours == 1 ? " neighbour" : " neighbours");
    else if (o.m_Kind == "missing")
      how = "missing: no neighbour reports it";
    else if (o.m_Kind == "report")
      how = "its own report";
    else if (o.m_Kind == "cleared")
      how = "cleared: no reporting neighbour";
    else
      how = o.m_Kind + " " + o.m_From;
    std::snprintf(line, sizeof line, "  %-17s %s\n", o.m_Field.c_str(), how.c_str());
    out << line;
  }
}

void PrintNeighbours(std::ostream& out, const char* title, const std::vector<NeighbourNote>& notes) {
  out << title << (notes.empty() ? " none\n" : "\n");
  for (const NeighbourNote& n : notes) {
    char line[200];
    // Weights span many orders of magnitude: three significant digits.
    std::snprintf(line, sizeof line, "  %-6s  distance %s  weight %.3g  %s %s\n", n.m_Key.c_str(),
                  Shown(std::sqrt(n.m_SquaredDistance), 1, "nm").c_str(), n.m_Weight, n.m_ObsDate.c_str(),
                  n.m_ObsTime.c_str());
    out << line;
  }
}

// Directions and variances in the block are 0 to 65535 for a full circle.
double BlockDegrees(unsigned value) { return value * 360.0 / 65535.0; }

void PrintText(std::ostream& out, const METAR_Station& s, const BlendTrace& trace, const DecodedWeatherBlock& d,
               std::int32_t cycleFileRead) {
  char line[256];
  out << "station:      " << s.m_Key << " (" << s.m_Name << ")\n"
      << "report text:  " << s.m_ReportText << "\n";
  if (!trace.m_SurfaceBlended)
    out << "surface:      its own report\n";
  else if (!trace.m_TakenOverFrom.empty())
    out << "surface:      taken over whole from " << trace.m_TakenOverFrom << " (within 1 nm)\n";
  else
    out << "surface:      blended from its neighbours\n";
  PrintSurfaceFields(out, s);
  PrintOrigins(out, trace);
  PrintNeighbours(out, "surface neighbours (weights as blended):", trace.m_Surface);
  PrintNeighbours(out, "upper-air neighbours (weights as blended, pairs averaged):", trace.m_UpperAir);
  out << "profile valid: " << g_BlendedProfile.m_UpperAirValid << ", cycle file read: " << cycleFileRead
      << (g_BlendedProfile.m_UpperAirValid && cycleFileRead == 1 ? "" : " (no wind or temperature layers)") << "\n";
  out << "profile levels:\n";
  for (int k = 0; k < kLevelSlots; ++k) {
    std::snprintf(line, sizeof line, "  %2d: %-8s %-7s temperature %-7s dew point %-7s wind %s %s\n", k,
                  Shown(g_BlendedProfile.m_LevelPressure[k], "hPa").c_str(),
                  Shown(g_BlendedProfile.m_LevelHeight[k], "m").c_str(),
                  Shown(g_BlendedProfile.m_LevelTemperature[k], "°C").c_str(),
                  Shown(g_BlendedProfile.m_LevelDewPoint[k], "°C").c_str(),
                  Shown(g_BlendedProfile.m_LevelWindDirection[k], "°").c_str(),
                  Shown(g_BlendedProfile.m_LevelWindSpeed[k], "kt").c_str());
    out << line;
  }
  const WeatherBlockHeader& h = d.header;
  std::snprintf(line, sizeof line, "block header: id %s  latitude %s  longitude %s  elevation %d m  pressure %u (%s)\n",
                StationIdText(h).c_str(), Shown(h.latitude, 4, "°").c_str(), Shown(h.longitude, 4, "°").c_str(),
                h.elevation, h.pressure, Shown(h.pressure / 16.0, 1, "hPa").c_str());
  out << line;
  std::snprintf(line, sizeof line, "visibility:   %s, from %d m up to %u m\n",
                Shown(d.visibility.range / 100.0, 2, "sm").c_str(), d.visibility.lowerAltitude,
                d.visibility.upperAltitude);
  out << line;
  out << "cloud layers: " << d.cloudCount << "\n";
  for (const CloudLayer& c : d.clouds) {
    std::snprintf(line, sizeof line,
                  "  %5u-%5u m  deviation %u m  cover %u/8  type %u  turbulence %u/%u  precipitation base %d m type %u "
                  "rate %u\n",
                  c.lowerAltitude, c.upperAltitude, c.deviation, c.coverage, c.type, c.turbulence, c.turbulence2,
                  c.precipBase, c.precipType, c.precipRate);
    out << line;
  }
  out << "wind layers:  " << d.windCount << "\n";
  for (const WindLayer& w : d.winds) {
    std::snprintf(line, sizeof line,
                  "  up to %5u m  direction %s (%u)  speed %u kt  gust %u kt  turbulence %u  shear %u  variance %s\n",
                  w.upperAltitude, Shown(BlockDegrees(w.direction), 0, "°").c_str(), w.direction, w.speed, w.gust,
                  w.turbulence, w.shear, Shown(BlockDegrees(w.variance), 0, "°").c_str());
    out << line;
  }
  out << "temperature layers: " << d.temperatureCount << "\n";
  for (const TemperatureLayer& t : d.temperatures) {
    std::snprintf(line, sizeof line, "  %5u m  temperature %s  dew point %s  variation %s\n", t.altitude,
                  Shown(t.temperature, "°C").c_str(), Shown(t.dewPoint, "°C").c_str(),
                  Shown(t.variation, "°C").c_str());
    out << line;
  }
}

}  // namespace

int RunBlock(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!ParseOptions(args,
                    {{"--sim-folder", true}, {"--metar", true}, {"--temp", true}, {"--seed", true}, {"--json", false}},
                    &options, &error))
    return UsageError(kName, error);
  if (options.positional.size() != 1) return UsageError(kName, "give exactly one station KEY");
  const std::string& key = options.positional[0];

  std::uint32_t seed = 0;
  const std::string* seedText = options.Value("--seed");
  if (seedText) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(seedText->c_str(), &end, 10);
    if (seedText->empty() || *end != '\0' || value > 0xFFFFFFFFull || (*seedText)[0] == '-')
      return UsageError(kName, "--seed needs a whole number from 0 to 4294967295");
    seed = static_cast<std::uint32_t>(value);
  }

  if (int failed = UseSimFolder(kName, options)) return failed;

  LastStatusField status;
  auto stations = std::make_unique<METAR_Stations>();
  if (int failed = LoadCatalogueWithWeather(kName, options, *stations)) return failed;
  if (seedText) SeedRandom(seed);
  // Without either file the block shows only what an empty catalogue gives.
  if (!options.Value("--metar") && !options.Value("--temp"))
    std::cerr << "altivane-inspect block: no weather loaded (neither --metar nor --temp given)\n";

  Weather_Station* record = LookupStation(*stations, key);
  if (!record) return Failure(kName, "no station with key " + key);
  auto* station = dynamic_cast<METAR_Station*>(record);
  if (!station) return Failure(kName, "station " + key + " carries no surface report or weather block");

  BlendTrace trace;
  const WeatherBlockBytes block = PrepareStationWeather(*stations, *station, &trace);
  const DecodedWeatherBlock decoded = DecodeWeatherBlock(block);

  if (!options.Has("--json")) {
    PrintText(std::cout, *station, trace, decoded, stations->m_CycleFileRead);
    return 0;
  }
  JsonObject json;
  json.Add("m_Key", station->m_Key)
      .Add("m_Name", station->m_Name)
      .Add("m_Latitude", station->m_Latitude)
      .Add("m_Longitude", station->m_Longitude)
      .Add("m_Elevation", station->m_Elevation)
      .Add("m_CycleFileRead", static_cast<int>(stations->m_CycleFileRead));
  AddSurfaceFields(json, *station);
  json.Add("surface_blended", trace.m_SurfaceBlended)
      .AddRaw("taken_over_from", trace.m_TakenOverFrom.empty() ? "null" : JsonString(trace.m_TakenOverFrom))
      .AddRaw("surface_neighbours", JsonArray(trace.m_Surface, NeighbourJson))
      .AddRaw("upper_air_neighbours", JsonArray(trace.m_UpperAir, NeighbourJson))
      .AddRaw("value_origins", JsonArray(OriginsOf(trace), OriginJson))
      .AddRaw("profile", ProfileJson(g_BlendedProfile))
      .AddRaw("header", HeaderJson(decoded))
      .AddRaw("visibility", VisibilityJson(decoded.visibility))
      .Add("temperature_count", static_cast<std::int64_t>(decoded.temperatureCount))
      .AddRaw("temperature_layers", JsonArray(decoded.temperatures, TemperatureJson))
      .Add("wind_count", static_cast<std::int64_t>(decoded.windCount))
      .AddRaw("wind_layers", JsonArray(decoded.winds, WindJson))
      .Add("cloud_count", static_cast<std::int64_t>(decoded.cloudCount))
      .AddRaw("cloud_layers", JsonArray(decoded.clouds, CloudJson))
      .Add("status", status.GetText())
      .Add("block_hex", HexBytes(block.data(), block.size()));
  std::cout << json.Str() << "\n";
  return 0;
}

}  // namespace inspect
