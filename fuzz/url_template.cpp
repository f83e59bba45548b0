// Any bytes as a source setting: split into URLs, each expanded for a time taken from the first
// bytes, and its host named. Fields only ever shrink ({YYYY} to four digits, the others to two),
// pieces never hold a separator, and a host is a piece of its URL.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "acquire/weather_sources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  UtcHour time;
  time.year = 1900 + (data[0] | (data[1] << 8)) % 8100;
  time.month = 1 + data[2] % 12;
  time.day = 1 + data[3] % 31;
  time.hour = (data[2] >> 4) % 24;
  const std::string settings(reinterpret_cast<const char*>(data) + 4, size - 4);
  for (const std::string& url : SplitUrls(settings)) {
    if (url.empty() || url.find_first_of(" \t\r\n") != std::string::npos) std::abort();
    const std::string expanded = ExpandUrlTemplate(url, time);
    if (expanded.size() > url.size()) std::abort();
    if (url.find('{') == std::string::npos && expanded != url) std::abort();
    const std::string host = HostOfUrl(expanded);
    if (!host.empty() && expanded.find(host) == std::string::npos) std::abort();
  }
  return 0;
}
