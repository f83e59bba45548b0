#include "acquire/get_weather.h"
#include "cycle/run_state.h"
#include "stations/metar_stations.h"

AcquireContext DefaultAcquireContext() {
  AcquireContext context = CatalogueContext(g_pStations.load());
  context.stopUpdateCycle = [] { StopUpdateCycle(); };
  return context;
}
