// Feeds any bytes as the lines of an upper-air file into a small catalogue (stations keyed by
// number and by ICAO indicator), twice, as two files of one acquisition would be. The lines are
// cut at each '\n' and after 255 characters, as the file reader hands them on.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "platform/progress.h"
#include "reports/upper_air_file.h"
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

class NoProgress final : public ProgressSink {
 public:
  void Show(const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto stations = MakeCatalogue();
  NoProgress progress;
  for (int round = 0; round < 2; ++round) {
    UpperAirLineReader reader(*stations, progress);
    for (std::size_t pos = 0; pos < bytes.size();) {
      const std::size_t lineEnd = bytes.find('\n', pos);
      const std::size_t end = std::min(lineEnd == std::string_view::npos ? bytes.size() : lineEnd + 1, pos + 255);
      reader.AddLine(bytes.substr(pos, end - pos));
      pos = end;
    }
    auto& listed = stations->m_UpperAirStations;
    for (std::size_t i = 0; i < listed.size(); ++i) {
      if (listed[i]->m_UpperAirValid != 1) std::abort();
      if (std::find(listed.begin() + static_cast<std::ptrdiff_t>(i) + 1, listed.end(), listed[i]) != listed.end())
        std::abort();
    }
  }
  return 0;
}
