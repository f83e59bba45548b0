#include "app/main_dialog.h"
#include "model/run_state.h"
#include "model/update_cycle.h"
#include "simlink/connection.h"
#include "simlink/sim_folder.h"
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
