#include "model/prepare.h"

#include <utility>

#include "model/blending.h"
#include "model/layers.h"
#include "model/neighbour_index.h"
#include "model/weather_block_fields.h"
#include "base/bytes.h"
#include "stations/metar_stations.h"

WeatherBlockBytes PrepareStationWeather(METAR_Stations& stations, METAR_Station& station, BlendTrace* trace) {
  BlendUpperAir(stations, station.m_Latitude, station.m_Longitude, g_BlendedProfile, trace);
  const double referenceHeight = g_BlendedProfile.m_LevelHeight[0];
  if (station.m_ReportValid == 0) {
    BlendSurface(stations, station, trace);
    station.m_ReportValid = 0;
    // A blend without a single pressure gives 0, which is no pressure at all.
    if (station.m_Pressure <= 0) station.m_Pressure = kMissing;
  } else if (trace) {
    trace->m_SurfaceBlended = false;
    trace->m_Surface.clear();
    trace->m_Fields.clear();
    trace->m_TakenOverFrom.clear();
  }
  // A report without a visibility group (an automatic station without the sensor) is no fog:
  // the station sees what its neighbours see. Its own record stays without one, so that it
  // never lends the stand-in to another station's blend.
  if (station.m_VisibilityMissing) station.m_Visibility = VisibilityFromNeighbours(stations, station);
  ClearWeatherBlock(station.m_WeatherBlock.bytes);
  FillBlockHeader(station);
  AddCloudLayers(station, g_BlendedProfile, referenceHeight);
  AddWindAndTemperatureLayers(station, g_BlendedProfile, stations.m_CycleFileRead);
  // Pressure words never written hold 0, which the simulator takes as 0 hPa: a station
  // without any pressure gets the standard one instead.
  if (LoadU16(station.m_WeatherBlock.bytes.data() + WeatherBlockOffset::kPressure) == 0)
    WritePressure(station.m_WeatherBlock, static_cast<std::uint16_t>(kStandardPressure * 16));
  return station.m_WeatherBlock.bytes;
}

WeatherBlockBytes PrepareStationWeather(METAR_Stations& stations, METAR_Station& station, PreparationSink& sink) {
  BlendTrace trace;
  const WeatherBlockBytes block = PrepareStationWeather(stations, station, &trace);
  sink.Prepared(station, g_BlendedProfile, std::move(trace));
  return block;
}

bool WeatherSources::GiveWeatherTo(const METAR_Station& station) const {
  const int others = m_Reporting - (station.m_ReportValid != 0 ? 1 : 0);
  return station.m_ReportValid != 0 || others > 0 || m_UpperAir > 0;
}

WeatherSources CountWeatherSources(const METAR_Stations& stations) {
  WeatherSources sources;
  sources.m_UpperAir = static_cast<int>(stations.m_UpperAirStations.size());
  // Not a walk over every record at every pass: it stops at the second report.
  for (const auto& [key, record] : stations.Records()) {
    if (record->m_ReportValid != 0 && record->AsReportStation() && ++sources.m_Reporting == 2) break;
  }
  return sources;
}

std::string PassResultText(const METAR_Stations& stations, const METAR_Station& nearest, int stationsSet) {
  const METAR_Station* source = nearest.m_ReportValid != 0 ? &nearest : nullptr;
  if (!source) {
    // The blend's nearest reporting station gives the weather its time and its character:
    // the first of its slots, or where those hold none (no report at a finite distance), the
    // walk over every record.
    const NeighbourSlots slots = NearestReportingStations(stations, nearest);
    if (slots.Filled() > 0) source = static_cast<const METAR_Station*>(slots.m_Station[0]);
  }
  if (!source) {
    double best = 0.0;
    for (const auto& [key, record] : stations.Records()) {
      const auto* candidate = dynamic_cast<const METAR_Station*>(record.get());
      if (!candidate || candidate == &nearest || candidate->m_ReportValid == 0) continue;
      const double d = static_cast<double>(
          SquaredDistance(candidate->m_Latitude, candidate->m_Longitude, nearest.m_Latitude, nearest.m_Longitude));
      if (!source || d < best) {
        source = candidate;
        best = d;
      }
    }
  }
  std::string text = std::to_string(stationsSet) + " Weather stations set, nearest " + nearest.m_Key;
  if (source == &nearest) {
    text += " (own report)";
  } else if (source) {
    text += " (blended from " + source->m_Key + ")";
  } else {
    text += " (upper air only)";
  }
  if (source && !source->m_ObsTime.empty()) text += ", " + source->m_ObsTime + "Z";
  if (!UpperAirWithinReach(stations, nearest.m_Latitude, nearest.m_Longitude))
    text += ", no upper air within " + std::to_string(static_cast<int>(kUpperAirReach)) + " nm";
  return text + ".";
}
