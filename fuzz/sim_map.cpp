// Any bytes as a simulator map, read into a catalogue that already holds list stations, so
// that both the take-over and the promotion of a list record are reached.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>

#include "stations/metar_stations.h"
#include "stations/sim_map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  METAR_Stations stations;
  stations.AddStationLine("72;793;KSEA;Seattle;WA;US;4;47-26N;122-18W;;;130;;P\n");
  stations.AddStationLine("--;---;1ABC;Odd;WA;US;4;47-00N;120-00W;;;100;;\n");
  stations.AddSimulatorMap(data, size);
  // Every record counts; a station the map lists again is one simulator station.
  if (g_SimStationCount.load() < static_cast<int>(stations.m_SimStations.size())) std::abort();
  if (static_cast<std::size_t>(g_SimStationCount.load()) > size / kSimMapFixedSize) std::abort();
  std::set<const METAR_Station*> seen;
  for (const METAR_Station* s : stations.m_SimStations) {
    if (!seen.insert(s).second) std::abort();
    if (s->m_State != kStateToSend || stations.Lookup(s->m_Key) != s) std::abort();
    if (s->m_Key.size() > kSimMapIdSize || s->m_Name.size() > kSimMapMaxName) std::abort();
  }
  return 0;
}
