// Feeds any bytes as the lines of a METAR file into a small catalogue: no crash, no hang. The
// lines are cut at each '\n' and after kMetarLineLimit characters, as the file reader hands
// them on, but stray CRs and NULs are left in.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "platform/progress.h"
#include "reports/metar_decoder.h"
#include "reports/metar_file.h"
#include "stations/metar_stations.h"

namespace {

class NoProgress final : public ProgressSink {
 public:
  void Show(const std::string&) override {}
};

std::unique_ptr<METAR_Stations> Catalogue() {
  auto stations = std::make_unique<METAR_Stations>();
  for (const char* key : {"KLAX", "KSFO", "1ABC", "    ", "2023"}) {
    auto record = std::make_unique<METAR_Station>();
    record->m_Key = key;
    record->m_State = kStateToSend;
    stations->SetAt(key, std::move(record));
  }
  stations->SetAt("7240", std::make_unique<Weather_Station>());  // upper-air only
  return stations;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto stations = Catalogue();
  NoProgress progress;
  MetarLineReader reader(*stations, NoAgeLimit(), progress);
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t lineEnd = bytes.find('\n', pos);
    const std::size_t end =
        std::min(lineEnd == std::string_view::npos ? bytes.size() : lineEnd + 1, pos + kMetarLineLimit);
    reader.AddLine(bytes.substr(pos, end - pos));
    pos = end;
  }
  return 0;
}
