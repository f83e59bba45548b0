// Reads any bytes as an upper-air file into a small catalogue (stations keyed by number and by
// ICAO indicator), twice, as two files of one acquisition would be.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "stations/metar_stations.h"

namespace {

std::unique_ptr<METAR_Stations> MakeCatalogue() {
  auto stations = std::make_unique<METAR_Stations>();
  for (const char* number : {"12345", "72201", "00000"}) {
    auto record = std::make_unique<Weather_Station>();
    record->m_Key = record->m_WmoNumber = number;
    stations->SetAt(number, std::move(record));
  }
  auto icao = std::make_unique<METAR_Station>();
  icao->m_Key = "PANT";
  icao->m_WmoNumber = "70398";
  icao->m_Elevation = 37.0;
  stations->SetAt("PANT", std::move(icao));
  stations->SetWmoKey("70398", "PANT");
  // A high station, whose lowest levels lie below its ground.
  auto high = std::make_unique<METAR_Station>();
  high->m_Key = "KSLC";
  high->m_WmoNumber = "72572";
  high->m_Elevation = 1288.0;
  stations->SetAt("KSLC", std::move(high));
  stations->SetWmoKey("72572", "KSLC");
  return stations;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/altivane-fuzz-upa-" + std::to_string(getpid()) + ".txt";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  if (size) std::fwrite(data, 1, size, file);
  std::fclose(file);

  auto stations = MakeCatalogue();
  for (int round = 0; round < 2; ++round) {
    if (!stations->ReadUpperAirFile(path)) std::abort();
    auto& listed = stations->m_UpperAirStations;
    for (std::size_t i = 0; i < listed.size(); ++i) {
      if (listed[i]->m_UpperAirValid != 1) std::abort();
      if (std::find(listed.begin() + static_cast<std::ptrdiff_t>(i) + 1, listed.end(), listed[i]) != listed.end())
        std::abort();
    }
  }
  std::remove(path.c_str());
  return 0;
}
