// Any bytes as a downloaded body: the check that decides whether it may be kept as a weather
// file, for both kinds. A body it keeps as upper air holds a sounding.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "acquire/weather_sources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/altivane-fuzz-body-" + std::to_string(::getpid());
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (size && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  const std::string metar = WhyNotWeather(path, WeatherBodyKind::Metar);
  const std::string upperAir = WhyNotWeather(path, WeatherBodyKind::UpperAir);
  if (upperAir.empty() && !HoldsSounding(path)) std::abort();
  if (size == 0 && (metar.empty() || upperAir.empty())) std::abort();
  return 0;
}
