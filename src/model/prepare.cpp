#include "model/prepare.h"

#include "model/blending.h"
#include "model/layers.h"
#include "model/weather_block.h"
#include "stations/metar_stations.h"

WeatherBlockBytes PrepareStationWeather(METAR_Stations& stations, METAR_Station& station, BlendTrace* trace) {
  BlendUpperAir(stations, station.m_Latitude, station.m_Longitude, g_BlendedProfile, trace);
  const double referenceHeight = g_BlendedProfile.m_LevelHeight[0];
  if (station.m_ReportValid == 0) {
    BlendSurface(stations, station, trace);
    station.m_ReportValid = 0;
  } else if (trace) {
    trace->m_SurfaceBlended = false;
    trace->m_Surface.clear();
    trace->m_Fields.clear();
    trace->m_TakenOverFrom.clear();
  }
  ClearWeatherBlock(station.m_WeatherBlock.bytes);
  FillBlockHeader(station);
  AddCloudLayers(station, g_BlendedProfile, referenceHeight);
  AddWindAndTemperatureLayers(station, g_BlendedProfile, stations.m_CycleFileRead);
  return station.m_WeatherBlock.bytes;
}
