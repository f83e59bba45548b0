#pragma once
// The weather view: one self-contained HTML page of the stations an update pass wrote, with the
// aircraft, the radius rings, a station model per station, and per station where its values
// came from. The pass records what it prepares into a PassView; the page is rendered from that
// record alone, so altivane-inspect can render the page of any position the same way.
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "model/blending.h"
#include "model/weather_block_fields.h"
#include "stations/station_records.h"

class METAR_Stations;

inline constexpr const char* kWeatherViewFileName = "weather-view.html";

// What the page shows of one station, copied out of the catalogue when the pass prepared it.
struct ViewStation {
  std::string m_Key;
  std::string m_Name;
  double m_Latitude = 0.0;
  double m_Longitude = 0.0;
  double m_Elevation = 0.0;
  double m_SquaredDistance = 0.0;  // from the aircraft, square nautical miles
  bool m_Traced = false;           // prepared in a pass this program saw (the trace is known)
  BlendTrace m_Trace;
  std::string m_ReportText;
  std::int32_t m_WindDirection = 0;
  std::int32_t m_WindSpeed = 0;
  std::int32_t m_WindGust = 0;
  double m_Visibility = 0.0;  // statute miles
  std::string m_Weather;
  double m_PrecipIntensity = 0.0;
  std::array<double, kCloudSlots> m_CloudCover{};
  std::array<std::int32_t, kCloudSlots> m_CloudBase{};  // metres above the station
  std::int32_t m_Temperature = kMissing;
  std::int32_t m_DewPoint = kMissing;
  std::int32_t m_Pressure = kMissing;
  // The blended upper-air profile the station's layers were built from.
  std::int32_t m_ProfileValid = 0;
  LevelTable m_LevelHeight{};
  LevelTable m_LevelTemperature{};
  LevelTable m_LevelDewPoint{};
  LevelTable m_LevelWindDirection{};
  LevelTable m_LevelWindSpeed{};
  DecodedWeatherBlock m_Block;
};

struct WeatherViewPage {
  double m_AircraftLatitude = 0.0;
  double m_AircraftLongitude = 0.0;
  int m_Radius = 0;                     // last radius committed, nautical miles
  std::string m_Stamp;                  // when the page was made, shown as it is
  std::vector<ViewStation> m_Stations;  // nearest first
};

// A polyline of the map outline, longitude/latitude pairs in degrees.
using OutlineLine = std::vector<std::pair<float, float>>;
// The coastlines and borders built into the program; empty when it was built without them.
const std::vector<OutlineLine>& MapOutline();

// Records one pass: the stations prepared (with their traces) and refreshed.
class PassView {
 public:
  void Begin(double latitude, double longitude);
  // Prepares the station as the pass does (PrepareStationWeather) and records it.
  WeatherBlockBytes Prepare(METAR_Stations& stations, METAR_Station& station);
  // A station sent again unchanged: shown as the pass that prepared it left it.
  void Refreshed(const METAR_Station& station);
  void Committed(int radius) { m_Page.m_Radius = radius; }
  const WeatherViewPage& Page() const { return m_Page; }

 private:
  WeatherViewPage m_Page;
  std::map<std::string, ViewStation> m_Prepared;  // by key, across passes
};

// Text escaped for HTML element content and attribute values.
std::string EscapeHtml(std::string_view text);
// "wind 170° at 14 kt gusting 24, visibility 6 miles, broken clouds at 3,400 ft, 9 °C, QNH 1011 hPa"
std::string DescribeWeather(const ViewStation& station);
// "VFR", "MVFR", "IFR" or "LIFR" from the lowest broken or overcast base (feet above the
// station, negative for none) and the visibility in statute miles.
const char* FlightCategory(double ceilingFeet, double visibilityMiles);
// Lowest broken or overcast base aloft in feet above the station; -1 when there is none. The
// mist or fog layer on the ground is no ceiling (the visibility carries it).
double CeilingFeet(const ViewStation& station);

std::string RenderWeatherView(const WeatherViewPage& page);

// The page's path in a weather folder (program form, ending with a backslash).
std::filesystem::path WeatherViewPath(const std::string& weatherFolder);
// Writes the page to a temporary name next to target, then renames it over the old page, so a
// browser never reads half a page. False when it could not be written.
bool WriteWeatherView(const std::filesystem::path& target, const std::string& html);

// Told the native path after every page the update pass writes (set by the front end; may be
// called from the pass thread).
void SetWeatherViewListener(std::function<void(const std::string&)> listener);
void NotifyWeatherViewWritten(const std::string& path);
