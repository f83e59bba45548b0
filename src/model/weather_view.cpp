#include "model/weather_view.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>

#include "model/prepare.h"
#include "platform/paths.h"
#include "stations/metar_stations.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFeetPerMetre = 3.28084;

__attribute__((format(printf, 2, 3))) void Out(std::string& out, const char* format, ...) {
  char piece[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(piece, sizeof piece, format, args);
  va_end(args);
  if (n > 0) out.append(piece, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof piece - 1));
}

bool Missing(double value) { return value <= kMissingReal; }

// A layer on the ground (base 0) is the mist or fog of the report: its visibility already
// tells it, so it is no ceiling and no cloud of the station model.
bool CloudAloft(const ViewStation& s, int c) { return s.m_CloudBase[c] > 0 && s.m_CloudCover[c] <= 1.0; }

}  // namespace

double CeilingFeet(const ViewStation& s) {
  double ceiling = -1.0;
  for (int c = 0; c < kCloudSlots; ++c) {
    if (CloudAloft(s, c) && s.m_CloudCover[c] > 0.5) {
      const double feet = s.m_CloudBase[c] * kFeetPerMetre;
      if (ceiling < 0.0 || feet < ceiling) ceiling = feet;
    }
  }
  return ceiling;
}

namespace {

const char* CoverWords(double cover) {
  if (cover <= 0.125) return nullptr;
  if (cover <= 0.25) return "few clouds";
  if (cover <= 0.5) return "scattered clouds";
  if (cover <= 0.875) return "broken clouds";
  if (cover <= 1.0) return "overcast";
  return nullptr;
}

// 3400 -> "3,400".
std::string Thousands(long value) {
  // Built front to back: GCC 12's -O3 takes an insert into the digits for an overlapping copy.
  const unsigned long magnitude =
      value < 0 ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
  const std::string digits = std::to_string(magnitude);
  std::string text = value < 0 ? "-" : "";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

const char* CategoryColour(const char* category) {
  const std::string c = category;
  if (c == "VFR") return "#1a9c3a";
  if (c == "MVFR") return "#2363d6";
  if (c == "IFR") return "#d42a2a";
  return "#b82fb8";
}

// Screen position in nautical miles from the aircraft, north up, east right.
struct Point {
  double x;
  double y;
};
struct Projection {
  double lat0;
  double lon0;
  double cosLat0;
  Point operator()(double lat, double lon) const {
    double dLon = lon - lon0;
    if (dLon > 180.0) dLon -= 360.0;
    if (dLon < -180.0) dLon += 360.0;
    return {dLon * 60.0 * cosLat0, -(lat - lat0) * 60.0};
  }
};

// A wind barb pointing into the wind from (0,0): staff of length len, feathers at the far end
// (pennant 50 kt, full 10 kt, half 5 kt), drawn on the left of the staff as on northern charts.
void Barb(std::string& out, double directionDeg, int speedKt, double len, const char* extraClass) {
  if (speedKt < 3) {
    Out(out, "<circle class=\"calm %s\" r=\"%.2f\" fill=\"none\"/>", extraClass, len * 0.18);
    return;
  }
  Out(out, "<g class=\"barb %s\" transform=\"rotate(%.0f)\">", extraClass, directionDeg);
  Out(out, "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"%.2f\"/>", -len);
  int rest = (speedKt + 2) / 5 * 5;
  double y = -len;
  const double step = len * 0.16;
  const double feather = len * 0.42;
  while (rest >= 50) {
    Out(out, "<path class=\"pennant\" d=\"M0 %.2f L%.2f %.2f L0 %.2f Z\"/>", y, -feather, y + step * 0.5, y + step);
    y += step * 1.2;
    rest -= 50;
  }
  while (rest >= 10) {
    Out(out, "<line x1=\"0\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\"/>", y, -feather, y - step);
    y += step;
    rest -= 10;
  }
  if (rest >= 5) {
    if (y == -len) y += step;  // a lone half feather sits off the end
    Out(out, "<line x1=\"0\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\"/>", y, -feather * 0.5, y - step * 0.5);
  }
  out += "</g>";
}

// Cloud cover disc of radius r: clear an empty circle, then quarters filled by octas.
void CoverDisc(std::string& out, double cover, double r) {
  Out(out, "<circle class=\"disc\" r=\"%.2f\"/>", r);
  if (cover <= 0.125) return;
  if (cover > 0.875) {
    Out(out, "<circle class=\"cover\" r=\"%.2f\"/>", r);
    return;
  }
  const double share = cover <= 0.25 ? 0.25 : cover <= 0.5 ? 0.5 : 0.75;
  const double end = share * 2.0 * kPi;
  Out(out, "<path class=\"cover\" d=\"M0 0 L0 %.2f A%.2f %.2f 0 %d 1 %.2f %.2f Z\"/>", -r, r, r, share > 0.5 ? 1 : 0,
      r * std::sin(end), -r * std::cos(end));
}

std::string Temperature(std::int32_t value) { return value == kMissing ? std::string("–") : std::to_string(value); }

// The layers of one station as a vertical profile: cloud bars with cover and type, wind barbs
// and temperatures by height, from the block the pass built.
void LayerProfile(std::string& out, const ViewStation& s) {
  const DecodedWeatherBlock& b = s.m_Block;
  double top = 3000.0;
  for (const CloudLayer& c : b.clouds) top = std::max(top, static_cast<double>(c.upperAltitude));
  for (const WindLayer& w : b.winds) top = std::max(top, static_cast<double>(w.upperAltitude));
  for (const TemperatureLayer& t : b.temperatures) top = std::max(top, static_cast<double>(t.altitude));
  top = std::min(top * 1.05, 20000.0);
  const double height = 260.0;
  auto yOf = [&](double metres) { return 10.0 + height * (1.0 - std::clamp(metres, 0.0, top) / top); };
  Out(out, "<svg class=\"profile\" viewBox=\"0 0 300 %.0f\" width=\"300\" height=\"%.0f\">", height + 20, height + 20);
  Out(out, "<line class=\"axis\" x1=\"40\" y1=\"10\" x2=\"40\" y2=\"%.0f\"/>", height + 10);
  for (double h = 0.0; h <= top; h += top > 8000.0 ? 2000.0 : 1000.0)
    Out(out, "<text class=\"tick\" x=\"36\" y=\"%.1f\" text-anchor=\"end\">%.0f</text>", yOf(h) + 3, h);
  for (const CloudLayer& c : b.clouds) {
    const double y1 = yOf(c.upperAltitude);
    const double y2 = yOf(c.lowerAltitude);
    const char* type = c.type == 1 ? "cirrus" : c.type == 8 ? "stratus" : c.type == 9 ? "cumulus" : "thunderstorm";
    Out(out,
        "<rect class=\"cloud\" x=\"44\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill-opacity=\"%.2f\"/>"
        "<text class=\"tick\" x=\"48\" y=\"%.1f\">%u/8 %s</text>",
        y1, 20.0 + c.coverage * 12.0, std::max(2.0, y2 - y1), 0.2 + c.coverage * 0.09, (y1 + y2) / 2 + 3, c.coverage,
        type);
  }
  for (const WindLayer& w : b.winds) {
    Out(out, "<g transform=\"translate(210 %.1f)\">", yOf(w.upperAltitude));
    Barb(out, w.direction * 360.0 / 65535.0, w.speed, 18.0, "");
    out += "</g>";
  }
  for (const TemperatureLayer& t : b.temperatures)
    Out(out, "<text class=\"tick\" x=\"296\" y=\"%.1f\" text-anchor=\"end\">%d °C</text>", yOf(t.altitude) + 3,
        t.temperature);
  out += "<text class=\"tick\" x=\"4\" y=\"8\">m</text></svg>";
}

// Temperature and dew point against height from the blended profile, wind barbs beside it.
void Sounding(std::string& out, const ViewStation& s) {
  struct Level {
    double h, t, d, dir, spd;
  };
  std::vector<Level> levels;
  for (int k = 0; k < kLevelSlots; ++k) {
    if (s.m_LevelHeight[k] == kMissing || s.m_LevelTemperature[k] == kMissing) continue;
    levels.push_back({static_cast<double>(s.m_LevelHeight[k]), static_cast<double>(s.m_LevelTemperature[k]),
                      static_cast<double>(s.m_LevelDewPoint[k]), static_cast<double>(s.m_LevelWindDirection[k]),
                      static_cast<double>(s.m_LevelWindSpeed[k])});
  }
  std::sort(levels.begin(), levels.end(), [](const Level& a, const Level& b) { return a.h < b.h; });
  Out(out, "<svg id=\"sounding\" viewBox=\"0 0 380 320\" width=\"380\" height=\"320\">");
  out += "<rect x=\"40\" y=\"10\" width=\"260\" height=\"280\" class=\"frame\"/>";
  if (levels.empty()) {
    out += "<text class=\"tick\" x=\"60\" y=\"150\">no upper-air data near the aircraft</text></svg>";
    return;
  }
  const double top = std::max(1000.0, levels.back().h);
  double tMin = 0.0;
  double tMax = 0.0;
  bool first = true;
  for (const Level& l : levels) {
    for (double v : {l.t, l.d}) {
      if (v == kMissing) continue;
      tMin = first ? v : std::min(tMin, v);
      tMax = first ? v : std::max(tMax, v);
      first = false;
    }
  }
  tMin = std::floor(tMin / 10.0) * 10.0 - 5.0;
  tMax = std::ceil(tMax / 10.0) * 10.0 + 5.0;
  auto xOf = [&](double t) { return 40.0 + 260.0 * (t - tMin) / (tMax - tMin); };
  auto yOf = [&](double h) { return 290.0 - 280.0 * std::clamp(h, 0.0, top) / top; };
  for (double t = std::ceil(tMin / 10.0) * 10.0; t <= tMax; t += 10.0)
    Out(out,
        "<line class=\"grid\" x1=\"%.1f\" y1=\"10\" x2=\"%.1f\" y2=\"290\"/><text class=\"tick\" x=\"%.1f\" y=\"303\" "
        "text-anchor=\"middle\">%.0f</text>",
        xOf(t), xOf(t), xOf(t), t);
  const double hStep = top > 12000.0 ? 4000.0 : top > 5000.0 ? 2000.0 : 500.0;
  for (double h = 0.0; h <= top; h += hStep)
    Out(out, "<text class=\"tick\" x=\"36\" y=\"%.1f\" text-anchor=\"end\">%.0f</text>", yOf(h) + 3, h);
  std::string temperature;
  std::string dewPoint;
  for (const Level& l : levels) {
    Out(temperature, "%s%.1f,%.1f", temperature.empty() ? "" : " ", xOf(l.t), yOf(l.h));
    if (l.d != kMissing) Out(dewPoint, "%s%.1f,%.1f", dewPoint.empty() ? "" : " ", xOf(l.d), yOf(l.h));
  }
  Out(out, "<polyline class=\"temp\" points=\"%s\"/>", temperature.c_str());
  if (!dewPoint.empty()) Out(out, "<polyline class=\"dew\" points=\"%s\"/>", dewPoint.c_str());
  for (const Level& l : levels) {
    if (l.dir == kMissing || l.spd == kMissing) continue;
    Out(out, "<g transform=\"translate(335 %.1f)\">", yOf(l.h));
    Barb(out, l.dir, static_cast<int>(l.spd), 20.0, "");
    out += "</g>";
  }
  out +=
      "<text class=\"tick\" x=\"300\" y=\"316\" text-anchor=\"end\">°C</text>"
      "<text class=\"tick\" x=\"4\" y=\"8\">m</text></svg>";
}

const char* OriginWords(ValueOrigin origin) {
  return origin == ValueOrigin::kBlend ? "blend" : origin == ValueOrigin::kNearest ? "nearest" : "missing";
}

void NeighbourTable(std::string& out, const char* title, const std::vector<NeighbourNote>& notes) {
  Out(out, "<h3>%s</h3>", title);
  if (notes.empty()) {
    out += "<p>none</p>";
    return;
  }
  out += "<table><tr><th>station</th><th>distance</th><th>weight</th></tr>";
  for (const NeighbourNote& n : notes)
    Out(out, "<tr><td>%s</td><td>%.1f nm</td><td>%.4f</td></tr>", EscapeHtml(n.m_Key).c_str(),
        std::sqrt(std::max(0.0, n.m_SquaredDistance)), n.m_Weight);
  out += "</table>";
}

void Detail(std::string& out, const ViewStation& s, int index, const char* category) {
  const bool own = s.m_Traced && !s.m_Trace.m_SurfaceBlended;
  Out(out, "<section class=\"detail\" id=\"d%d\" hidden><h2>%s <small>%s</small></h2>", index,
      EscapeHtml(s.m_Key).c_str(), EscapeHtml(s.m_Name).c_str());
  Out(out, "<p class=\"cat\" style=\"color:%s\">%s · %.1f nm from the aircraft</p>", CategoryColour(category), category,
      std::sqrt(std::max(0.0, s.m_SquaredDistance)));
  Out(out, "<pre class=\"report\">%s</pre>", EscapeHtml(s.m_ReportText).c_str());
  Out(out, "<p class=\"plain\">%s</p>", EscapeHtml(DescribeWeather(s)).c_str());
  if (!s.m_Traced) {
    out += "<p class=\"origin\">set in an earlier pass of another run; its sources are not known</p>";
  } else if (own) {
    out += "<p class=\"origin\">surface: its own report</p>";
  } else if (!s.m_Trace.m_TakenOverFrom.empty()) {
    Out(out, "<p class=\"origin\">surface: report taken over whole from %s (within 1 nm)</p>",
        EscapeHtml(s.m_Trace.m_TakenOverFrom).c_str());
  } else {
    out += "<p class=\"origin\">surface: blended from its neighbours</p>";
    NeighbourTable(out, "surface neighbours", s.m_Trace.m_Surface);
    if (!s.m_Trace.m_Fields.empty()) {
      out += "<table class=\"fields\"><tr><th>value</th><th>from</th></tr>";
      for (const FieldNote& f : s.m_Trace.m_Fields) {
        std::string how = OriginWords(f.m_Origin);
        if (f.m_Origin == ValueOrigin::kBlend) how += " of " + std::to_string(f.m_Neighbours);
        if (f.m_Origin == ValueOrigin::kNearest) how += " " + f.m_From;
        Out(out, "<tr><td>%s</td><td>%s</td></tr>", EscapeHtml(f.m_Field).c_str(), EscapeHtml(how).c_str());
      }
      out += "</table>";
    }
  }
  if (s.m_Traced && s.m_Trace.m_UpperAir.empty())
    Out(out, "<h3>upper-air neighbours</h3><p>none within %d nm: no winds or temperatures aloft</p>",
        static_cast<int>(kUpperAirReach));
  else if (s.m_Traced)
    NeighbourTable(out, "upper-air neighbours", s.m_Trace.m_UpperAir);
  out += "<h3>layers</h3>";
  LayerProfile(out, s);
  out += "</section>";
}

constexpr const char* kStyle = R"(<style>
body{margin:0;font:13px system-ui,sans-serif;background:#f4f6f8;color:#222;display:flex;flex-wrap:wrap}
#map{flex:1 1 640px;min-width:480px}#map svg{width:100%;height:auto;max-height:96vh;background:#dfeaf3}
#side{flex:0 0 400px;padding:8px 12px;max-height:98vh;overflow:auto}
.outline{fill:none;stroke:#7b8a96;stroke-linejoin:round}.ring{fill:none;stroke:#56708a;stroke-dasharray:4 4}
.ringlabel{fill:#56708a}.stn{cursor:pointer}.stn .disc{fill:#fff;stroke:currentColor}.stn .cover{fill:currentColor}
.stn.blend .disc{stroke-dasharray:2 1.5;fill:#eef}.stn text{fill:#222}.barb line,.barb path,.calm{stroke:#222}
.pennant{fill:#222}.stn.sel .disc{stroke-width:3}#aircraft{fill:#e08a00;stroke:#000}
table{border-collapse:collapse}td,th{padding:1px 6px;border-bottom:1px solid #ddd;text-align:left}
pre.report{white-space:pre-wrap;background:#fff;padding:4px;border:1px solid #ccc}
.frame{fill:#fff;stroke:#999}.grid{stroke:#ddd}.tick{font-size:10px;fill:#444}
.temp{fill:none;stroke:#d42a2a;stroke-width:2}
.dew{fill:none;stroke:#1a9c3a;stroke-width:2}.profile .cloud{fill:#789}.axis{stroke:#999}
.key span{display:inline-block;width:10px;height:10px;margin:0 3px 0 8px}
</style>)";

// Shows the details of the station under the pointer; a click keeps them (and the reload does
// too, through the address's fragment).
constexpr const char* kScript = R"(<script>
(function(){var shown=null,pinned=null;
function show(i){if(shown!==null){document.getElementById('d'+shown).hidden=true;}
var d=document.getElementById('d'+i);if(!d){return;}d.hidden=false;shown=i;
document.getElementById('hint').hidden=true;}
document.querySelectorAll('.stn').forEach(function(g){var i=g.getAttribute('data-i');
g.addEventListener('mouseenter',function(){show(i);});
g.addEventListener('mouseleave',function(){if(pinned!==null){show(pinned);}});
g.addEventListener('click',function(){
if(pinned!==null){var p=document.querySelector('.stn[data-i="'+pinned+'"]');if(p){p.classList.remove('sel');}}
pinned=i;g.classList.add('sel');show(i);history.replaceState(null,'','#'+i);});});
addEventListener('load',function(){document.body.getBoundingClientRect();
var n=performance.getEntriesByType('navigation')[0];
document.documentElement.setAttribute('data-render-ms',Math.round(performance.now()-(n?n.responseStart:0)));});
var h=location.hash.slice(1);if(h&&document.getElementById('d'+h)){
var g=document.querySelector('.stn[data-i="'+h+'"]');if(g){g.dispatchEvent(new Event('click'));}}
})();
</script>)";

std::mutex g_ListenerMutex;
std::function<void(const std::string&)> g_Listener;

}  // namespace

// ---- recording a pass ----

void PassView::Begin(double latitude, double longitude) {
  m_Page = WeatherViewPage{};
  m_Page.m_AircraftLatitude = latitude;
  m_Page.m_AircraftLongitude = longitude;
}

namespace {

void CopyWeather(ViewStation& v, const METAR_Station& s) {
  v.m_Key = s.m_Key;
  v.m_Name = s.m_Name;
  v.m_Latitude = s.m_Latitude;
  v.m_Longitude = s.m_Longitude;
  v.m_Elevation = s.m_Elevation;
  v.m_ReportText = s.m_ReportText;
  v.m_WindDirection = s.m_WindDirection;
  v.m_WindSpeed = s.m_WindSpeed;
  v.m_WindGust = s.m_WindGust;
  v.m_Visibility = s.m_Visibility;
  v.m_Weather = s.m_Weather;
  v.m_PrecipIntensity = s.m_PrecipIntensity;
  v.m_CloudCover = s.m_CloudCover;
  v.m_CloudBase = s.m_CloudBase;
  v.m_Temperature = s.m_Temperature;
  v.m_DewPoint = s.m_DewPoint;
  v.m_Pressure = s.m_Pressure;
  v.m_Block = DecodeWeatherBlock(s.m_WeatherBlock.bytes);
}

double SquaredDistanceFrom(const WeatherViewPage& page, const METAR_Station& s) {
  return static_cast<double>(
      SquaredDistance(page.m_AircraftLatitude, page.m_AircraftLongitude, s.m_Latitude, s.m_Longitude));
}

}  // namespace

WeatherBlockBytes PassView::Prepare(METAR_Stations& stations, METAR_Station& station) {
  ViewStation v;
  const WeatherBlockBytes block = PrepareStationWeather(stations, station, &v.m_Trace);
  v.m_Traced = true;
  CopyWeather(v, station);
  v.m_ProfileValid = g_BlendedProfile.m_UpperAirValid;
  v.m_LevelHeight = g_BlendedProfile.m_LevelHeight;
  v.m_LevelTemperature = g_BlendedProfile.m_LevelTemperature;
  v.m_LevelDewPoint = g_BlendedProfile.m_LevelDewPoint;
  v.m_LevelWindDirection = g_BlendedProfile.m_LevelWindDirection;
  v.m_LevelWindSpeed = g_BlendedProfile.m_LevelWindSpeed;
  v.m_SquaredDistance = SquaredDistanceFrom(m_Page, station);
  m_Prepared[v.m_Key] = v;
  m_Page.m_Stations.push_back(std::move(v));
  return block;
}

void PassView::Refreshed(const METAR_Station& station) {
  auto known = m_Prepared.find(station.m_Key);
  ViewStation v;
  if (known != m_Prepared.end()) {
    v = known->second;
  } else {
    CopyWeather(v, station);
  }
  v.m_SquaredDistance = SquaredDistanceFrom(m_Page, station);
  m_Page.m_Stations.push_back(std::move(v));
}

// ---- text ----

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      case '\0': break;
      default: out += c;
    }
  }
  return out;
}

const char* FlightCategory(double ceilingFeet, double visibilityMiles) {
  const bool ceiling = ceilingFeet >= 0.0;
  if ((ceiling && ceilingFeet < 500.0) || visibilityMiles < 1.0) return "LIFR";
  if ((ceiling && ceilingFeet < 1000.0) || visibilityMiles < 3.0) return "IFR";
  if ((ceiling && ceilingFeet <= 3000.0) || visibilityMiles <= 5.0) return "MVFR";
  return "VFR";
}

std::string DescribeWeather(const ViewStation& s) {
  std::string out;
  if (s.m_WindSpeed <= 0)
    out += "wind calm";
  else
    Out(out, "wind %d° at %d kt", s.m_WindDirection, s.m_WindSpeed);
  if (s.m_WindSpeed > 0 && s.m_WindGust > s.m_WindSpeed) Out(out, " gusting %d", s.m_WindGust);
  if (!Missing(s.m_Visibility)) {
    const double v = s.m_Visibility;
    if (v == std::floor(v))
      Out(out, ", visibility %.0f %s", v, v == 1.0 ? "mile" : "miles");
    else
      Out(out, ", visibility %.1f miles", v);
  }
  if (s.m_PrecipIntensity != 0.0 && !s.m_Weather.empty()) out += ", " + s.m_Weather;
  bool cloud = false;
  for (int c = 0; c < kCloudSlots; ++c) {
    const char* words = CoverWords(s.m_CloudCover[c]);
    if (!words) continue;
    if (s.m_CloudBase[c] <= 0) {
      out += ", mist or fog on the ground";
      continue;
    }
    const long feet = std::lround(s.m_CloudBase[c] * kFeetPerMetre / 100.0) * 100;
    out += ", ";
    out += words;
    out += " at " + Thousands(feet) + " ft";
    cloud = true;
  }
  if (!cloud) out += ", sky clear";
  if (s.m_Temperature != kMissing) Out(out, ", %d °C", s.m_Temperature);
  if (s.m_Pressure != kMissing) Out(out, ", QNH %d hPa", s.m_Pressure);
  return out;
}

// ---- the page ----

std::string RenderWeatherView(const WeatherViewPage& page) {
  const Projection project{page.m_AircraftLatitude, page.m_AircraftLongitude,
                           std::max(0.05, std::cos(page.m_AircraftLatitude * kPi / 180.0))};
  // The map reaches a little beyond the farthest station and the last ring.
  const int lastRing = std::clamp(page.m_Radius, 20, 300);
  double extent = lastRing;
  for (const ViewStation& s : page.m_Stations) extent = std::max(extent, std::sqrt(std::max(0.0, s.m_SquaredDistance)));
  extent = std::min(extent, 600.0) * 1.08 + 10.0;
  const double unit = extent / 48.0;  // size of a station model

  std::string out;
  out.reserve(64 * 1024 + page.m_Stations.size() * 6 * 1024);
  out +=
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'; "
      "script-src 'unsafe-inline'\">"
      "<meta http-equiv=\"refresh\" content=\"30\">"
      "<title>Altivane weather view</title>";
  out += kStyle;
  out += "</head><body><div id=\"map\">";
  Out(out, "<svg id=\"chart\" viewBox=\"%.1f %.1f %.1f %.1f\" xmlns=\"http://www.w3.org/2000/svg\">", -extent, -extent,
      2 * extent, 2 * extent);

  // Coastlines and borders near the view.
  std::string outline;
  const double reach = extent * 1.5;
  for (const OutlineLine& line : MapOutline()) {
    std::string d;
    bool pen = false;
    for (const auto& [lon, lat] : line) {
      const Point p = project(lat, lon);
      const bool near = std::fabs(p.x) < reach && std::fabs(p.y) < reach;
      if (!near) {
        pen = false;
        continue;
      }
      Out(d, "%c%.1f %.1f", pen ? 'L' : 'M', p.x, p.y);
      pen = true;
    }
    outline += d;
  }
  if (!outline.empty())
    Out(out, "<path class=\"outline\" stroke-width=\"%.2f\" d=\"", extent / 400.0), out += outline, out += "\"/>";

  for (int ring = 20; ring <= lastRing; ring += ring < 100 ? 20 : 100) {
    Out(out, "<circle class=\"ring\" r=\"%d\" stroke-width=\"%.2f\"/>", ring, extent / 500.0);
    Out(out, "<text class=\"ringlabel\" x=\"%.1f\" y=\"%.1f\" font-size=\"%.1f\">%d nm</text>", ring * 0.71,
        -ring * 0.71, unit * 0.9, ring);
  }

  for (std::size_t i = 0; i < page.m_Stations.size(); ++i) {
    const ViewStation& s = page.m_Stations[i];
    const Point p = project(s.m_Latitude, s.m_Longitude);
    const char* category = FlightCategory(CeilingFeet(s), Missing(s.m_Visibility) ? 99.0 : s.m_Visibility);
    const bool own = s.m_Traced ? !s.m_Trace.m_SurfaceBlended : s.m_ReportText.rfind("METAR ", 0) != 0;
    Out(out, "<g class=\"stn %s\" data-i=\"%u\" color=\"%s\" transform=\"translate(%.2f %.2f)\">",
        own ? "own" : "blend", static_cast<unsigned>(i), CategoryColour(category), p.x, p.y);
    Out(out, "<title>%s %s</title>", EscapeHtml(s.m_Key).c_str(), category);
    Out(out, "<g stroke-width=\"%.2f\">", unit * 0.12);
    Barb(out, s.m_WindDirection, s.m_WindSpeed, unit * 2.2, "");
    double cover = 0.0;
    for (int c = 0; c < kCloudSlots; ++c)
      if (CloudAloft(s, c)) cover = std::max(cover, s.m_CloudCover[c]);
    CoverDisc(out, cover, unit * 0.55);
    out += "</g>";
    Out(out, "<text x=\"%.2f\" y=\"%.2f\" font-size=\"%.2f\" text-anchor=\"end\">%s</text>", -unit * 0.8, -unit * 0.2,
        unit * 0.9, EscapeHtml(Temperature(s.m_Temperature)).c_str());
    Out(out, "<text x=\"%.2f\" y=\"%.2f\" font-size=\"%.2f\" text-anchor=\"end\">%s</text>", -unit * 0.8, unit * 0.9,
        unit * 0.9, EscapeHtml(Temperature(s.m_DewPoint)).c_str());
    Out(out, "<text x=\"%.2f\" y=\"%.2f\" font-size=\"%.2f\">%s</text></g>", unit * 0.8, unit * 1.2, unit * 0.7,
        EscapeHtml(s.m_Key).c_str());
  }
  Out(out,
      "<g id=\"aircraft\" stroke-width=\"%.2f\" transform=\"scale(%.3f)\"><title>aircraft</title>"
      "<path d=\"M0 -10 L1.5 -3 L9 2 L9 4 L1.5 1.5 L1 7 L3.5 9 L3.5 10 L0 9 L-3.5 10 L-3.5 9 L-1 7 L-1.5 1.5 L-9 4 L-9 "
      "2 "
      "L-1.5 -3 Z\"/></g>",
      0.4, unit * 0.14);
  out += "</svg></div><div id=\"side\">";
  Out(out, "<h1>Weather view</h1><p>aircraft %.4f, %.4f · %u stations in the last pass · radius %d nm%s%s</p>",
      page.m_AircraftLatitude, page.m_AircraftLongitude, static_cast<unsigned>(page.m_Stations.size()), page.m_Radius,
      page.m_Stamp.empty() ? "" : " · ", EscapeHtml(page.m_Stamp).c_str());
  out += "<p class=\"key\">";
  for (const char* c : {"VFR", "MVFR", "IFR", "LIFR"})
    Out(out, "<span style=\"background:%s\"></span>%s", CategoryColour(c), c);
  out += " · solid ring: own report, dashed: blended</p>";
  if (!page.m_Stations.empty()) {
    const ViewStation& nearest = page.m_Stations.front();
    Out(out, "<h2>Sounding at %s</h2>", EscapeHtml(nearest.m_Key).c_str());
    Sounding(out, nearest);
  }
  out += "<p id=\"hint\">Point at a station for its weather; click to keep it.</p>";
  for (std::size_t i = 0; i < page.m_Stations.size(); ++i) {
    const ViewStation& s = page.m_Stations[i];
    Detail(out, s, static_cast<int>(i),
           FlightCategory(CeilingFeet(s), Missing(s.m_Visibility) ? 99.0 : s.m_Visibility));
  }
  out += "</div>";
  out += kScript;
  out += "</body></html>\n";
  return out;
}

std::filesystem::path WeatherViewPath(const std::string& weatherFolder) {
  return NativePath(weatherFolder + kWeatherViewFileName);
}

bool WriteWeatherView(const std::filesystem::path& target, const std::string& html) {
  std::filesystem::path temporary = target;
  temporary += ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(html.data(), static_cast<std::streamsize>(html.size()));
    file.close();
    if (!file) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, target, ec);
  if (ec) {
    std::filesystem::remove(temporary, ec);
    return false;
  }
  return true;
}

void SetWeatherViewListener(std::function<void(const std::string&)> listener) {
  std::lock_guard lock(g_ListenerMutex);
  g_Listener = std::move(listener);
}

void NotifyWeatherViewWritten(const std::string& path) {
  std::function<void(const std::string&)> listener;
  {
    std::lock_guard lock(g_ListenerMutex);
    listener = g_Listener;
  }
  if (listener) listener(path);
}
