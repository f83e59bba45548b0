#pragma once
// The main window's behaviour, independent of any window system: initialisation, the buttons,
// the start of the update cycle with its periodic refresh, closing and shut-down. The window
// front ends (terminal on Linux, dialog on Windows) own the controls and forward button presses.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "acquire/get_weather.h"
#include "platform/controls.h"
#include "stations/weather_time.h"

class METAR_Stations;

// True while the "Update" check box is checked.
extern std::atomic<bool> g_bAutoUpdate;

// The operations the window drives. DefaultDialogServices() binds the program's own; tests
// put in their own to watch and time them.
struct DialogServices {
  std::function<int()> readSimulatorFolder;  // 0 on success
  std::function<void(METAR_Stations&)> loadStations;
  std::function<void()> stopUpdateCycle;
  std::function<bool()> stopRequested;  // a stop bit of the run state is set
  std::function<void()> prepareWeatherRun;
  std::function<void(bool background)> startUpdatePass;         // run state 0, pass thread started
  std::function<void(IWeatherOwner* owner)> getCurrentWeather;  // owner none: the refresh
  std::function<int(IWeatherOwner& owner)> getWeatherFromFile;  // asks for a file; 0 when cancelled
  // The periodic refresh: number of waits and the length of one.
  int refreshWaits = 151;
  std::chrono::milliseconds refreshWait{10000};
};

DialogServices DefaultDialogServices();

class CALTIVANEDlg;

// The automation object as the window sees it: attached while a client holds one.
class CALTIVANEDlgAutoProxy {
 public:
  explicit CALTIVANEDlgAutoProxy(CALTIVANEDlg* dialog);
  ~CALTIVANEDlgAutoProxy();
  CALTIVANEDlgAutoProxy(const CALTIVANEDlgAutoProxy&) = delete;
  CALTIVANEDlgAutoProxy& operator=(const CALTIVANEDlgAutoProxy&) = delete;

  CALTIVANEDlg* m_pDialog;
};

class CALTIVANEDlg : public IWeatherOwner {
 public:
  struct Controls {
    IStatusField* status = nullptr;
    IButton* start = nullptr;
    IButton* end = nullptr;
    ITimeField* time = nullptr;
  };

  CALTIVANEDlg(Controls controls, DialogServices services);
  ~CALTIVANEDlg() override;  // shut-down
  CALTIVANEDlg(const CALTIVANEDlg&) = delete;
  CALTIVANEDlg& operator=(const CALTIVANEDlg&) = delete;

  // Sets the process-wide control references, finds the simulator folder and loads the
  // catalogue. False when there is no simulator folder (the window stays, weather buttons off).
  bool OnInitDialog();

  void OnStart();
  void OnEnd();
  void OnGetCurrentWeather();
  void OnGetWeatherFromFile();
  void OnUpdateNow();
  void OnUpdateToggle();

  // Close, OK and Cancel: true when the window may close now (false: hidden instead).
  bool OnClose();
  bool OnOK() { return CanExit(); }
  bool OnCancel() { return CanExit(); }
  bool CanExit();

  // The time of the weather loaded from files, shown in the time field.
  void SetWeatherTime(WeatherTime time) override;
  WeatherTime GetWeatherTime() const;
  // The time field read back when the window is confirmed: the user's locale's date and time.
  // False (the weather time unchanged) when the text is none.
  bool ReadTimeField(const std::string& text);

  // Starts the update pass and, while "Update" is checked, the periodic refresh.
  void StartUpdateCycle(bool background);

  // Stops the cycle, ends the periodic refresh and deletes the catalogue. Idempotent.
  void Shutdown();

  // The weather buttons ("Get current weather", "Get weather...", "Update Now") work only
  // with a catalogue, so they are off when start-up found no simulator folder.
  bool WeatherButtonsEnabled() const { return m_WeatherButtonsEnabled; }
  bool IsHidden() const { return m_Hidden.load(); }
  void Show() { m_Hidden.store(false); }

  std::atomic<CALTIVANEDlgAutoProxy*> m_pAutoProxy{nullptr};

 private:
  void StartUpdateCycleLocked(bool background);
  void AutoUpdateThread(std::uint64_t generation);
  // True when the refresh of this generation should end now.
  bool RefreshCancelled(std::uint64_t generation);
  void ReapRefreshThreads(bool all);

  Controls m_Controls;
  DialogServices m_Services;
  std::atomic<WeatherTime> m_WeatherTime;
  bool m_WeatherButtonsEnabled = false;
  std::atomic<bool> m_Hidden{false};
  bool m_ShutDown = false;

  // The periodic refresh: a new one supersedes the one before, so at most one waits.
  std::mutex m_RefreshMutex;
  std::condition_variable m_RefreshWake;
  std::uint64_t m_RefreshGeneration = 0;
  bool m_Closing = false;
  std::vector<std::thread> m_RefreshThreads;
  std::vector<std::thread::id> m_FinishedRefreshes;
};

extern std::atomic<CALTIVANEDlg*> g_pMainDlg;

// A weather time as the time field shows it: the user's locale's date and time.
std::string FormatWeatherTime(WeatherTime time);
