#pragma once
// Weather acquisition: the current weather from the internet, and weather from files the user
// picks. One object per user action or refresh; it keeps nothing between calls.
#include <chrono>
#include <functional>
#include <mutex>
#include <string>

#include "acquire/url_downloader.h"
#include "acquire/weather_sources.h"
#include "stations/weather_time.h"

class METAR_Stations;

// The main window as the acquisition sees it (the dialog implements it).
class IWeatherOwner {
 public:
  virtual ~IWeatherOwner() = default;
  // The time of the weather loaded from files (the stamp of the chosen METAR file).
  virtual void SetWeatherTime(WeatherTime time) = 0;
};

// What an acquisition works with. DefaultAcquireContext() gives the process-wide catalogue, its
// two readers, StopUpdateCycle and the system clock; tests put their own in. The file and yes/no
// questions go through the installed user dialogs (platform/dialogs.h).
struct AcquireContext {
  METAR_Stations* stations = nullptr;
  // Reports newer than reference are ignored, dated entries older than oldest not decoded.
  std::function<bool(METAR_Stations&, const std::string& path, WeatherTime reference, WeatherTime oldest)>
      readMetarFile;
  std::function<bool(METAR_Stations&, const std::string& path)> readUpperAirFile;
  std::function<void()> stopUpdateCycle;
  std::function<std::chrono::system_clock::time_point()> clock;
  // Whether a picked METAR file holds any report; none: every readable file does.
  std::function<bool(const std::string& path)> holdsReports;
};

AcquireContext DefaultAcquireContext();

// Taken by whatever fills the station catalogue and by whatever starts the update cycle. A
// filler stops the cycle only once it holds the lock, so no update pass walks the catalogue
// while it is being filled, and no button or refresh starts one meanwhile.
std::recursive_mutex& CatalogueLock();

// "Error 2 at reading METAR data: proxy localhost:9202 refused the connection.", or without a
// reason "Error 2 at reading METAR data.".
std::string DownloadErrorText(DownloadResult result, const std::string& what, const std::string& reason);
// The catalogue's own readers on the given catalogue and the system clock; no cycle to stop.
AcquireContext CatalogueContext(METAR_Stations* stations);

inline constexpr const char* kMetarFileFilter = "Text Files (*.TXT)|????????_????Z*.txt|";
inline constexpr const char* kRadiosondeFileFilter = "Radiosonde Files (*.rdisnd)|*.rdisnd|All Files (*.*)|*.*|";
inline constexpr const char* kNoUpperAirQuestion =
    "Could not find winds aloft data within 12 hours of the METAR file.\nWould you like to select one?";
inline constexpr const char* kQuestionCaption = "Altivane";
inline constexpr int kUpperAirSearchHours = 12;

class GetWeatherfromFile {
 public:
  explicit GetWeatherfromFile(AcquireContext context = DefaultAcquireContext());

  // Downloads the METAR file of the current UTC hour (and, when not yet in the weather folder,
  // the complete file of the hour before and the half day's upper-air file), then reads the
  // upper-air file and both METAR files, the older first. The surface weather counts without
  // the upper air. owner: the main window for a button, none for the periodic refresh. Stops
  // the update cycle; leaves it stopped.
  void GetCurrentWeather(IWeatherOwner* owner);
  // The half day's upper-air file, from the weather folder or downloaded; true when the
  // upper-air reader accepted it.
  bool GetCurrentUpperAir();

  // Lets the user pick a METAR file: 0 when cancelled, else ReadWeatherFiles of the pick.
  int GetWeatherFromFile(IWeatherOwner& owner);
  // Reads a METAR file (first the complete file of the hour before when the pick is an hour
  // in progress) and the upper-air file nearest its reports within 12 hours. 0 when the file
  // could not be read or the user declined to pick an upper-air file, else 1.
  int ReadWeatherFiles(const std::string& path);
  // Lets the user pick a radiosonde file and reads it: false when cancelled.
  bool SelectUpperAirFile(IWeatherOwner* owner);

 private:
  bool ReadMetar(const std::string& path, WeatherTime reference, WeatherTime oldest);
  bool ReadUpperAir(const std::string& path);
  DownloadResult Download(const WeatherSource& source, WeatherBodyKind kind, std::string* reason = nullptr);
  std::string FetchSummary(const WeatherSources& sources, bool upperAir, const std::string& upperAirStatus) const;
  bool SearchUpperAirFile(std::string& found);

  AcquireContext m_Context;
  IWeatherOwner* m_pOwner = nullptr;
  // The failure of the last upper-air download, "" when there was none.
  std::string m_UpperAirStatus;
};
