// Decodes any bytes as a TTAA message (up to the first newline) and a TTBB message (the rest)
// for one station, which takes each message's number so that both get past the checks.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "reports/temp_decoder.h"
#include "stations/station_records.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\n');
  const std::string ttaa(input.substr(0, split));
  const std::string ttbb(split == std::string_view::npos ? std::string_view() : input.substr(split + 1));
  Weather_Station station;
  station.m_Elevation = 100.0;
  if (ttaa.size() >= 14) station.m_WmoNumber = ttaa.substr(9, 5);
  station.DecodeTTAA(ttaa);
  if (ttbb.size() >= 14) station.m_WmoNumber = ttbb.substr(9, 5);
  for (int round = 0; round < 2; ++round) {
    station.DecodeTTBB(ttbb);
    if (!station.m_SigPressure || !station.m_SigHeight || !station.m_SigTemperature || !station.m_SigDewPoint)
      std::abort();
    if (station.m_SigLevelsValid == 1) {
      const int count = station.m_SigLevelCount;
      if (count < 0 || count > kMaxSigLevels) std::abort();
      if ((*station.m_SigTemperature)[count] != -999 || (*station.m_SigDewPoint)[count] != -999) std::abort();
      for (int i = 0; i < count; ++i)
        if ((*station.m_SigPressure)[i] < 100 || (*station.m_SigPressure)[i] > 1099) std::abort();
    }
  }
  return 0;
}
