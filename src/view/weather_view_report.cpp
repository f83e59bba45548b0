// What the weather view says about a station: the report read in its own groups (so the
// symbol, the category and the words are the report's, not the simulator's drawn values),
// the blended values of a station without a report, and the wind barb's geometry.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "view/weather_view.h"
#include "base/text.h"
#include "base/units.h"

namespace {

constexpr double kFeetPerMetre = 3.28084;
constexpr double kMetresPerStatuteMile = 1609.344;

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int Number(std::string_view s) {
  int n = 0;
  for (char c : s) n = n * 10 + (c - '0');
  return n;
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// The groups after these describe the coming hours or are remarks, not the weather now.
bool EndsPresentWeather(std::string_view g) {
  if (g == "TEMPO" || g == "BECMG" || g == "NOSIG" || g == "RMK" || g == "INTER" || StartsWith(g, "PROB")) return true;
  return g.size() == 8 && StartsWith(g, "FM") && AllDigits(g.substr(2));
}

// dddffKT, dddffGggKT, VRBffKT (also MPS and KMH).
bool ReadWind(std::string_view g, ReportedWeather& r) {
  double factor = 0.0;
  std::string_view body;
  for (auto [unit, f] : {std::pair<std::string_view, double>{"KT", 1.0}, {"MPS", 1.943844}, {"KMH", 0.539957}}) {
    if (g.size() > unit.size() && g.substr(g.size() - unit.size()) == unit) {
      factor = f;
      body = g.substr(0, g.size() - unit.size());
      break;
    }
  }
  if (factor == 0.0 || body.size() < 5) return false;
  const std::string_view direction = body.substr(0, 3);
  if (direction != "VRB" && !AllDigits(direction)) return false;
  std::string_view speed = body.substr(3);
  std::string_view gust;
  if (const std::size_t g_at = speed.find('G'); g_at != std::string_view::npos) {
    gust = speed.substr(g_at + 1);
    speed = speed.substr(0, g_at);
    if (!AllDigits(gust)) return false;
  }
  if (!AllDigits(speed) || speed.size() > 3) return false;
  r.m_Wind = true;
  r.m_WindDirection = direction == "VRB" ? -1 : Number(direction);
  r.m_WindSpeed = static_cast<int>(std::lround(Number(speed) * factor));
  r.m_WindGust = gust.empty() ? 0 : static_cast<int>(std::lround(Number(gust) * factor));
  return true;
}

// "1/2", "3/4": a fraction of a statute mile; false when it is not one.
bool Fraction(std::string_view s, double& value) {
  const std::size_t slash = s.find('/');
  if (slash == std::string_view::npos || !AllDigits(s.substr(0, slash)) || !AllDigits(s.substr(slash + 1)))
    return false;
  const int d = Number(s.substr(slash + 1));
  if (d == 0) return false;
  value = static_cast<double>(Number(s.substr(0, slash))) / d;
  return true;
}

// 10SM, P6SM, M1/4SM, 1/2SM (a whole number before it is added by the caller), 6000, 9999.
bool ReadVisibility(std::string_view g, double wholeBefore, ReportedWeather& r) {
  if (g.size() > 2 && g.substr(g.size() - 2) == "SM") {
    std::string_view v = g.substr(0, g.size() - 2);
    bool more = false;
    bool less = false;
    if (!v.empty() && v[0] == 'P') more = true, v.remove_prefix(1);
    if (!v.empty() && v[0] == 'M') less = true, v.remove_prefix(1);
    double miles = 0.0;
    if (AllDigits(v)) {
      miles = Number(v);
    } else if (!Fraction(v, miles)) {
      return false;
    }
    r.m_Visibility = true;
    r.m_VisibilityMiles = miles + wholeBefore;
    r.m_VisibilityOrMore = more || (miles >= 10.0 && !less);
    r.m_VisibilityLess = less;
    return true;
  }
  std::string_view v = g;
  if (v.size() == 7 && v.substr(4) == "NDV") v = v.substr(0, 4);
  if (v.size() != 4 || !AllDigits(v)) return false;
  r.m_Visibility = true;
  r.m_VisibilityMetres = Number(v);
  r.m_VisibilityOrMore = r.m_VisibilityMetres == 9999;
  r.m_VisibilityMiles = (r.m_VisibilityOrMore ? 10000 : r.m_VisibilityMetres) / kMetresPerStatuteMile;
  return true;
}

bool ReadCloud(std::string_view g, ReportedWeather& r) {
  if (g == "SKC" || g == "CLR" || g == "NSC" || g == "NCD") {
    r.m_SkyClear = true;
    return true;
  }
  ReportedLayer layer;
  std::string_view rest;
  if (StartsWith(g, "VV")) {
    layer.m_Cover = "VV";
    rest = g.substr(2);
  } else {
    for (const char* cover : {"FEW", "SCT", "BKN", "OVC"}) {
      if (StartsWith(g, cover)) {
        layer.m_Cover = cover;
        rest = g.substr(3);
      }
    }
    if (layer.m_Cover.empty()) return false;
  }
  if (rest.size() < 3) return false;
  const std::string_view height = rest.substr(0, 3);
  if (AllDigits(height)) {
    layer.m_BaseFeet = Number(height) * 100;
  } else if (height != "///") {
    return false;
  }
  const std::string_view type = rest.substr(3);
  if (type == "CB" || type == "TCU") {
    layer.m_Type = std::string(type);
  } else if (!type.empty() && type != "///") {
    return false;
  }
  r.m_Layers.push_back(layer);
  return true;
}

// M03/M04, 11/09, 21/15, 05/ (dew point missing).
bool ReadTemperatures(std::string_view g, ReportedWeather& r) {
  const std::size_t slash = g.find('/');
  if (slash == std::string_view::npos || g.find('/', slash + 1) != std::string_view::npos) return false;
  auto value = [](std::string_view s, int& out) {
    bool minus = false;
    if (!s.empty() && s[0] == 'M') minus = true, s.remove_prefix(1);
    if (s.size() != 2 || !AllDigits(s)) return false;
    out = minus ? -Number(s) : Number(s);
    return true;
  };
  int t = kMissing;
  int d = kMissing;
  if (!value(g.substr(0, slash), t)) return false;
  const std::string_view dew = g.substr(slash + 1);
  if (!dew.empty() && !value(dew, d)) return false;
  r.m_Temperature = t;
  r.m_DewPoint = d;
  return true;
}

struct Code {
  const char* code;
  const char* words;
};
constexpr Code kDescriptors[] = {{"MI", "shallow"},      {"BC", "patches of"}, {"PR", "partial"},
                                 {"DR", "low drifting"}, {"BL", "blowing"},    {"SH", "showers of"},
                                 {"TS", "thunderstorm"}, {"FZ", "freezing"}};
constexpr Code kPhenomena[] = {
    {"DZ", "drizzle"},     {"RA", "rain"},     {"SN", "snow"},         {"SG", "snow grains"},   {"IC", "ice crystals"},
    {"PL", "ice pellets"}, {"GR", "hail"},     {"GS", "small hail"},   {"UP", "precipitation"}, {"BR", "mist"},
    {"FG", "fog"},         {"FU", "smoke"},    {"VA", "volcanic ash"}, {"DU", "dust"},          {"SA", "sand"},
    {"HZ", "haze"},        {"PY", "spray"},    {"PO", "dust whirls"},  {"SQ", "squalls"},       {"FC", "funnel cloud"},
    {"SS", "sandstorm"},   {"DS", "duststorm"}};

const char* CodeWords(std::string_view two, const Code* table, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (two == table[i].code) return table[i].words;
  return nullptr;
}

// "-SHRA" -> "light showers of rain"; empty when the group is no present-weather group.
std::string WeatherWords(std::string_view g) {
  std::string words;
  if (StartsWith(g, "-"))
    words = "light ", g.remove_prefix(1);
  else if (StartsWith(g, "+"))
    words = "heavy ", g.remove_prefix(1);
  bool vicinity = false;
  if (StartsWith(g, "VC")) vicinity = true, g.remove_prefix(2);
  if (g.empty() || g.size() % 2 != 0) return {};
  bool thunder = false;
  std::string phenomena;
  for (std::size_t i = 0; i < g.size(); i += 2) {
    const std::string_view two = g.substr(i, 2);
    if (const char* d = CodeWords(two, kDescriptors, std::size(kDescriptors))) {
      if (two == "TS") {
        thunder = true;
      } else {
        words += d;
        words += ' ';
      }
      continue;
    }
    const char* p = CodeWords(two, kPhenomena, std::size(kPhenomena));
    if (!p) return {};
    if (!phenomena.empty()) phenomena += " and ";
    phenomena += p;
  }
  if (thunder) words = "thunderstorm" + std::string(phenomena.empty() ? "" : " with ") + words;
  words += phenomena;
  while (!words.empty() && words.back() == ' ') words.pop_back();
  if (vicinity) words += " nearby";
  return words;
}

const char* CoverName(std::string_view cover) {
  if (cover == "FEW") return "few";
  if (cover == "SCT") return "scattered";
  if (cover == "BKN") return "broken";
  return "overcast";
}

int CoverOctas(std::string_view cover) {
  if (cover == "FEW") return 2;
  if (cover == "SCT") return 4;
  if (cover == "BKN") return 6;
  return 8;
}

std::string Miles(double miles) {
  std::string text;
  if (miles >= 3.0 || miles == std::floor(miles))
    AppendFormat(text, "%.0f", std::floor(miles + 0.05));
  else
    AppendFormat(text, "%.2g", miles);
  return text;
}

std::string WindText(int direction, int speed, int gust) {
  std::string text;
  if (speed <= 0) return "calm";
  if (direction < 0)
    AppendFormat(text, "VRB%02d", speed);
  else
    AppendFormat(text, "%03d/%02d", direction, speed);
  if (gust > speed) AppendFormat(text, "G%02d", gust);
  return text;
}

std::string WindWords(const StationShown& s, int varyFrom, int varyTo) {
  std::string words;
  if (!s.m_WindKnown) return "wind not reported";
  if (s.m_WindSpeed <= 0) return "wind calm";
  if (s.m_WindDirection < 0)
    AppendFormat(words, "wind variable at %d kt", s.m_WindSpeed);
  else
    AppendFormat(words, "wind %03d° at %d kt", s.m_WindDirection, s.m_WindSpeed);
  if (s.m_WindGust > s.m_WindSpeed) AppendFormat(words, " gusting %d kt", s.m_WindGust);
  if (varyFrom >= 0) AppendFormat(words, ", varying between %03d° and %03d°", varyFrom, varyTo);
  return words;
}

void Temperatures(std::string& words, int t, int d) {
  if (t != kMissing) AppendFormat(words, ", %d °C", t);
  if (d != kMissing) AppendFormat(words, ", dew point %d °C", d);
}

bool Missing(double value) { return value <= kMissingReal; }

void FromReport(const ViewStation& station, StationShown& s) {
  const ReportedWeather r = ReadReportGroups(station.m_ReportText);
  s.m_WindKnown = r.m_Wind;
  s.m_WindDirection = r.m_WindDirection;
  s.m_WindSpeed = r.m_WindSpeed;
  s.m_WindGust = r.m_WindGust;
  if (r.m_Wind) s.m_Wind = WindText(r.m_WindDirection, r.m_WindSpeed, r.m_WindGust);
  if (r.m_Visibility) {
    s.m_VisibilityMiles = r.m_VisibilityMiles;
    s.m_VisibilityOrMore = r.m_VisibilityOrMore;
  }
  s.m_CoverOctas = r.m_SkyClear ? 0 : -1;
  for (const ReportedLayer& l : r.m_Layers) {
    if (l.m_Cover == "VV") {
      s.m_Obscured = true;
    } else {
      s.m_CoverOctas = std::max(s.m_CoverOctas, CoverOctas(l.m_Cover));
    }
    const bool ceiling = l.m_Cover == "BKN" || l.m_Cover == "OVC" || l.m_Cover == "VV";
    if (ceiling && l.m_BaseFeet >= 0 && (s.m_CeilingFeet < 0 || l.m_BaseFeet < s.m_CeilingFeet)) {
      s.m_CeilingFeet = l.m_BaseFeet;
      s.m_CeilingObscured = l.m_Cover == "VV";
    }
  }
  s.m_Temperature = r.m_Temperature;
  s.m_DewPoint = r.m_DewPoint;
  // A visibility not reported is not a visibility of 0: the category then rests on the ceiling.
  s.m_Category = FlightCategory(s.m_CeilingFeet, r.m_Visibility ? r.m_VisibilityMiles : 99.0);

  std::string& w = s.m_Words;
  w = WindWords(s, r.m_VaryFrom, r.m_VaryTo);
  if (!r.m_Visibility) {
    w += ", visibility not reported";
  } else if (r.m_VisibilityMetres >= 0) {
    if (r.m_VisibilityOrMore)
      w += ", visibility 10+ km (6+ SM)";
    else
      AppendFormat(w, ", visibility %s m (%.1f SM)", Thousands(r.m_VisibilityMetres).c_str(), r.m_VisibilityMiles);
  } else {
    AppendFormat(w, ", visibility %s%s SM", r.m_VisibilityLess ? "less than " : "", Miles(r.m_VisibilityMiles).c_str());
    if (r.m_VisibilityOrMore) w.insert(w.size() - 3, "+");
  }
  for (const std::string& g : r.m_Weather) w += ", " + WeatherWords(g);
  for (const ReportedLayer& l : r.m_Layers) {
    const std::string base = l.m_BaseFeet < 0 ? std::string("height not given") : Thousands(l.m_BaseFeet) + " ft";
    if (l.m_Cover == "VV")
      w += ", sky obscured, vertical visibility " + base;
    else
      w += std::string(", ") + CoverName(l.m_Cover) + " at " + base;
    if (l.m_Type == "CB") w += " (cumulonimbus)";
    if (l.m_Type == "TCU") w += " (towering cumulus)";
  }
  if (r.m_SkyClear) w += ", sky clear";
  Temperatures(w, r.m_Temperature, r.m_DewPoint);
  if (r.m_AltimeterHundredthsInHg > 0)
    AppendFormat(w, ", altimeter %d.%02d inHg", r.m_AltimeterHundredthsInHg / 100, r.m_AltimeterHundredthsInHg % 100);
  if (r.m_QnhHpa > 0) AppendFormat(w, ", QNH %d hPa", r.m_QnhHpa);
}

void FromBlend(const ViewStation& station, StationShown& s) {
  s.m_WindKnown = true;
  s.m_WindDirection = station.m_WindDirection;
  s.m_WindSpeed = std::max(0, station.m_WindSpeed);
  s.m_WindGust = station.m_WindGust > station.m_WindSpeed ? station.m_WindGust : 0;
  s.m_Wind = WindText(s.m_WindDirection, s.m_WindSpeed, s.m_WindGust);
  if (!Missing(station.m_Visibility) && station.m_Visibility > 0.0) s.m_VisibilityMiles = station.m_Visibility;
  const double ceiling = CeilingFeet(station);
  // Reports give bases in hundreds of feet: a blended 997 ft is the 1,000 ft it came from.
  if (ceiling >= 0.0) s.m_CeilingFeet = std::round(ceiling / 100.0) * 100.0;
  s.m_CoverOctas = 0;
  for (int c = 0; c < kCloudSlots; ++c) {
    const double cover = station.m_CloudCover[c];
    if (station.m_CloudBase[c] <= 0 || cover <= 0.125 || cover > 1.0) continue;
    s.m_CoverOctas = std::max(s.m_CoverOctas, cover <= 0.25 ? 2 : cover <= 0.5 ? 4 : cover <= 0.875 ? 6 : 8);
  }
  s.m_Temperature = station.m_Temperature;
  s.m_DewPoint = station.m_DewPoint;
  s.m_Category = FlightCategory(s.m_CeilingFeet, s.m_VisibilityMiles < 0 ? 99.0 : s.m_VisibilityMiles);
  s.m_Words = DescribeWeather(station);
}

}  // namespace

ReportedWeather ReadReportGroups(std::string_view report) {
  ReportedWeather r;
  std::vector<std::string_view> groups;
  for (std::size_t at = 0; at < report.size();) {
    const std::size_t end = std::min(report.find_first_of(" \t\r\n", at), report.size());
    if (end > at) groups.push_back(report.substr(at, end - at));
    at = end + 1;
  }
  // The groups start after the day and time (ddhhmmZ); what comes before is the file's date
  // line, METAR or SPECI and the station's key.
  std::size_t i = 0;
  for (std::size_t k = 0; k < groups.size() && k < 6; ++k) {
    const std::string_view g = groups[k];
    if (g.size() == 7 && g.back() == 'Z' && AllDigits(g.substr(0, 6))) {
      i = k + 1;
      break;
    }
  }
  if (i == 0) {
    if (i < groups.size() && (groups[i] == "METAR" || groups[i] == "SPECI")) ++i;
    if (i < groups.size()) ++i;  // the station's key
  }
  for (; i < groups.size(); ++i) {
    const std::string_view g = groups[i];
    if (EndsPresentWeather(g)) break;
    if (!r.m_Wind && ReadWind(g, r)) continue;
    if (r.m_Wind && r.m_VaryFrom < 0 && g.size() == 7 && g[3] == 'V' && AllDigits(g.substr(0, 3)) &&
        AllDigits(g.substr(4))) {
      r.m_VaryFrom = Number(g.substr(0, 3));
      r.m_VaryTo = Number(g.substr(4));
      continue;
    }
    if (!r.m_Visibility) {
      if (g == "CAVOK") {
        r.m_Visibility = r.m_VisibilityOrMore = r.m_SkyClear = true;
        r.m_VisibilityMetres = 9999;
        r.m_VisibilityMiles = 10000 / kMetresPerStatuteMile;
        continue;
      }
      // "1 1/2SM": the whole miles stand alone before the fraction.
      if (g.size() == 1 && AllDigits(g) && i + 1 < groups.size() && groups[i + 1].find('/') != std::string_view::npos &&
          ReadVisibility(groups[i + 1], Number(g), r)) {
        ++i;
        continue;
      }
      if (ReadVisibility(g, 0.0, r)) continue;
    }
    if (ReadCloud(g, r)) continue;
    if (r.m_Temperature == kMissing && ReadTemperatures(g, r)) continue;
    if (g.size() == 5 && (g[0] == 'A' || g[0] == 'Q') && AllDigits(g.substr(1))) {
      (g[0] == 'A' ? r.m_AltimeterHundredthsInHg : r.m_QnhHpa) = Number(g.substr(1));
      continue;
    }
    if (!WeatherWords(g).empty()) r.m_Weather.emplace_back(g);
  }
  return r;
}

const char* OriginName(ShownOrigin origin) {
  switch (origin) {
    case ShownOrigin::kReport: return "report";
    case ShownOrigin::kTakeOver: return "take-over";
    case ShownOrigin::kBlended: return "blended";
    case ShownOrigin::kNone: break;
  }
  return "none";
}

StationShown ShowStation(const ViewStation& station) {
  StationShown s;
  if (station.m_Traced) {
    if (!station.m_Trace.m_SurfaceBlended)
      s.m_Origin = ShownOrigin::kReport;
    else if (!station.m_Trace.m_TakenOverFrom.empty())
      s.m_Origin = ShownOrigin::kTakeOver;
    else if (!station.m_Trace.m_Surface.empty())
      s.m_Origin = ShownOrigin::kBlended;
  } else if (!station.m_ReportText.empty()) {
    // Set in a pass of another run: a composed text starts with "METAR ", a report with its key.
    s.m_Origin = station.m_ReportText.rfind("METAR ", 0) == 0 ? ShownOrigin::kBlended : ShownOrigin::kReport;
  }
  if (s.m_Origin == ShownOrigin::kReport || s.m_Origin == ShownOrigin::kTakeOver)
    FromReport(station, s);
  else if (s.m_Origin == ShownOrigin::kBlended)
    FromBlend(station, s);
  else
    s.m_Words = "no report and no reporting station to blend from";
  return s;
}

std::string ShownStationsJson(const WeatherViewPage& page) {
  std::string out = "{\"stations\": [";
  for (std::size_t i = 0; i < page.m_Stations.size(); ++i) {
    const ViewStation& v = page.m_Stations[i];
    const StationShown s = ShowStation(v);
    std::string key;
    for (char c : v.m_Key) {
      if (c == '"' || c == '\\')
        key += '\\', key += c;
      else if (static_cast<unsigned char>(c) < 0x20)
        AppendFormat(key, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
      else if (static_cast<unsigned char>(c) < 0x80)
        key += c;
      else
        AppendFormat(key, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
    }
    AppendFormat(out, "%s{\"key\": \"%s\", \"category\": \"%s\", ", i ? ", " : "", key.c_str(), s.m_Category);
    if (s.m_CeilingFeet < 0)
      out += "\"ceiling_ft\": null, ";
    else
      AppendFormat(out, "\"ceiling_ft\": %.0f, ", s.m_CeilingFeet);
    if (s.m_VisibilityMiles < 0)
      out += "\"visibility_sm\": null, ";
    else
      AppendFormat(out, "\"visibility_sm\": %.2f, ", std::round(s.m_VisibilityMiles * 100.0) / 100.0);
    if (s.m_Wind.empty())
      out += "\"wind\": null, ";
    else
      AppendFormat(out, "\"wind\": \"%s\", ", s.m_Wind.c_str());
    AppendFormat(out, "\"origin\": \"%s\"}", OriginName(s.m_Origin));
  }
  out += "]}";
  return out;
}

BarbShape WindBarbShape(double directionDeg, int speedKt, double length, bool southern) {
  BarbShape shape;
  // Built pointing north (the staff towards the wind's origin), then turned clockwise.
  const double a = directionDeg * g_Pi / 180.0;
  const double c = std::cos(a);
  const double s = std::sin(a);
  auto turn = [&](double x, double y) { return BarbPoint{x * c - y * s, x * s + y * c}; };
  // Low pressure lies left of the wind in the northern hemisphere: for a staff pointing north
  // (a northerly) that is the east side, +x.
  const double side = southern ? -1.0 : 1.0;
  shape.m_Lines.push_back({turn(0, 0), turn(0, -length)});
  int rest = (std::max(0, speedKt) + 2) / 5 * 5;
  double y = -length;
  const double step = length * 0.16;
  const double feather = length * 0.42 * side;
  while (rest >= 50) {
    shape.m_Pennants.push_back({turn(0, y), turn(feather, y + step * 0.5), turn(0, y + step)});
    y += step * 1.2;
    rest -= 50;
  }
  while (rest >= 10) {
    shape.m_Lines.push_back({turn(0, y), turn(feather, y - step)});
    y += step;
    rest -= 10;
  }
  if (rest >= 5) {
    if (y == -length) y += step;  // a lone half feather sits off the end
    shape.m_Lines.push_back({turn(0, y), turn(feather * 0.5, y - step * 0.5)});
  }
  return shape;
}

std::string DescribeWeather(const ViewStation& s) {
  std::string out;
  if (s.m_WindSpeed <= 0)
    out += "wind calm";
  else
    AppendFormat(out, "wind %03d° at %d kt", s.m_WindDirection, s.m_WindSpeed);
  if (s.m_WindSpeed > 0 && s.m_WindGust > s.m_WindSpeed) AppendFormat(out, " gusting %d kt", s.m_WindGust);
  if (!Missing(s.m_Visibility) && s.m_Visibility > 0.0)
    AppendFormat(out, ", visibility %s SM", Miles(s.m_Visibility).c_str());
  else
    out += ", visibility not known";
  if (s.m_PrecipIntensity != 0.0 && !s.m_Weather.empty()) {
    const std::string words = WeatherWords(s.m_Weather);
    out += ", " + (words.empty() ? s.m_Weather : words);
  }
  bool cloud = false;
  for (int c = 0; c < kCloudSlots; ++c) {
    const double cover = s.m_CloudCover[c];
    if (cover <= 0.125 || cover > 1.0) continue;
    if (s.m_CloudBase[c] <= 0) {
      out += ", mist or fog on the ground";
      continue;
    }
    const char* words = cover <= 0.25 ? "few" : cover <= 0.5 ? "scattered" : cover <= 0.875 ? "broken" : "overcast";
    const long feet = std::lround(s.m_CloudBase[c] * kFeetPerMetre / 100.0) * 100;
    out += ", ";
    out += words;
    out += " at " + Thousands(feet) + " ft";
    cloud = true;
  }
  if (!cloud) out += ", no cloud";
  Temperatures(out, s.m_Temperature, s.m_DewPoint);
  if (s.m_Pressure != kMissing) AppendFormat(out, ", QNH %d hPa", s.m_Pressure);
  return out;
}

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
