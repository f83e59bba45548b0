// Any bytes as station-list lines: parsed, classified and stored like the list reader does,
// pieces of at most 255 characters each.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "stations/metar_stations.h"
#include "stations/station_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  METAR_Stations stations;
  g_MetarStationCount = 0;
  g_WeatherStationCount = 0;
  int lines = 0;
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    end = end == std::string_view::npos ? rest.size() : end + 1;
    end = std::min(end, kStationLinePiece);
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end);
    auto parsed = ParseStationLine(line);
    if (parsed->m_State != kStateIdle) std::abort();
    stations.AddStationLine(line);
    ++lines;
  }
  if (g_MetarStationCount + g_WeatherStationCount != lines) std::abort();
  if (stations.Count() > static_cast<std::size_t>(lines)) std::abort();
  return 0;
}
