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
  std::string m_ObsDate;  // "2023/04/29" of the report (a blended one: of its nearest neighbour)
  std::string m_ObsTime;  // "11:53"
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
  LevelTable m_LevelPressure{};
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
  std::int64_t m_Now = 0;               // the same, UTC seconds since 1970 (0: unknown, no report ages)
  std::vector<ViewStation> m_Stations;  // nearest first
};

// A polyline of the map outline, longitude/latitude pairs in degrees.
using OutlineLine = std::vector<std::pair<float, float>>;
// The coastlines and borders built into the program; empty when it was built without them.
const std::vector<OutlineLine>& MapOutline();

// The lakes of the map outline as closed rings; empty when built without them.
const std::vector<OutlineLine>& MapLakes();

// Records one pass: the stations prepared (with their traces) and refreshed.
class PassView {
 public:
  // The page's time is the clock's at the start of the pass unless now (UTC seconds) is given.
  void Begin(double latitude, double longitude, std::int64_t now = 0);
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

// What a report says in its own groups, up to its trend (TEMPO, BECMG, NOSIG) or remarks: the
// page shows this for a station with a report, not the simulator's drawn values.
struct ReportedLayer {
  std::string m_Cover;  // "FEW", "SCT", "BKN", "OVC", or "VV" for a sky obscured
  int m_BaseFeet = -1;  // feet above the station as reported (hundreds); -1 not given (///)
  std::string m_Type;   // "CB", "TCU" or empty
};
struct ReportedWeather {
  bool m_Wind = false;       // a wind group was read
  int m_WindDirection = -1;  // degrees; -1 variable (VRB)
  int m_WindSpeed = 0;       // knots (MPS and KMH converted)
  int m_WindGust = 0;        // knots, 0 none
  int m_VaryFrom = -1;       // dddVddd sector, -1 none
  int m_VaryTo = -1;
  bool m_Visibility = false;  // a visibility group (or CAVOK) was read
  double m_VisibilityMiles = 0.0;
  int m_VisibilityMetres = -1;      // a metric group as given (9999 for 10 km or more)
  bool m_VisibilityOrMore = false;  // 10SM, P6SM, 9999, CAVOK: at least this much
  bool m_VisibilityLess = false;    // M1/4SM: less than this
  bool m_SkyClear = false;          // SKC, CLR, NSC, NCD or CAVOK
  std::vector<ReportedLayer> m_Layers;
  std::vector<std::string> m_Weather;  // present weather groups as given ("-RA", "BR")
  int m_Temperature = kMissing;
  int m_DewPoint = kMissing;
  int m_AltimeterHundredthsInHg = -1;  // A2996
  int m_QnhHpa = -1;                   // Q1016
};
ReportedWeather ReadReportGroups(std::string_view report);

// Where the values a station shows come from.
enum class ShownOrigin { kReport, kTakeOver, kBlended, kNone };
// "report", "take-over", "blended", "none".
const char* OriginName(ShownOrigin origin);

// What the page shows of one station (the symbol, the category, the words); the page and
// altivane-inspect view --json both take it from here.
struct StationShown {
  ShownOrigin m_Origin = ShownOrigin::kNone;
  const char* m_Category = "none";  // "VFR", "MVFR", "IFR", "LIFR", or "none" without weather
  double m_CeilingFeet = -1.0;      // lowest broken, overcast or vertical visibility; -1 none
  bool m_CeilingObscured = false;   // the ceiling is a vertical visibility
  double m_VisibilityMiles = -1.0;  // statute miles; -1 not reported
  bool m_VisibilityOrMore = false;
  bool m_WindKnown = false;
  int m_WindDirection = -1;  // degrees, -1 variable
  int m_WindSpeed = 0;       // knots; 0 calm
  int m_WindGust = 0;
  std::string m_Wind;       // "270/15G25", "calm", "VRB05", "" unknown
  int m_CoverOctas = -1;    // the cover disc: 0, 2, 4, 6, 8; -1 not known
  bool m_Obscured = false;  // sky obscured (vertical visibility)
  int m_Temperature = kMissing;
  int m_DewPoint = kMissing;
  std::string m_Words;  // the weather in plain words
};
StationShown ShowStation(const ViewStation& station);
// {"stations": [{"key", "category", "ceiling_ft", "visibility_sm", "wind", "origin"}, ...]}
std::string ShownStationsJson(const WeatherViewPage& page);

// A wind barb in screen coordinates (x east, y south) from the station at (0,0): the staff
// points into the wind, feathers on the low-pressure side (left of the wind in the northern
// hemisphere, so a westerly's point north; mirrored in the southern).
struct BarbPoint {
  double x;
  double y;
};
struct BarbShape {
  std::vector<std::array<BarbPoint, 2>> m_Lines;     // the staff first, then full and half feathers
  std::vector<std::array<BarbPoint, 3>> m_Pennants;  // 50 kt each
};
BarbShape WindBarbShape(double directionDeg, int speedKt, double length, bool southern);

// Text escaped for HTML element content and attribute values.
std::string EscapeHtml(std::string_view text);
// Blended values in words: "wind 170° at 14 kt gusting 24 kt, visibility 6 SM, broken at 3,400 ft,
// 9 °C, QNH 1011 hPa".
std::string DescribeWeather(const ViewStation& station);
// "VFR", "MVFR", "IFR" or "LIFR" from the lowest broken or overcast base (feet above the
// station, negative for none) and the visibility in statute miles.
const char* FlightCategory(double ceilingFeet, double visibilityMiles);
// Lowest broken or overcast base aloft in feet above the station; -1 when there is none. The
// mist or fog layer on the ground is no ceiling (the visibility carries it).
double CeilingFeet(const ViewStation& station);

std::string RenderWeatherView(const WeatherViewPage& page);
// Seconds since 1970 of a UTC date and time.
std::int64_t UtcSeconds(int year, int month, int day, int hour, int minute);

// The page's path in a weather folder (program form, ending with a backslash).
std::filesystem::path WeatherViewPath(const std::string& weatherFolder);
// Writes the page to a temporary name next to target, then renames it over the old page, so a
// browser never reads half a page. False when it could not be written.
bool WriteWeatherView(const std::filesystem::path& target, const std::string& html);

// Told the native path after every page the update pass writes (set by the front end; may be
// called from the pass thread).
void SetWeatherViewListener(std::function<void(const std::string&)> listener);
void NotifyWeatherViewWritten(const std::string& path);
