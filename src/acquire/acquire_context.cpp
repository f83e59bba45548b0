#include <cstdio>
#include <cstdlib>
#include <optional>

#include "acquire/get_weather.h"
#include "cycle/run_state.h"
#include "stations/metar_stations.h"

namespace {

// Tests and trials only: ALTIVANE_TEST_NOW=2023-04-29T12:20Z stands in for the system clock,
// so that recorded files of that hour are fetched and read as the current weather.
std::optional<std::chrono::system_clock::time_point> TestNow() {
  const char* text = std::getenv("ALTIVANE_TEST_NOW");
  if (!text) return std::nullopt;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  char zone = 0;
  if (std::sscanf(text, "%4d-%2d-%2dT%2d:%2d%c", &year, &month, &day, &hour, &minute, &zone) != 6 || zone != 'Z')
    return std::nullopt;
  const auto start = MakeUtcHour(year, month, day, hour);
  if (!start || minute < 0 || minute > 59) return std::nullopt;
  return std::chrono::system_clock::time_point{ToWeatherTime(*start) + std::chrono::minutes{minute}};
}

}  // namespace

AcquireContext DefaultAcquireContext() {
  AcquireContext context = CatalogueContext(g_pStations.load());
  context.stopUpdateCycle = [] { StopUpdateCycle(); };
  if (const auto now = TestNow()) context.clock = [time = *now] { return time; };
  return context;
}
