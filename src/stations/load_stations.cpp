#include "stations/sim_folder.h"
#include "stations/metar_stations.h"
#include "stations/sim_map.h"
#include "stations/station_list.h"

// The list first, so that simulator stations take over the list's records of the same key.
void METAR_Stations::LoadStations(ProgressSink& progress) {
  g_MetarStationCount = 0;
  g_WeatherStationCount = 0;
  g_SimStationCount = 0;
  ReadStationList(g_SimFolder, progress);
  ReadSimulatorMap(g_SimFolder, progress);
}
