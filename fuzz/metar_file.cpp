// Reads any bytes as a METAR file (through a temporary file, as the reader opens files by
// name) into a small catalogue: no crash, no hang, and the file always counts as read.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "reports/metar_decoder.h"
#include "stations/metar_stations.h"

namespace {

std::string TempPath() {
  char path[] = "/tmp/altivane-fuzz-metar-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) std::abort();
  close(fd);
  return path;
}

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
  static const std::string path = TempPath();
  static const bool removeAtExit = std::atexit([] { std::remove(path.c_str()); }) == 0;
  (void)removeAtExit;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  auto stations = Catalogue();
  if (!stations->ReadMetarFile(path, NoAgeLimit())) std::abort();
  if (stations->m_CycleFileRead != 1) std::abort();
  return 0;
}
