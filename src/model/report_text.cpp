#include "model/report_text.h"

#include <cstdint>

#include "base/text.h"
#include "base/units.h"
#include "stations/station_records.h"

namespace {

// Cover kind of a layer; none for a clear layer above the first or a cover beyond 1.
const char* CoverKind(double cover) {
  if (cover <= 0.125) return "CLR";
  if (cover <= 0.25) return "FEW";
  if (cover <= 0.5) return "SCT";
  if (cover <= 0.875) return "BKN";
  if (cover <= 1.0) return "OVC";
  return nullptr;
}

// "M07" for -7, "05" for 5; wide values in full (-999 -> "M999").
void AppendSignedTwoDigits(std::string& out, std::int32_t value, char after) {
  if (value < 0)
    AppendFormat(out, "M%.2lld%c", -static_cast<long long>(value), after);
  else
    AppendFormat(out, "%.2d%c", value, after);
}

}  // namespace

std::string ComposeReportText(const METAR_Station& station, std::string_view obsDate, std::string_view obsTime) {
  std::string text = "METAR ";
  text += station.m_Key;
  text += ' ';
  text += obsDate;
  text += ' ';
  text += obsTime;
  text += " AUTO ";
  AppendFormat(text, "%3.3d%.2dG%.2dKT ", station.m_WindDirection, station.m_WindSpeed, station.m_WindGust);
  AppendFormat(text, "%dSM ", TruncateToInt(station.m_Visibility + 0.5));
  // A thunderstorm alone has an intensity but no weather text: no empty group for it.
  if (station.m_PrecipIntensity != 0.0 && !station.m_Weather.empty()) {
    text += station.m_Weather;
    text += ' ';
  }
  for (int c = 0; c < kCloudSlots; ++c) {
    const char* kind = CoverKind(station.m_CloudCover[c]);
    if (!kind) continue;
    if (kind[0] == 'C') {
      if (c == 0) text += "CLR ";
      continue;
    }
    // Mist or fog lies on the ground in the first slot: BR or FG, not a broken layer at 0 ft.
    if (c == 0 && station.m_CloudBase[0] == 0) {
      text += station.m_CloudCover[0] >= 0.75 ? "FG " : "BR ";
      continue;
    }
    const int hundredsOfFeet = TruncateToInt(FeetFromMetres(station.m_CloudBase[c])) / 100;
    AppendFormat(text, "%s%3.3d ", kind, hundredsOfFeet);
  }
  AppendSignedTwoDigits(text, station.m_Temperature, '/');
  AppendSignedTwoDigits(text, station.m_DewPoint, ' ');
  AppendFormat(text, "A%4.4d", station.m_Pressure);
  return text;
}
