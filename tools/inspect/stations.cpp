// altivane-inspect stations: loads the catalogue the way the program does at start-up.
#include <filesystem>
#include <iostream>
#include <memory>

#include "inspect.h"
#include "platform/paths.h"
#include "stations/sim_folder.h"
#include "stations/metar_stations.h"
#include "stations/sim_map.h"
#include "stations/station_list.h"

namespace inspect {

namespace {

constexpr const char* kName = "stations";

const char* ClassName(const Weather_Station& station) {
  return dynamic_cast<const METAR_Station*>(&station) ? "METAR_Station" : "Weather_Station";
}

void AddRecord(JsonObject& json, const Weather_Station& s) {
  json.Add("class", ClassName(s))
      .Add("m_Key", s.m_Key)
      .Add("m_WmoNumber", s.m_WmoNumber)
      .Add("m_Name", s.m_Name)
      .Add("m_Region", s.m_Region)
      .Add("m_Latitude", s.m_Latitude)
      .Add("m_Longitude", s.m_Longitude)
      .Add("m_Elevation", s.m_Elevation)
      .Add("m_UpperAirLatitude", s.m_UpperAirLatitude)
      .Add("m_UpperAirLongitude", s.m_UpperAirLongitude)
      .Add("m_UpperAirElevation", s.m_UpperAirElevation)
      .Add("m_State", static_cast<int>(s.m_State));
}

}  // namespace

int RunStations(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!ParseOptions(args, {{"--sim-folder", true}, {"--key", true}, {"--json", false}}, &options, &error))
    return UsageError(kName, error);
  if (!options.positional.empty()) return UsageError(kName, "unexpected argument " + options.positional[0]);

  if (int failed = UseSimFolder(kName, options)) return failed;
  // A missing file is no error for the program (it just has fewer stations); say so here.
  for (const char* file : {kStationListPath, kSimMapPath}) {
    if (!std::filesystem::exists(NativePath(g_SimFolder + file)))
      std::cerr << "altivane-inspect stations: warning: " << NativePath(g_SimFolder + file).string() << " not found\n";
  }

  LastStatusField status;
  auto stations = std::make_unique<METAR_Stations>();
  stations->LoadStations();

  const Weather_Station* record = nullptr;
  if (const std::string* key = options.Value("--key")) {
    record = LookupStation(*stations, *key);
    if (!record) return Failure(kName, "no station with key " + *key);
  }

  JsonObject json;
  json.Add("sim_folder", g_SimFolder)
      .Add("metar_stations", g_MetarStationCount.load())
      .Add("weather_stations", g_WeatherStationCount.load())
      .Add("sim_stations", static_cast<std::int64_t>(stations->m_SimStations.size()))
      .Add("records", static_cast<std::int64_t>(stations->Count()))
      .Add("status", status.GetText());
  if (record) AddRecord(json, *record);

  if (options.Has("--json")) {
    std::cout << json.Str() << "\n";
    return 0;
  }
  std::cout << "simulator folder: " << g_SimFolder << "\n"
            << "metar_stations:   " << g_MetarStationCount.load() << "\n"
            << "weather_stations: " << g_WeatherStationCount.load() << "\n"
            << "sim_stations:     " << stations->m_SimStations.size() << "\n"
            << "records:          " << stations->Count() << "\n"
            << "status:           " << status.GetText() << "\n";
  if (record) {
    std::cout << "\n"
              << "class:               " << ClassName(*record) << "\n"
              << "m_Key:               " << record->m_Key << "\n"
              << "m_WmoNumber:         " << record->m_WmoNumber << "\n"
              << "m_Name:              " << record->m_Name << "\n"
              << "m_Region:            " << record->m_Region << "\n"
              << "m_Latitude:          " << Shown(record->m_Latitude, 4, "°") << "\n"
              << "m_Longitude:         " << Shown(record->m_Longitude, 4, "°") << "\n"
              << "m_Elevation:         " << Shown(record->m_Elevation, 1, "m") << "\n"
              << "m_UpperAirLatitude:  " << Shown(record->m_UpperAirLatitude, 4, "°") << "\n"
              << "m_UpperAirLongitude: " << Shown(record->m_UpperAirLongitude, 4, "°") << "\n"
              << "m_UpperAirElevation: " << Shown(record->m_UpperAirElevation, 1, "m") << "\n"
              << "m_State:             " << record->m_State << "\n";
  }
  return 0;
}

}  // namespace inspect
