// Decodes any bytes as a surface report, into a fresh record and into one that keeps the
// previous input's report, and checks the ranges every reader of the record relies on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "reports/metar_decoder.h"
#include "base/random.h"
#include "stations/station_records.h"

namespace {

void Check(const METAR_Station& s) {
  if (s.m_ReportValid != 0 && s.m_ReportValid != 1) std::abort();
  if (s.m_WindSpeed < 0 || s.m_WindSpeed > 400) std::abort();
  if (s.m_PrecipIntensity < 0.0 || s.m_PrecipIntensity > 1.0) std::abort();
  if (s.m_Thunderstorm != 0 && s.m_Thunderstorm != 1) std::abort();
  if (s.m_Pressure != kMissing && s.m_Pressure <= 0) std::abort();
  for (double cover : s.m_CloudCover)
    if (cover != kMissingReal && (cover < 0.0 || cover > 1.0)) std::abort();
  // Temperature groups have at most two digits; a usable report has a temperature and a pressure.
  for (int degrees : {s.m_Temperature, s.m_DewPoint})
    if (degrees != kMissing && (degrees < -99 || degrees > 99)) std::abort();
  if (s.m_ReportValid == 1 && (s.m_Temperature == kMissing || s.m_Pressure == kMissing)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static METAR_Station reused;
  const std::string report(reinterpret_cast<const char*>(data), size);
  // Odd first bytes decode against a near reference, so the age check also stops reports.
  const WeatherTime reference = size > 0 && (data[0] & 1) ? *ParseReferenceTime("2023-04-29 12:00") : NoAgeLimit();
  SeedRandom(static_cast<std::uint32_t>(size));
  METAR_Station fresh;
  fresh.m_Elevation = 1500.0;
  const bool decoded = fresh.DecodeReport(report, reference);
  // A NIL report leaves even the text; any other report is kept as text.
  if (fresh.m_ReportText != report && !(fresh.m_ReportText.empty() && !decoded)) std::abort();
  // A record that never decoded a report is not usable.
  if (!decoded && fresh.m_ReportValid != 0) std::abort();
  Check(fresh);
  reused.DecodeReport(report, reference);
  Check(reused);
  return 0;
}
