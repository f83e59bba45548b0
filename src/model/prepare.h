#pragma once
// The weather of one simulator station, as the update pass prepares it for the simulator.
#include "stations/weather_block.h"

class METAR_Stations;
class METAR_Station;
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
