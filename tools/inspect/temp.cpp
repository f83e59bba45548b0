// altivane-inspect temp: reads an upper-air file into the catalogue of a simulator folder and
// shows what each station received: the 13 standard-level slots and the significant levels.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "inspect.h"
#include "platform/paths.h"
#include "reports/upper_air_file.h"
#include "stations/sim_folder.h"
#include "stations/metar_stations.h"

namespace inspect {

namespace {

constexpr const char* kName = "temp";

std::string JsonInts(const std::int32_t* values, int count) {
  std::string out = "[";
  for (int i = 0; i < count; ++i) out += (i ? ", " : "") + std::to_string(values[i]);
  return out + "]";
}

std::string StationJson(const Weather_Station& s) {
  JsonObject json;
  json.Add("m_Key", s.m_Key)
      .Add("m_WmoNumber", s.m_WmoNumber)
      .Add("m_Name", s.m_Name)
      .Add("m_Elevation", s.m_Elevation)
      .Add("m_UpperAirValid", static_cast<int>(s.m_UpperAirValid))
      .Add("m_SigLevelsValid", static_cast<int>(s.m_SigLevelsValid));
  const std::pair<const char*, const LevelTable*> tables[] = {
      {"m_LevelPressure", &s.m_LevelPressure},           {"m_LevelHeight", &s.m_LevelHeight},
      {"m_LevelTemperature", &s.m_LevelTemperature},     {"m_LevelDewPoint", &s.m_LevelDewPoint},
      {"m_LevelWindDirection", &s.m_LevelWindDirection}, {"m_LevelWindSpeed", &s.m_LevelWindSpeed},
  };
  for (const auto& [name, table] : tables) json.AddRaw(name, JsonInts(table->data(), kLevelSlots));
  if (s.m_SigLevelsValid == 1 && s.m_SigPressure) {
    // The levels and the end marker after them.
    const int count = s.m_SigLevelCount;
    json.Add("m_SigLevelCount", count)
        .AddRaw("m_SigPressure", JsonInts(s.m_SigPressure->data(), count))
        .AddRaw("m_SigHeight", JsonInts(s.m_SigHeight->data(), count))
        .AddRaw("m_SigTemperature", JsonInts(s.m_SigTemperature->data(), count + 1))
        .AddRaw("m_SigDewPoint", JsonInts(s.m_SigDewPoint->data(), count + 1));
  }
  return json.Str();
}

void PrintStation(const Weather_Station& s) {
  std::printf("\n%s  WMO %s  %s  elevation %s  upper air %d  significant levels %d\n", s.m_Key.c_str(),
              s.m_WmoNumber.c_str(), s.m_Name.c_str(), Shown(s.m_Elevation, 1, "m").c_str(),
              static_cast<int>(s.m_UpperAirValid), static_cast<int>(s.m_SigLevelsValid));
  std::printf("  slot  pressure  height  temp   dew  dir  speed\n");
  std::printf("             hPa       m    °C    °C    °     kt\n");
  for (int i = 0; i < kLevelSlots; ++i)
    std::printf("  %4d  %8d  %6d  %4d  %4d  %4d  %5d\n", i, s.m_LevelPressure[i], s.m_LevelHeight[i],
                s.m_LevelTemperature[i], s.m_LevelDewPoint[i], s.m_LevelWindDirection[i], s.m_LevelWindSpeed[i]);
  if (s.m_SigLevelsValid != 1 || !s.m_SigPressure) return;
  std::printf("  significant levels: %d\n  level  pressure  height  temp   dew\n", static_cast<int>(s.m_SigLevelCount));
  std::printf("              hPa       m    °C    °C\n");
  for (int i = 0; i < s.m_SigLevelCount; ++i)
    std::printf("  %5d  %8d  %6d  %4d  %4d\n", i, (*s.m_SigPressure)[i], (*s.m_SigHeight)[i], (*s.m_SigTemperature)[i],
                (*s.m_SigDewPoint)[i]);
}

}  // namespace

int RunTemp(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!ParseOptions(args, {{"--sim-folder", true}, {"--key", true}, {"--json", false}}, &options, &error))
    return UsageError(kName, error);
  if (options.positional.size() != 1) return UsageError(kName, "give exactly one upper-air FILE");
  const std::string& file = options.positional[0];

  if (int failed = UseSimFolder(kName, options)) return failed;

  LastStatusField status;
  auto stations = std::make_unique<METAR_Stations>();
  stations->LoadStations();
  // A native path passes through NativePath unchanged.
  UpperAirCounts counts;
  if (!stations->ReadUpperAirFile(file, StatusFieldProgress(), &counts)) return Failure(kName, "cannot open " + file);

  // One station by key, or by WMO number for a station keyed by its ICAO indicator.
  std::vector<const Weather_Station*> shown;
  if (const std::string* key = options.Value("--key")) {
    const Weather_Station* record = LookupStation(*stations, *key);
    const std::string* mapped = record ? nullptr : stations->LookupWmoKey(*key);
    if (mapped) record = stations->Lookup(*mapped);
    if (!record) return Failure(kName, "no station with key " + *key);
    shown.push_back(record);
  } else {
    shown.assign(stations->m_UpperAirStations.begin(), stations->m_UpperAirStations.end());
  }

  if (options.Has("--json")) {
    std::string list = "[";
    for (std::size_t i = 0; i < shown.size(); ++i) {
      std::string station = StationJson(*shown[i]);
      for (std::size_t at = station.find('\n'); at != std::string::npos; at = station.find('\n', at + 1))
        station.insert(at + 1, "    ");
      list += (i ? ",\n    " : "\n    ") + station;
    }
    list += shown.empty() ? "]" : "\n  ]";
    JsonObject json;
    json.Add("file", file)
        .Add("sim_folder", g_SimFolder)
        .Add("winds_aloft_stations", counts.windsAloft)
        .Add("temperature_aloft_stations", counts.temperatureAloft)
        .Add("m_UpperAirStations", static_cast<std::int64_t>(stations->m_UpperAirStations.size()))
        .Add("status", status.GetText())
        .AddRaw("stations", list);
    std::cout << json.Str() << "\n";
    return 0;
  }
  std::cout << "file:                       " << file << "\n"
            << "simulator folder:           " << g_SimFolder << "\n"
            << "winds_aloft_stations:       " << counts.windsAloft << "\n"
            << "temperature_aloft_stations: " << counts.temperatureAloft << "\n"
            << "status:                     " << status.GetText() << "\n";
  std::cout.flush();
  for (const Weather_Station* s : shown) PrintStation(*s);
  std::fflush(stdout);
  return 0;
}

}  // namespace inspect
