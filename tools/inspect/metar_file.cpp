// altivane-inspect metar-file: loads the catalogue, reads one METAR file into it and shows
// what the reader counted and which stations it decoded.
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "inspect.h"
#include "platform/paths.h"
#include "reports/metar_decoder.h"
#include "stations/sim_folder.h"
#include "stations/metar_stations.h"
#include "surface_fields.h"

namespace inspect {

namespace {

constexpr const char* kName = "metar-file";

// The count of "%d METAR Stations read and valid.", or 0 when the reader showed nothing.
int ValidCount(const std::string& status) { return status.empty() ? 0 : std::atoi(status.c_str()); }

}  // namespace

int RunMetarFile(const std::vector<std::string>& args) {
  Options options;
  std::string error;
  if (!ParseOptions(args, {{"--sim-folder", true}, {"--ref", true}, {"--json", false}}, &options, &error))
    return UsageError(kName, error);
  if (options.positional.size() != 1) return UsageError(kName, "give one METAR file");
  const std::string& file = options.positional[0];

  WeatherTime reference = NoAgeLimit();
  if (const std::string* text = options.Value("--ref")) {
    const auto parsed = ParseReferenceTime(*text);
    if (!parsed) return UsageError(kName, "--ref wants \"YYYY-MM-DD HH:MM\", not " + *text);
    reference = *parsed;
  }
  if (int failed = UseSimFolder(kName, options)) return failed;

  LastStatusField status;
  auto stations = std::make_unique<METAR_Stations>();
  stations->LoadStations();
  // The count shown is the reader's alone, not what the loader left in the field.
  status.SetText("");
  if (!stations->ReadMetarFile(file, reference)) return Failure(kName, "cannot open " + file);

  std::vector<const METAR_Station*> decoded;
  // Reports observed after --ref are left undecoded by the reader: counted and marked.
  std::int64_t newer = 0;
  const bool withReference = options.Value("--ref") != nullptr;
  for (const auto& [key, record] : stations->Records()) {
    const auto* station = dynamic_cast<const METAR_Station*>(record.get());
    if (station && !station->m_ReportText.empty()) {
      decoded.push_back(station);
      if (withReference && NewerThan(*station, reference)) ++newer;
    }
  }

  if (options.Has("--json")) {
    std::string list = "[";
    for (const METAR_Station* s : decoded) {
      JsonObject item;
      item.Add("m_Key", s->m_Key);
      AddSurfaceFields(item, *s);
      item.Add("newer_than_ref", withReference && NewerThan(*s, reference));
      // Nested objects are indented one level deeper than the outer one.
      std::string text = item.Str();
      for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        text.insert(at + 1, "    ");
      list += (list.size() > 1 ? ",\n    " : "\n    ") + text;
    }
    list += decoded.empty() ? "]" : "\n  ]";
    JsonObject json;
    json.Add("file", file)
        .Add("valid_reports", ValidCount(status.GetText()))
        .Add("status", status.GetText())
        .Add("m_CycleFileRead", stations->m_CycleFileRead)
        .Add("m_ReportDate", stations->m_ReportDate)
        .Add("m_ReportTime", stations->m_ReportTime)
        .Add("decoded_stations", static_cast<std::int64_t>(decoded.size()))
        .Add("newer_than_ref", newer)
        .AddRaw("stations", list);
    std::cout << json.Str() << "\n";
    return 0;
  }
  std::cout << "valid reports:    " << ValidCount(status.GetText()) << "\n"
            << "status:           " << status.GetText() << "\n"
            << "m_ReportDate:     " << stations->m_ReportDate << "\n"
            << "m_ReportTime:     " << stations->m_ReportTime << "\n"
            << "decoded stations: " << decoded.size() << "\n";
  if (withReference)
    std::cout << "newer than --ref: " << newer << (newer ? " (not decoded, marked below)" : "") << "\n";
  std::cout << "\n";
  for (const METAR_Station* s : decoded) {
    std::cout << s->m_Key << " valid " << s->m_ReportValid << " " << s->m_ObsDate << " " << s->m_ObsTime << " wind "
              << Shown(s->m_WindDirection, "°") << " " << Shown(s->m_WindSpeed, "kt") << " visibility "
              << Shown(s->m_Visibility, 2, "sm") << " temperature " << Shown(s->m_Temperature, "°C") << " dew point "
              << Shown(s->m_DewPoint, "°C") << " pressure " << Shown(s->m_Pressure, "hPa") << " state " << s->m_State
              << (withReference && NewerThan(*s, reference) ? "  (newer than --ref: not decoded)" : "") << "\n";
  }
  return 0;
}

}  // namespace inspect
