#pragma once
// The weather of one simulator station, as the update pass prepares it for the simulator.
#include <string>

#include "stations/weather_block_layout.h"

class METAR_Stations;
class METAR_Station;
class Weather_Station;
struct BlendTrace;

// Prepares a station in state 1 and returns a copy of its filled weather block, ready for
// WriteWeatherBlock (set-pending). In order:
//   1. blends the upper-air profile of the station's position into g_BlendedProfile and takes
//      its level-0 height as the profile reference height;
//   2. when the station has no usable report (m_ReportValid 0), blends its surface report from
//      the nearest reporting stations and composes its report text, or takes over the report
//      of a reporting station within 1 nm; m_ReportValid stays 0, so the station never serves
//      as a neighbour itself;
//   3. clears the block, fills header and visibility, then the cloud layers, then the wind and
//      temperature layers and pressure (these only when the profile is valid and a METAR cycle
//      file has been read).
// Draws from the process-wide random generator and changes the station's record (blended
// report, cloud adjustments, block). It does not change m_State: that is the caller's.
// Not for two threads at once: g_BlendedProfile is shared.
// With a trace, also records the neighbours of both blends (it does not change the results).
WeatherBlockBytes PrepareStationWeather(METAR_Stations& stations, METAR_Station& station, BlendTrace* trace = nullptr);

// Told each station a pass prepares, with what its weather was built from: the weather view
// records the pass through it, beside the sending and not inside it.
class PreparationSink {
 public:
  virtual ~PreparationSink() = default;
  // station as prepared (its block as sent), the upper-air profile its layers were built from,
  // and the neighbours of both blends (the sink's to keep).
  virtual void Prepared(const METAR_Station& station, const Weather_Station& profile, BlendTrace&& trace) = 0;
};
// PrepareStationWeather with a trace, handed to sink with the result.
WeatherBlockBytes PrepareStationWeather(METAR_Stations& stations, METAR_Station& station, PreparationSink& sink);

// What the catalogue holds to build weather from: stations with a usable report of their own
// and stations with upper-air data. Both blends take the nearest sources at any distance, so
// one source anywhere gives every station values.
struct WeatherSources {
  // Counted up to two: a station needs to know only whether another one has a report.
  int m_Reporting = 0;
  int m_UpperAir = 0;
  bool Any() const { return m_Reporting > 0 || m_UpperAir > 0; }
  // True when the station gets at least one value: its own report, another station's report,
  // or upper air.
  bool GiveWeatherTo(const METAR_Station& station) const;
};
WeatherSources CountWeatherSources(const METAR_Stations& stations);

// What the pass shows when the catalogue holds nothing to send.
inline constexpr const char* kNoWeatherLoaded = "No weather loaded: get current weather or pick a weather file first.";
// The sea-level pressure sent for a station whose weather has none (whole hPa).
inline constexpr int kStandardPressure = 1013;

// The status line at the end of a pass: "40 Weather stations set, nearest KSEA (own report),
// 10:53Z." with the observation time of the report the nearest station's weather comes from;
// "(blended from KBFI)" when it had none of its own, "(upper air only)" without any report;
// ", no upper air within 600 nm" before the full stop when no sounding is within reach of it.
std::string PassResultText(const METAR_Stations& stations, const METAR_Station& nearest, int stationsSet);
