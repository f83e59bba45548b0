#include "view/weather_view.h"

#include <algorithm>
#include <cmath>

#include "model/weather_block_fields.h"
#include "base/text.h"
#include "base/units.h"

namespace {

constexpr double kFeetPerMetre = 3.28084;

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

const char* CategoryColour(const char* category) {
  const std::string c = category;
  if (c == "VFR") return "#1a9c3a";
  if (c == "MVFR") return "#2363d6";
  if (c == "IFR") return "#d42a2a";
  if (c == "LIFR") return "#b82fb8";
  return "#8a8f94";
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

// Station models are drawn in screen pixels and scaled into the map by the script as it
// zooms; this is the scale of a map about 880 pixels wide, for a page read without script.
constexpr double kMapPixels = 880.0;

void BarbSvg(std::string& out, double directionDeg, int speedKt, double length, bool southern) {
  const BarbShape shape = WindBarbShape(directionDeg, speedKt, length, southern);
  out += "<path class=\"barb\" d=\"";
  for (const auto& l : shape.m_Lines) AppendFormat(out, "M%.1f %.1fL%.1f %.1f", l[0].x, l[0].y, l[1].x, l[1].y);
  out += "\"/>";
  for (const auto& p : shape.m_Pennants)
    AppendFormat(out, "<path class=\"pennant\" d=\"M%.1f %.1fL%.1f %.1fL%.1f %.1fZ\"/>", p[0].x, p[0].y, p[1].x, p[1].y,
                 p[2].x, p[2].y);
}

// Cloud cover disc of radius r by octas (0 clear, 2 few, 4 scattered, 6 broken, 8 overcast),
// a cross for a sky obscured, empty when not known.
void CoverDisc(std::string& out, const StationShown& s, double r) {
  AppendFormat(out, "<circle class=\"disc\" r=\"%.1f\"/>", r);
  if (s.m_Obscured) {
    const double d = r * 0.7;
    AppendFormat(out, "<path class=\"obsc\" d=\"M%.1f %.1fL%.1f %.1fM%.1f %.1fL%.1f %.1f\"/>", -d, -d, d, d, -d, d, d,
                 -d);
    return;
  }
  if (s.m_CoverOctas <= 0) return;
  if (s.m_CoverOctas >= 8) {
    AppendFormat(out, "<circle class=\"cover\" r=\"%.1f\"/>", r);
    return;
  }
  const double share = s.m_CoverOctas / 8.0;
  const double end = share * 2.0 * g_Pi;
  AppendFormat(out, "<path class=\"cover\" d=\"M0 0L0 %.1fA%.1f %.1f 0 %d 1 %.1f %.1fZ\"/>", -r, r, r,
               share > 0.5 ? 1 : 0, r * std::sin(end), -r * std::cos(end));
}

std::string Temperature(std::int32_t value) { return value == kMissing ? std::string() : std::to_string(value); }

// Seconds since 1970 of a report's "2023/04/29" and "11:53"; -1 when they do not read.
std::int64_t ReportTime(const std::string& date, const std::string& time) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  if (std::sscanf(date.c_str(), "%d/%d/%d", &y, &mo, &d) != 3 || std::sscanf(time.c_str(), "%d:%d", &h, &mi) != 2)
    return -1;
  if (mo < 1 || mo > 12 || d < 1 || d > 31) return -1;
  return UtcSeconds(y, mo, d, h, mi);
}

// "35 min", "2 h 10 min", "3 d"; empty when the age is not known.
struct Age {
  std::string text;
  bool old = false;
};
Age ReportAge(const WeatherViewPage& page, const ViewStation& s) {
  Age age;
  // A blended station is as old as the nearest report it was blended from.
  const bool own = !s.m_ObsTime.empty() || !s.m_Traced || s.m_Trace.m_Surface.empty();
  const std::int64_t at =
      own ? ReportTime(s.m_ObsDate, s.m_ObsTime)
          : ReportTime(s.m_Trace.m_Surface.front().m_ObsDate, s.m_Trace.m_Surface.front().m_ObsTime);
  if (page.m_Now <= 0 || at < 0) return age;
  const int minutes = static_cast<int>(std::clamp<std::int64_t>((page.m_Now - at) / 60, 0, 1000000000));
  if (minutes < 120)
    AppendFormat(age.text, "%d min", minutes);
  else if (minutes < 48 * 60)
    AppendFormat(age.text, "%d h", minutes / 60);
  else
    AppendFormat(age.text, "%d d", minutes / 1440);
  age.old = minutes > 120;
  return age;
}

// One station model: cover disc, wind barb (or the calm ring), temperature over dew point on
// the left, key and report age on the right, gust at the barb's end.
void StationModel(std::string& out, const WeatherViewPage& page, const ViewStation& v, const StationShown& s,
                  std::size_t index, Point p, double scale) {
  const char* kind = s.m_Origin == ShownOrigin::kBlended ? "blend" : s.m_Origin == ShownOrigin::kNone ? "none" : "own";
  AppendFormat(out, "<g class=\"stn %s\" data-i=\"%u\" data-x=\"%.2f\" data-y=\"%.2f\" color=\"%s\" ", kind,
               static_cast<unsigned>(index), p.x, p.y, CategoryColour(s.m_Category));
  AppendFormat(out, "transform=\"translate(%.2f %.2f) scale(%.4f)\">", p.x, p.y, scale);
  out += "<title>" + EscapeHtml(v.m_Key) + " " + s.m_Category + "</title>";
  const bool southern = v.m_Latitude < 0.0;
  if (s.m_WindKnown && s.m_WindSpeed > 0) {
    // A variable wind has no direction to point to: the staff is left out, the words say it.
    if (s.m_WindDirection >= 0) BarbSvg(out, s.m_WindDirection, s.m_WindSpeed, 26.0, southern);
    if (s.m_WindGust > s.m_WindSpeed) {
      const double a = (s.m_WindDirection >= 0 ? s.m_WindDirection : 0) * g_Pi / 180.0;
      AppendFormat(out, "<text class=\"lb gust\" x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\">G%d</text>",
                   34.0 * std::sin(a), -34.0 * std::cos(a) + 4.0, s.m_WindGust);
    }
    if (s.m_WindDirection < 0) out += "<text class=\"lb\" x=\"0\" y=\"-10\" text-anchor=\"middle\">VRB</text>";
  }
  CoverDisc(out, s, 6.0);
  if (s.m_WindKnown && s.m_WindSpeed <= 0) out += "<circle class=\"calm\" r=\"10\"/>";
  const std::string t = Temperature(s.m_Temperature);
  const std::string d = Temperature(s.m_DewPoint);
  if (!t.empty()) AppendFormat(out, "<text class=\"lb\" x=\"-11\" y=\"-3\" text-anchor=\"end\">%s</text>", t.c_str());
  if (!d.empty()) AppendFormat(out, "<text class=\"lb\" x=\"-11\" y=\"13\" text-anchor=\"end\">%s</text>", d.c_str());
  out += "<text class=\"lb key\" x=\"11\" y=\"-3\">" + EscapeHtml(v.m_Key) + "</text>";
  const Age age = ReportAge(page, v);
  if (!age.text.empty())
    AppendFormat(out, "<text class=\"lb age%s\" x=\"11\" y=\"13\">%s</text>", age.old ? " old" : "", age.text.c_str());
  out += "</g>";
}

// ---- the sounding ----

// Height axis: the logarithm of the standard atmosphere's pressure at the height, the axis of
// a pressure chart, drawn up to 200 hPa (about FL390). It gives the lowest 5 km about 40 % of the
// height where a linear axis to the soundings' top (16 km) gave them 30 %.
double StandardPressure(double metres) {
  if (metres < 11000.0) return 1013.25 * std::pow(1.0 - 2.25577e-5 * metres, 5.25588);
  return 226.32 * std::exp(-(metres - 11000.0) / 6341.6);
}
constexpr double kSoundingTopHpa = 200.0;
// Soundings farther than a dense radiosonde network's spacing (but still within the blend's
// reach) describe other air: the page warns.
constexpr double kSoundingReachNm = 300.0;

void Sounding(std::string& out, const ViewStation& s) {
  struct Level {
    double h, t, d, dir, spd;
  };
  std::vector<Level> levels;
  for (int k = 0; k < kLevelSlots; ++k) {
    if (s.m_LevelHeight[k] == kMissing || s.m_LevelTemperature[k] == kMissing) continue;
    if (StandardPressure(s.m_LevelHeight[k]) < kSoundingTopHpa) continue;
    levels.push_back({static_cast<double>(s.m_LevelHeight[k]), static_cast<double>(s.m_LevelTemperature[k]),
                      static_cast<double>(s.m_LevelDewPoint[k]), static_cast<double>(s.m_LevelWindDirection[k]),
                      static_cast<double>(s.m_LevelWindSpeed[k])});
  }
  std::sort(levels.begin(), levels.end(), [](const Level& a, const Level& b) { return a.h < b.h; });
  const double left = 58.0, right = 320.0, top = 12.0, bottom = 372.0, barbX = 296.0;
  AppendFormat(out, "<svg id=\"sounding\" viewBox=\"0 0 380 410\" width=\"380\" height=\"410\">");
  AppendFormat(out, "<rect x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" class=\"frame\"/>", left, top,
               right - left, bottom - top);
  if (levels.empty()) {
    out += "<text class=\"tick\" x=\"70\" y=\"190\">no upper-air data for this station</text></svg>";
    return;
  }
  double tMin = 0.0, tMax = 0.0;
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
  const double plotRight = barbX - 26.0;  // the barbs have a column of their own
  auto xOf = [&](double t) { return left + (plotRight - left) * (t - tMin) / (tMax - tMin); };
  const double span = std::log(1013.25 / kSoundingTopHpa);
  auto yOf = [&](double metres) {
    const double p = StandardPressure(std::max(0.0, metres));
    return bottom - (bottom - top) * std::clamp(std::log(1013.25 / p) / span, 0.0, 1.0);
  };
  for (double t = std::ceil(tMin / 10.0) * 10.0; t <= tMax; t += 10.0)
    AppendFormat(
        out,
        "<line class=\"grid%s\" x1=\"%.1f\" y1=\"%.0f\" x2=\"%.1f\" y2=\"%.0f\"/><text class=\"tick\" x=\"%.1f\" "
        "y=\"%.0f\" text-anchor=\"middle\">%.0f</text>",
        t == 0.0 ? " zero" : "", xOf(t), top, xOf(t), bottom, xOf(t), bottom + 13, t);
  if (tMin < 0.0 && tMax > 0.0)
    AppendFormat(out, "<text class=\"tick zero\" x=\"%.1f\" y=\"%.0f\">0 °C</text>", xOf(0.0) + 3, top + 11);
  // Feet and flight levels on the left, standard pressure on the right.
  const struct {
    double feet;
    const char* label;
  } heights[] = {{0, "0 ft"},      {2000, "2,000 ft"}, {5000, "5,000 ft"}, {10000, "FL100"},
                 {18000, "FL180"}, {24000, "FL240"},   {30000, "FL300"},   {34000, "FL340"}};
  for (const auto& h : heights) {
    const double y = yOf(h.feet / kFeetPerMetre);
    AppendFormat(out, "<line class=\"grid\" x1=\"%.0f\" y1=\"%.1f\" x2=\"%.0f\" y2=\"%.1f\"/>", left, y, right, y);
    AppendFormat(out, "<text class=\"tick\" x=\"%.0f\" y=\"%.1f\" text-anchor=\"end\">%s</text>", left - 4, y + 4,
                 h.label);
  }
  for (double hpa : {850.0, 700.0, 500.0, 300.0}) {
    // The standard height of the pressure, by bisection on the monotonic curve.
    double lo = 0.0, hi = 20000.0;
    for (int i = 0; i < 40; ++i) (StandardPressure((lo + hi) / 2) > hpa ? lo : hi) = (lo + hi) / 2;
    AppendFormat(out, "<text class=\"tick\" x=\"%.0f\" y=\"%.1f\">%.0f</text>", right + 4, yOf(lo) + 4, hpa);
  }
  AppendFormat(out, "<text class=\"tick\" x=\"%.0f\" y=\"%.0f\">hPa</text>", right + 4, top + 8);
  std::string temperature, dewPoint;
  for (const Level& l : levels) {
    AppendFormat(temperature, "%s%.1f,%.1f", temperature.empty() ? "" : " ", xOf(l.t), yOf(l.h));
    if (l.d != kMissing) AppendFormat(dewPoint, "%s%.1f,%.1f", dewPoint.empty() ? "" : " ", xOf(l.d), yOf(l.h));
  }
  out += "<polyline class=\"temp\" points=\"" + temperature + "\"/>";
  if (!dewPoint.empty()) out += "<polyline class=\"dew\" points=\"" + dewPoint + "\"/>";
  // Barbs thinned to one per 24 px, kept inside the frame.
  double lastY = 1e9;
  for (const Level& l : levels) {
    if (l.dir == kMissing || l.spd == kMissing) continue;
    const double y = std::clamp(yOf(l.h), top + 22.0, bottom - 22.0);
    if (lastY - y < 24.0) continue;
    lastY = y;
    AppendFormat(out, "<g class=\"sbarb\" transform=\"translate(%.0f %.1f)\">", barbX, y);
    if (l.spd < 3)
      out += "<circle class=\"calm\" r=\"5\"/>";
    else
      BarbSvg(out, l.dir, static_cast<int>(l.spd), 20.0, s.m_Latitude < 0.0);
    out += "</g>";
  }
  AppendFormat(
      out,
      "<line class=\"temp\" x1=\"%.0f\" y1=\"394\" x2=\"%.0f\" y2=\"394\"/><text class=\"tick\" x=\"%.0f\" "
      "y=\"398\">temperature</text><line class=\"dew\" x1=\"%.0f\" y1=\"394\" x2=\"%.0f\" y2=\"394\"/><text "
      "class=\"tick\" x=\"%.0f\" y=\"398\">dew point</text><text class=\"tick\" x=\"%.0f\" y=\"398\">°C · wind "
      "kt</text></svg>",
      left, left + 20, left + 24, left + 100, left + 120, left + 124, left + 186);
}

// The soundings a profile was blended from, nearest first, and a warning when even the nearest
// is far away.
void SoundingSources(std::string& out, const ViewStation& s) {
  const auto& notes = s.m_Trace.m_UpperAir;
  if (!s.m_Traced) return;
  if (notes.empty()) {
    AppendFormat(out, "<p class=\"warn\">No sounding within %.0f nm: no winds or temperatures aloft were sent.</p>",
                 kUpperAirReach);
    return;
  }
  const double nearest = std::sqrt(std::max(0.0, notes.front().m_SquaredDistance));
  if (nearest > kSoundingReachNm)
    AppendFormat(
        out,
        "<p class=\"warn\">The nearest sounding is %.0f nm away (more than %.0f nm): the winds and temperatures aloft "
        "are a blend of soundings far from here.</p>",
        nearest, kSoundingReachNm);
  out += "<p class=\"small\">Soundings used: ";
  int folded = 0;
  bool any = false;
  for (const NeighbourNote& n : notes) {
    if (any && n.m_Weight < 0.001) {
      ++folded;
      continue;
    }
    out += any ? ", " : "";
    out += EscapeHtml(n.m_Key);
    AppendFormat(out, " %.0f nm", std::sqrt(std::max(0.0, n.m_SquaredDistance)));
    if (!n.m_ObsTime.empty()) {
      // Appended piece by piece: GCC 12 at -O3 takes the temporaries of a + chain for an overlap.
      out += ' ';
      out += EscapeHtml(n.m_ObsDate);
      out += ' ';
      out += EscapeHtml(n.m_ObsTime);
      out += 'Z';
    }
    AppendFormat(out, " (%.0f %%)", n.m_Weight * 100.0);
    any = true;
  }
  if (folded > 0) AppendFormat(out, " and %d more of negligible weight", folded);
  out += ".</p>";
}

// ---- the detail panel ----

// The member names of the blend told as words.
std::string FieldWords(const std::string& field) {
  static const std::pair<const char*, const char*> kNames[] = {{"m_WindSpeed", "wind speed"},
                                                               {"m_WindDirection", "wind direction"},
                                                               {"m_WindGust", "gust"},
                                                               {"m_WindVariation", "wind variation"},
                                                               {"m_Visibility", "visibility"},
                                                               {"m_PrecipIntensity", "precipitation"},
                                                               {"m_Weather", "weather"},
                                                               {"m_Temperature", "temperature"},
                                                               {"m_DewPoint", "dew point"},
                                                               {"m_Pressure", "pressure"},
                                                               {"m_CloudCover", "cloud cover"},
                                                               {"m_CloudBase", "cloud base"},
                                                               {"m_CloudThickness", "cloud depth"},
                                                               {"m_CloudType", "cloud type"},
                                                               {"m_Thunderstorm", "thunderstorm"},
                                                               {"m_SeaLevelTemperature", "sea-level temperature"},
                                                               {"m_SeaLevelDewPoint", "sea-level dew point"}};
  for (const auto& [name, words] : kNames)
    if (field == name) return words;
  std::string words;
  for (char c : field.rfind("m_", 0) == 0 ? field.substr(2) : field) {
    if (c >= 'A' && c <= 'Z') {
      if (!words.empty()) words += ' ';
      words += static_cast<char>(c - 'A' + 'a');
    } else {
      words += c;
    }
  }
  return words;
}

// The neighbours of a blend with their distances and weights, those of negligible weight folded.
void SurfaceNeighbours(std::string& out, const std::vector<NeighbourNote>& notes) {
  out += "<p class=\"small\">neighbours: ";
  int folded = 0;
  bool any = false;
  for (const NeighbourNote& n : notes) {
    if (n.m_Weight < 0.001) {
      ++folded;
      continue;
    }
    out += (any ? ", " : "") + EscapeHtml(n.m_Key);
    AppendFormat(out, " %.0f nm %.0f %%", std::sqrt(std::max(0.0, n.m_SquaredDistance)), n.m_Weight * 100.0);
    any = true;
  }
  if (folded > 0) AppendFormat(out, "; and %d more of weight under 0.1 %%", folded);
  out += "</p>";
}

// What the pass wrote into the simulator for the station, from its block.
std::string SentWords(const ViewStation& s, const DecodedWeatherBlock& b) {
  std::string w = "sent to the simulator: ";
  const double elevationFeet = s.m_Elevation * kFeetPerMetre;
  AppendFormat(w, "visibility %s SM (%s to %s ft)", Thousands(std::lround(b.visibility.range / 100.0)).c_str(),
               Thousands(std::lround(b.visibility.lowerAltitude * kFeetPerMetre / 10.0) * 10).c_str(),
               Thousands(std::lround(b.visibility.upperAltitude * kFeetPerMetre / 10.0) * 10).c_str());
  if (!b.winds.empty()) {
    const WindLayer& w0 = b.winds.front();
    AppendFormat(w, ", surface wind %03.0f° %u kt", std::round(w0.direction * 360.0 / 65535.0), w0.speed);
    if (w0.gust > w0.speed) AppendFormat(w, " gusting %u kt", w0.gust);
  }
  for (const CloudLayer& c : b.clouds) {
    const char* type = c.type == 1 ? "cirrus" : c.type == 8 ? "stratus" : c.type == 9 ? "cumulus" : "thunderstorm";
    AppendFormat(w, ", %u/8 %s %s to %s ft", c.coverage, type,
                 Thousands(std::lround((c.lowerAltitude * kFeetPerMetre - elevationFeet) / 100.0) * 100).c_str(),
                 Thousands(std::lround((c.upperAltitude * kFeetPerMetre - elevationFeet) / 100.0) * 100).c_str());
  }
  if (b.clouds.empty()) w += ", no cloud";
  if (!b.temperatures.empty()) AppendFormat(w, ", %d °C", b.temperatures.front().temperature);
  if (b.header.pressure > 0) AppendFormat(w, ", %.0f hPa", b.header.pressure / 16.0);
  w += " (cloud heights above the station)";
  return w;
}

// The layers as numbers for the chart the script draws when the station is shown:
// clouds [lower ft, upper ft, octas, type], winds [upper ft, direction, kt], temperatures [ft, °C].
std::string LayerData(const DecodedWeatherBlock& b) {
  auto feet = [](double m) { return std::lround(m * kFeetPerMetre); };
  std::string d = "[[";
  for (std::size_t i = 0; i < b.clouds.size(); ++i)
    AppendFormat(d, "%s[%ld,%ld,%u,%u]", i ? "," : "", feet(b.clouds[i].lowerAltitude), feet(b.clouds[i].upperAltitude),
                 b.clouds[i].coverage, b.clouds[i].type);
  d += "],[";
  for (std::size_t i = 0; i < b.winds.size(); ++i)
    AppendFormat(d, "%s[%ld,%.0f,%u]", i ? "," : "", feet(b.winds[i].upperAltitude),
                 std::round(b.winds[i].direction * 360.0 / 65535.0), b.winds[i].speed);
  d += "],[";
  for (std::size_t i = 0; i < b.temperatures.size(); ++i)
    AppendFormat(d, "%s[%ld,%d]", i ? "," : "", feet(b.temperatures[i].altitude), b.temperatures[i].temperature);
  d += "]]";
  return d;
}

void Detail(std::string& out, const WeatherViewPage& page, const ViewStation& s, const StationShown& shown, int index) {
  // The layer numbers may be longer than one formatted piece: appended whole.
  const DecodedWeatherBlock sent = DecodeWeatherBlock(s.m_Block);
  AppendFormat(out, "<section class=\"detail\" id=\"d%d\" hidden data-l=\"", index);
  out += LayerData(sent) + "\">";
  out += "<h2>" + EscapeHtml(s.m_Key) + " <small>" + EscapeHtml(s.m_Name) + "</small></h2>";
  AppendFormat(out, "<p class=\"cat\" style=\"color:%s\">%s · %.1f nm from the aircraft",
               CategoryColour(shown.m_Category), shown.m_Category, std::sqrt(std::max(0.0, s.m_SquaredDistance)));
  const Age age = ReportAge(page, s);
  if (!s.m_ObsTime.empty())
    out += std::string(" · ") + (shown.m_Origin == ShownOrigin::kBlended ? "nearest report " : "report ") +
           EscapeHtml(s.m_ObsTime) + "Z";
  if (!age.text.empty())
    AppendFormat(out, ", <span class=\"%s\">%s old</span>", age.old ? "old" : "", age.text.c_str());
  out += "</p>";
  switch (shown.m_Origin) {
    case ShownOrigin::kReport:
    case ShownOrigin::kTakeOver:
      if (shown.m_Origin == ShownOrigin::kTakeOver)
        out += "<p class=\"origin\">the report of " + EscapeHtml(s.m_Trace.m_TakenOverFrom) +
               ", within 1 nm, taken over whole</p>";
      out += "<pre class=\"report\">" + EscapeHtml(s.m_ReportText) + "</pre>";
      out += "<p class=\"plain\">" + EscapeHtml(shown.m_Words) + "</p>";
      break;
    case ShownOrigin::kBlended:
      out += "<p class=\"plain\"><b>blended:</b> " + EscapeHtml(shown.m_Words) + "</p>";
      out += "<p class=\"small\">composed from neighbours: <code>" + EscapeHtml(s.m_ReportText) + "</code></p>";
      if (s.m_Traced) {
        SurfaceNeighbours(out, s.m_Trace.m_Surface);
        // Most values are weighted by distance; only the exceptions are told.
        std::string nearest, missing;
        for (const FieldNote& f : s.m_Trace.m_Fields) {
          if (f.m_Origin == ValueOrigin::kBlend) continue;
          std::string& list = f.m_Origin == ValueOrigin::kNearest ? nearest : missing;
          list += (list.empty() ? "" : ", ") + FieldWords(f.m_Field);
          if (f.m_Origin == ValueOrigin::kNearest) list += " (" + EscapeHtml(f.m_From) + ")";
        }
        out += "<p class=\"small\">values weighted by distance";
        if (!nearest.empty()) out += "; from the nearest: " + nearest;
        if (!missing.empty()) out += "; none had: " + missing;
        out += "</p>";
      } else {
        out += "<p class=\"small\">set in an earlier pass of another run; its neighbours are not known</p>";
      }
      break;
    case ShownOrigin::kNone: out += "<p class=\"plain\">" + EscapeHtml(shown.m_Words) + "</p>"; break;
  }
  out += "<p class=\"sent\">" + EscapeHtml(SentWords(s, sent)) + "</p>";
  if (s.m_Traced && !s.m_Trace.m_UpperAir.empty()) {
    const NeighbourNote& n = s.m_Trace.m_UpperAir.front();
    AppendFormat(out, "<p class=\"small\">aloft: blended from %u soundings, nearest ",
                 static_cast<unsigned>(s.m_Trace.m_UpperAir.size()));
    out += EscapeHtml(n.m_Key);
    AppendFormat(out, " at %.0f nm</p>", std::sqrt(std::max(0.0, n.m_SquaredDistance)));
  }
  out += "<h3>layers sent</h3><div class=\"layers\"></div></section>";
}

constexpr const char* kStyle = R"(<style>
body{margin:0;font:14px system-ui,sans-serif;background:#f4f6f8;color:#222;display:flex;height:100vh;overflow:hidden}
#map{flex:1 1 auto;min-width:0;position:relative}#map svg{width:100%;height:100%;background:#dfeaf3;display:block;
cursor:grab;touch-action:none}#map svg.drag{cursor:grabbing}
#side{flex:0 0 420px;padding:6px 12px;overflow:auto}
.land{fill:none;stroke:#7b8a96;stroke-width:1;stroke-linejoin:round;vector-effect:non-scaling-stroke}
.lake{fill:#b9d3ea;stroke:#7b8a96;stroke-width:.7;vector-effect:non-scaling-stroke}
.ring{fill:none;stroke:#56708a;stroke-width:1;stroke-dasharray:5 5;vector-effect:non-scaling-stroke}
.ringlabel,.empty{fill:#56708a}
.stn{cursor:pointer}.stn .disc{fill:#fff;stroke:currentColor;stroke-width:2}.stn .cover{fill:currentColor}
.stn.blend .disc{stroke-dasharray:3 2;fill:#eef}.stn.none .disc{fill:#eee}.obsc{stroke:currentColor;stroke-width:2}
.stn text{fill:#222;font-size:12px;paint-order:stroke;stroke:#fffd;stroke-width:3px}.stn .key{font-weight:600}
.stn .age{font-size:11px;fill:#555}.stn .age.old,.old{fill:#c00;color:#c00}.stn.quiet .lb{display:none}
.barb{fill:none;stroke:#222;stroke-width:1.4}.pennant{fill:#222}.calm{fill:none;stroke:#222;stroke-width:1.4}
.stn.sel .disc{stroke-width:4}#aircraft path{fill:none;stroke:#e07000;stroke-width:1.6}
pre.report{white-space:pre-wrap;background:#fff;padding:4px;border:1px solid #ccc;margin:4px 0}
.frame{fill:#fff;stroke:#999}.grid{stroke:#e3e3e3}.grid.zero{stroke:#4a90c0;stroke-dasharray:4 3}
.tick{font-size:11px;fill:#444}.tick.zero{fill:#4a90c0}
.temp{fill:none;stroke:#e07000;stroke-width:2.2}.dew{fill:none;stroke:#333;stroke-width:2;stroke-dasharray:6 3}
.sbarb .barb{stroke-width:1.2}.layers .cloud{fill:#789}.axis{stroke:#999}
.small{font-size:12px;color:#444}.warn{color:#a00;font-weight:600}.sent{font-size:12px;color:#335}
.key span{display:inline-block;width:10px;height:10px;margin:0 3px 0 8px}
h1{font-size:18px;margin:4px 0}h2{font-size:16px;margin:8px 0 2px}h3{font-size:14px;margin:6px 0 2px}
</style>)";

// Pointing at a station shows its details (a click keeps them, the reload too through the
// address's fragment) and draws its layer chart from the numbers in the page. The wheel zooms
// and a drag pans the map's view box; station models keep their size on screen, and labels
// that would overlap a nearer station's give way.
constexpr const char* kScript = R"(<script>
(function(){var svg=document.getElementById('chart'),shown=null,pinned=null,NS='http://www.w3.org/2000/svg';
var vb=svg.getAttribute('viewBox').split(' ').map(Number),stns=[].slice.call(document.querySelectorAll('.stn'));
function el(n,a,t){var e=document.createElementNS(NS,n);for(var k in a){e.setAttribute(k,a[k]);}
if(t){e.textContent=t;}return e;}
function chart(d){var L=JSON.parse(d.getAttribute('data-l')),top=3000,
s=el('svg',{width:380,height:220,viewBox:'0 0 380 220'});
L[0].forEach(function(c){top=Math.max(top,c[1]);});L[1].forEach(function(w){top=Math.max(top,w[0]);});
L[2].forEach(function(t){top=Math.max(top,t[0]);});top=Math.min(top*1.05,60000);
function y(f){return 212-204*Math.sqrt(Math.max(0,Math.min(f,top))/top);}
function thin(list,h,draw){var last=1e9;list.forEach(function(e){var v=y(h(e));if(last-v>=12){draw(e,v);last=v;}});}
s.appendChild(el('line',{x1:62,y1:8,x2:62,y2:212,'class':'axis'}));
[0,1000,3000,6000,10000,20000,30000,40000,50000].forEach(function(h){if(h<=top){
s.appendChild(el('text',{x:58,y:y(h)+4,'text-anchor':'end','class':'tick'},h.toLocaleString('en')+' ft'));}});
var names={1:'cirrus',8:'stratus',9:'cumulus',10:'thunderstorm'};
L[0].forEach(function(c){var y1=y(c[1]),y2=y(c[0]);
s.appendChild(el('rect',{x:66,y:y1,width:20+c[2]*12,height:Math.max(2,y2-y1),'class':'cloud',
'fill-opacity':0.2+c[2]*0.09}));});
thin(L[0],function(c){return c[0];},function(c,v){s.appendChild(el('text',{x:70,y:v-3,'class':'tick'},
c[2]+'/8 '+(names[c[3]]||'')+' from '+c[0].toLocaleString('en')+' ft'));});
thin(L[1],function(w){return w[0];},function(w,v){s.appendChild(el('text',{x:300,y:v+4,'class':'tick',
'text-anchor':'end'},'to '+w[0].toLocaleString('en')+' ft: '+('00'+w[1]).slice(-3)+'° '+w[2]+' kt'));});
thin(L[2],function(t){return t[0];},function(t,v){s.appendChild(el('text',{x:376,y:v+4,'class':'tick',
'text-anchor':'end'},t[1]+' °C'));});
d.querySelector('.layers').appendChild(s);d.removeAttribute('data-l');}
function show(i){if(shown!==null){document.getElementById('d'+shown).hidden=true;}
var d=document.getElementById('d'+i);if(!d){return;}if(d.hasAttribute('data-l')){chart(d);}d.hidden=false;shown=i;
document.getElementById('hint').hidden=true;}
function fit(){var k=vb[2]/Math.max(1,svg.clientWidth||880),kh=vb[3]/Math.max(1,svg.clientHeight||880);k=Math.max(k,kh);
var placed={},cell=80;stns.forEach(function(g){var x=+g.getAttribute('data-x'),y=+g.getAttribute('data-y');
g.setAttribute('transform','translate('+x+' '+y+') scale('+k+')');
var px=(x-vb[0])/k,py=(y-vb[1])/k,b=[px-40,py-16,px+48,py+18],hit=false,cx=Math.floor(px/cell),cy=Math.floor(py/cell);
for(var i=cx-1;i<=cx+1&&!hit;i++){for(var j=cy-1;j<=cy+1&&!hit;j++){(placed[i+','+j]||[]).forEach(function(o){
if(b[0]<o[2]&&o[0]<b[2]&&b[1]<o[3]&&o[1]<b[3]){hit=true;}});}}
g.classList.toggle('quiet',hit);if(!hit){(placed[cx+','+cy]=placed[cx+','+cy]||[]).push(b);}});
var a=document.getElementById('aircraft');a.setAttribute('transform','scale('+k+')');
var last=-1e9;document.querySelectorAll('.ringlabel').forEach(function(t){t.setAttribute('font-size',12*k);
var r=+t.getAttribute('data-r')/k,keep=r-last>=44;t.style.display=keep?'':'none';if(keep){last=r;}});
svg.setAttribute('data-scale',k.toPrecision(4));}
function keep(){history.replaceState(null,'','#'+(pinned===null?'':pinned)+'@'+vb.map(function(n){
return n.toFixed(1);}).join(','));}
function setView(v,quiet){vb=v;svg.setAttribute('viewBox',v.map(function(n){return n.toFixed(2);}).join(' '));fit();
if(!quiet){keep();}}
svg.addEventListener('wheel',function(e){e.preventDefault();var r=svg.getBoundingClientRect(),
k=Math.max(vb[2]/r.width,vb[3]/r.height),f=e.deltaY<0?1/1.25:1.25,
mx=vb[0]+(e.clientX-r.left-(r.width-vb[2]/k)/2)*k,my=vb[1]+(e.clientY-r.top-(r.height-vb[3]/k)/2)*k;
setView([mx-(mx-vb[0])*f,my-(my-vb[1])*f,vb[2]*f,vb[3]*f]);},{passive:false});
var drag=null,moved=false;
svg.addEventListener('pointerdown',function(e){drag=[e.clientX,e.clientY,vb.slice()];moved=false;});
addEventListener('pointermove',function(e){if(!drag){return;}var dx=e.clientX-drag[0],dy=e.clientY-drag[1];
if(!moved&&Math.abs(dx)+Math.abs(dy)<4){return;}moved=true;svg.classList.add('drag');
var r=svg.getBoundingClientRect(),k=Math.max(drag[2][2]/r.width,drag[2][3]/r.height);
setView([drag[2][0]-dx*k,drag[2][1]-dy*k,drag[2][2],drag[2][3]]);});
addEventListener('pointerup',function(){drag=null;svg.classList.remove('drag');});
stns.forEach(function(g){var i=g.getAttribute('data-i');
g.addEventListener('mouseenter',function(){show(i);});
g.addEventListener('mouseleave',function(){if(pinned!==null){show(pinned);}});
g.addEventListener('click',function(){if(moved){return;}
if(pinned!==null){var p=document.querySelector('.stn[data-i="'+pinned+'"]');if(p){p.classList.remove('sel');}}
pinned=i;g.classList.add('sel');show(i);keep();});});
addEventListener('resize',fit);fit();
addEventListener('load',function(){document.body.getBoundingClientRect();
var n=performance.getEntriesByType('navigation')[0];
document.documentElement.setAttribute('data-render-ms',Math.round(performance.now()-(n?n.responseStart:0)));});
// The reload keeps the station kept and the zoom, through the address's fragment: #PIN@X,Y,W,H.
var h=location.hash.slice(1).split('@'),v=(h[1]||'').split(',').map(Number);
if(v.length===4&&v.every(isFinite)&&v[2]>0&&v[3]>0){setView(v,true);}
if(h[0]&&document.getElementById('d'+h[0])){
var g=document.querySelector('.stn[data-i="'+h[0]+'"]');if(g){g.dispatchEvent(new Event('click'));}}
})();
</script>)";

}  // namespace

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

std::int64_t UtcSeconds(int year, int month, int day, int hour, int minute) {
  // Days from the civil date (proleptic Gregorian).
  const int y = year - (month <= 2);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
  return days * 86400 + hour * 3600 + minute * 60;
}

const char* FlightCategory(double ceilingFeet, double visibilityMiles) {
  const bool ceiling = ceilingFeet >= 0.0;
  if ((ceiling && ceilingFeet < 500.0) || visibilityMiles < 1.0) return "LIFR";
  if ((ceiling && ceilingFeet < 1000.0) || visibilityMiles < 3.0) return "IFR";
  if ((ceiling && ceilingFeet <= 3000.0) || visibilityMiles <= 5.0) return "MVFR";
  return "VFR";
}

// ---- the page ----

namespace {

// The lines of an outline near the view as one path (pen lifted where a line leaves it).
std::string OutlinePath(const std::vector<OutlineLine>& lines, const Projection& project, double reach, bool closed) {
  std::string d;
  for (const OutlineLine& line : lines) {
    std::string piece;
    bool pen = false;
    bool anyNear = false;
    for (const auto& [lon, lat] : line) {
      const Point p = project(lat, lon);
      const bool near = std::fabs(p.x) < reach && std::fabs(p.y) < reach;
      anyNear = anyNear || near;
      // A lake is drawn whole when any of it is near, so that it stays a closed shape.
      if (!near && !closed) {
        pen = false;
        continue;
      }
      AppendFormat(piece, "%c%.1f %.1f", pen ? 'L' : 'M', p.x, p.y);
      pen = true;
    }
    if (closed && anyNear) piece += 'Z';
    if (anyNear) d += piece;
  }
  return d;
}

}  // namespace

std::string RenderWeatherView(const WeatherViewPage& page) {
  const Projection project{page.m_AircraftLatitude, page.m_AircraftLongitude,
                           std::max(0.05, std::cos(page.m_AircraftLatitude * g_Pi / 180.0))};
  // The map reaches a little beyond the farthest station and the last ring.
  const int lastRing = page.m_Stations.empty() ? 0 : std::clamp(page.m_Radius, 20, 300);
  double extent = std::max(lastRing, 20);
  for (const ViewStation& s : page.m_Stations) {
    const Point p = project(s.m_Latitude, s.m_Longitude);
    extent = std::max({extent, std::fabs(p.x), std::fabs(p.y)});
  }
  extent = extent * 1.08 + 10.0;
  const double scale = 2.0 * extent / kMapPixels;

  std::string out;
  out.reserve(64 * 1024 + page.m_Stations.size() * 2 * 1024);
  out +=
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'; "
      "script-src 'unsafe-inline'\">"
      "<meta http-equiv=\"refresh\" content=\"30\">"
      "<meta name=\"viewport\" content=\"width=device-width\">"
      "<title>Altivane weather view</title>";
  out += kStyle;
  out += "</head><body><div id=\"map\">";
  AppendFormat(out, "<svg id=\"chart\" viewBox=\"%.2f %.2f %.2f %.2f\" xmlns=\"http://www.w3.org/2000/svg\">", -extent,
               -extent, 2 * extent, 2 * extent);

  const double reach = extent * 1.5;
  const std::string land = OutlinePath(MapOutline(), project, reach, false);
  if (!land.empty()) out += "<path class=\"land\" d=\"" + land + "\"/>";
  const std::string lakes = OutlinePath(MapLakes(), project, reach, true);
  if (!lakes.empty()) out += "<path class=\"lake\" d=\"" + lakes + "\"/>";

  for (int ring = 20; lastRing > 0 && ring <= lastRing; ring += ring < 100 ? 20 : 100) {
    AppendFormat(out, "<circle class=\"ring\" r=\"%d\"/>", ring);
    AppendFormat(out, "<text class=\"ringlabel\" data-r=\"%d\" x=\"%.1f\" y=\"%.1f\" font-size=\"%.2f\">%d nm</text>",
                 ring, ring * 0.71, -ring * 0.71, 12 * scale, ring);
  }
  if (page.m_Stations.empty())
    AppendFormat(out,
                 "<text class=\"empty\" x=\"0\" y=\"%.1f\" text-anchor=\"middle\" font-size=\"%.2f\">no station was "
                 "set in the last pass</text>",
                 -30 * scale, 14 * scale);
  // The aircraft first, as an outline under the stations, so the station at it stays readable.
  AppendFormat(
      out,
      "<g id=\"aircraft\" transform=\"scale(%.4f)\"><title>aircraft</title>"
      "<path d=\"M0 -9L1.3 -3L8 1.5V3.2L1.3 1.5L.9 6L3 8V9L0 8.2L-3 9V8L-.9 6L-1.3 1.5L-8 3.2V1.5L-1.3 -3Z\"/></g>",
      scale);
  std::vector<StationShown> shown;
  shown.reserve(page.m_Stations.size());
  for (const ViewStation& s : page.m_Stations) shown.push_back(ShowStation(s));
  // Drawn farthest first, so that the nearer stations lie on top.
  for (std::size_t i = page.m_Stations.size(); i-- > 0;) {
    const ViewStation& s = page.m_Stations[i];
    StationModel(out, page, s, shown[i], i, project(s.m_Latitude, s.m_Longitude), scale);
  }
  out += "</svg></div><div id=\"side\">";
  AppendFormat(
      out, "<h1>Weather view</h1><p class=\"small\">aircraft %.4f, %.4f · %u stations in the last pass · radius %d nm",
      page.m_AircraftLatitude, page.m_AircraftLongitude, static_cast<unsigned>(page.m_Stations.size()), page.m_Radius);
  if (!page.m_Stamp.empty()) out += " · " + EscapeHtml(page.m_Stamp);
  out += "</p><p class=\"key small\">";
  for (const char* c : {"VFR", "MVFR", "IFR", "LIFR"})
    AppendFormat(out, "<span style=\"background:%s\"></span>%s", CategoryColour(c), c);
  out +=
      "<br>solid disc ring: the station's own report (symbol, category and words as reported); dashed: blended "
      "from neighbours. Barbs: 10 kt a feather, 50 kt a pennant; a ring is calm. Wheel zooms, drag pans.</p>";
  // The station pointed at comes first, where it is seen without scrolling; the sounding under it.
  out += "<p id=\"hint\">Point at a station for its weather; click to keep it.</p>";
  for (std::size_t i = 0; i < page.m_Stations.size(); ++i)
    Detail(out, page, page.m_Stations[i], shown[i], static_cast<int>(i));
  if (!page.m_Stations.empty()) {
    const ViewStation& nearest = page.m_Stations.front();
    out += "<h2>Sounding at " + EscapeHtml(nearest.m_Key) + " (nearest the aircraft)</h2>";
    Sounding(out, nearest);
    SoundingSources(out, nearest);
  }
  out += "</div>";
  out += kScript;
  out += "</body></html>\n";
  return out;
}
