#include "app/main_dialog.h"
#include "cycle/run_state.h"
#include "cycle/update_cycle.h"
#include "cycle/connection.h"
#include "stations/sim_folder.h"
#include "stations/metar_stations.h"

DialogServices DefaultDialogServices() {
  DialogServices services;
  services.readSimulatorFolder = [] { return ReadSimulatorFolder(); };
  services.loadStations = [](METAR_Stations& stations) { stations.LoadStations(); };
  services.stopUpdateCycle = [] { StopUpdateCycle(); };
  services.stopRequested = [] { return StopRequested(); };
  services.prepareWeatherRun = [] { PrepareWeatherRun(); };
  services.startUpdatePass = [](bool background) { StartUpdatePass(background); };
  services.getCurrentWeather = [](IWeatherOwner* owner) { GetWeatherfromFile().GetCurrentWeather(owner); };
  services.getWeatherFromFile = [](IWeatherOwner& owner) { return GetWeatherfromFile().GetWeatherFromFile(owner); };
  return services;
}
