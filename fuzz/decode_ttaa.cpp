// Decodes any bytes as a TTAA message. The first byte picks the station's elevation; the station
// takes the message's own number so that the decoding gets past the checks.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "stations/station_records.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static constexpr double kElevations[] = {0.0, 37.0, 1288.0, -20.5, 1e300, -1e300};
  Weather_Station station;
  station.m_Elevation = kElevations[data[0] % std::size(kElevations)];
  const std::string message(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (message.size() >= 14) station.m_WmoNumber = message.substr(9, 5);
  for (int round = 0; round < 2; ++round) {
    station.DecodeTTAA(message);
    if (station.m_UpperAirValid != 0 && station.m_UpperAirValid != 1) std::abort();
    if (station.m_LevelPressure[12] != -999 || station.m_LevelHeight[12] != -999) std::abort();
    for (int i = 1; i < 12; ++i) {
      const int direction = station.m_LevelWindDirection[i];
      if (direction != -999 && (direction < 0 || direction > 360)) std::abort();
      const int temperature = station.m_LevelTemperature[i];
      if (temperature != -999 && (temperature < -100 || temperature > 100)) std::abort();
    }
  }
  return 0;
}
