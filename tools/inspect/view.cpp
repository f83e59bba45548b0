// altivane-inspect view: the weather view page an update pass at a given position would write,
// without a simulator: the same station walk and preparation, the same page.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

#include "inspect.h"
#include "cycle/candidates.h"
#include "cycle/cycle_rules.h"
#include "view/view_file.h"
#include "view/weather_view.h"
#include "platform/paths.h"
#include "reports/metar_decoder.h"
#include "stations/sim_folder.h"
#include "stations/metar_stations.h"

namespace inspect {

namespace {

constexpr const char* kName = "view";

// The pass's walk with the simulator left out.
class ViewWalkSink : public StationWalkSink {
 public:
  ViewWalkSink(METAR_Stations& stations, PassView& view) : m_Stations(stations), m_View(view) {}
  void SendNew(METAR_Station& station) override { PrepareStationWeather(m_Stations, station, m_View); }
  void SendRefresh(METAR_Station& station) override { m_View.Refreshed(station); }
  void CommitRadius(int radius) override { m_View.Committed(radius); }
  void CommitAll(int) override {}
  bool StopRequested() override { return false; }

 private:
  METAR_Stations& m_Stations;
  PassView& m_View;
};

bool ParsePosition(const std::string& text, double& latitude, double& longitude) {
  const std::size_t comma = text.find(',');
  if (comma == std::string::npos) return false;
  const std::string a = text.substr(0, comma);
  const std::string b = text.substr(comma + 1);
  char* end = nullptr;
  latitude = std::strtod(a.c_str(), &end);
  if (a.empty() || *end != '\0') return false;
  longitude = std::strtod(b.c_str(), &end);
  if (b.empty() || *end != '\0') return false;
  return latitude >= -90.0 && latitude <= 90.0 && longitude >= -180.0 && longitude <= 180.0;
}

// "2026-12-07T12:30Z" as seconds since 1970.
bool ParseNow(const std::string& text, std::int64_t& now) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  char z = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d%c", &y, &mo, &d, &h, &mi, &z) != 6 || z != 'Z') return false;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59) return false;
  now = UtcSeconds(y, mo, d, h, mi);
  return true;
}

}  // namespace

int RunView(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!ParseOptions(args,
                    {{"--sim-folder", true},
                     {"--metar", true},
                     {"--temp", true},
                     {"--position", true},
                     {"--out", true},
                     {"--now", true},
                     {"--json", false}},
                    &options, &error))
    return UsageError(kName, error);
  if (!options.positional.empty()) return UsageError(kName, "takes no station key");
  const std::string* positionText = options.Value("--position");
  double latitude = 0.0;
  double longitude = 0.0;
  if (!positionText || !ParsePosition(*positionText, latitude, longitude))
    return UsageError(kName, "--position needs LAT,LON in degrees");
  std::int64_t now = 0;
  if (const std::string* nowText = options.Value("--now")) {
    if (!ParseNow(*nowText, now)) return UsageError(kName, "--now needs YYYY-MM-DDTHH:MMZ");
  }
  if (int failed = UseSimFolder(kName, options)) return failed;

  const auto started = std::chrono::steady_clock::now();
  LastStatusField status;
  auto stations = std::make_unique<METAR_Stations>();
  if (int failed = LoadCatalogueWithWeather(kName, options, *stations)) return failed;

  auto candidates = std::make_unique<CandidateList>();
  BuildCandidateList(*candidates, stations->m_SimStations, latitude, longitude);
  PassView view;
  view.Begin(latitude, longitude, now);
  ViewWalkSink sink(*stations, view);
  const StationWalkResult walked = WalkStations(*candidates, sink);
  const std::string html = RenderWeatherView(view.Page());

  const std::string* out = options.Value("--out");
  const std::filesystem::path target =
      out ? std::filesystem::path(*out) : WeatherViewPath(g_SimFolder + "Altivane\\Weather\\");
  if (!WriteWeatherView(target, html)) return Failure(kName, "cannot write " + target.string());
  const std::string path = target.string();
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
  if (options.Has("--json")) {
    // What the page shows of every station, for scripts that check the page without its markup.
    const std::string shown = ShownStationsJson(view.Page());
    JsonObject json;
    json.Add("path", path)
        .Add("stations_set", walked.m_StationsSet)
        .Add("bytes", static_cast<std::int64_t>(html.size()))
        .Add("milliseconds", ms)
        .AddRaw("stations", shown.substr(shown.find('['), shown.rfind(']') - shown.find('[') + 1));
    std::cout << json.Str() << "\n";
  } else {
    std::printf("%s: %d stations, %lu bytes, made in %.0f ms\n", path.c_str(), walked.m_StationsSet,
                static_cast<unsigned long>(html.size()), ms);
  }
  return 0;
}

}  // namespace inspect
