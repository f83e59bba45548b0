#pragma once
// The weather view's page: one self-contained HTML page of the stations an update pass wrote,
// with the aircraft, the radius rings, a station model per station, and per station where its
// values came from. It is rendered from the pass's record (view/pass_view.h) alone, so
// altivane-inspect can render the page of any position the same way.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "view/pass_view.h"

// A polyline of the map outline, longitude/latitude pairs in degrees.
using OutlineLine = std::vector<std::pair<float, float>>;
// The coastlines and borders built into the program; empty when it was built without them.
const std::vector<OutlineLine>& MapOutline();

// The lakes of the map outline as closed rings; empty when built without them.
const std::vector<OutlineLine>& MapLakes();

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

// 3400 -> "3,400".
std::string Thousands(long value);
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
