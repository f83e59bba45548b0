#include "inspect.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "platform/paths.h"
#include "reports/metar_decoder.h"
#include "stations/sim_folder.h"
#include "stations/metar_stations.h"

namespace inspect {

const std::string* Options::Value(const std::string& name) const {
  auto it = values.find(name);
  return it == values.end() ? nullptr : &it->second;
}

bool ParseOptions(const std::vector<std::string>& args, const std::vector<OptionRule>& rules, Options* out,
                  std::string* error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') {
      out->positional.push_back(arg);
      continue;
    }
    const OptionRule* rule = nullptr;
    for (const OptionRule& s : rules)
      if (arg == s.name) rule = &s;
    if (!rule) {
      *error = "unknown option " + arg;
      return false;
    }
    if (!rule->takesValue) {
      out->flags.insert(arg);
      continue;
    }
    if (i + 1 >= args.size()) {
      *error = arg + " needs a value";
      return false;
    }
    out->values[arg] = args[++i];
  }
  return true;
}

static const Command* FindCommand(const char* name) {
  for (std::size_t i = 0; i < kCommandCount; ++i)
    if (std::string_view(kCommands[i].name) == name) return &kCommands[i];
  return nullptr;
}

int UsageError(const char* command, const std::string& message) {
  std::cerr << "altivane-inspect " << command << ": " << message << "\n";
  if (const Command* c = FindCommand(command))
    std::cerr << "usage: altivane-inspect " << c->name << " " << c->usage << "\n";
  return 2;
}

int Failure(const char* command, const std::string& message) {
  std::cerr << "altivane-inspect " << command << ": " << message << "\n";
  return 1;
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view value) {
  m_Members.emplace_back(JsonString(key), JsonString(value));
  return *this;
}

JsonObject& JsonObject::Add(std::string_view key, double value) {
  m_Members.emplace_back(JsonString(key), JsonNumber(value));
  return *this;
}

JsonObject& JsonObject::Add(std::string_view key, std::int64_t value) {
  m_Members.emplace_back(JsonString(key), std::to_string(value));
  return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value) {
  m_Members.emplace_back(JsonString(key), value ? "true" : "false");
  return *this;
}

JsonObject& JsonObject::AddRaw(std::string_view key, std::string json) {
  m_Members.emplace_back(JsonString(key), std::move(json));
  return *this;
}

std::string JsonObject::Str() const {
  std::string out = "{";
  for (std::size_t i = 0; i < m_Members.size(); ++i) {
    out += i ? ",\n  " : "\n  ";
    out += m_Members[i].first + ": " + m_Members[i].second;
  }
  out += m_Members.empty() ? "}" : "\n}";
  return out;
}

std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string Shown(std::int64_t value, std::string_view unit) {
  std::string text = std::to_string(value);
  if (value == -999 || unit.empty()) return text;
  return text + (unit == "°" ? "" : " ") + std::string(unit);
}

std::string Shown(double value, int decimals, std::string_view unit) {
  if (value == -999.0) return "-999";
  if (!std::isfinite(value)) return JsonNumber(value);
  char number[64];
  std::snprintf(number, sizeof number, "%.*f", decimals, value);
  std::string text = number;
  if (text.find('.') != std::string::npos) {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  if (unit.empty()) return text;
  return text + (unit == "°" ? "" : " ") + std::string(unit);
}

bool NewerThan(const METAR_Station& station, WeatherTime reference) {
  const std::optional<WeatherTime> observed = ParseObservationTime(station.m_ObsDate + " " + station.m_ObsTime);
  return observed && WholeMinutesAfter(*observed, reference) > 0;
}

LastStatusField::LastStatusField() : m_Previous(g_pStatusField.exchange(this)) {}

LastStatusField::~LastStatusField() { g_pStatusField.store(m_Previous); }

void LastStatusField::SetText(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  m_Text = text;
}

std::string LastStatusField::GetText() const {
  std::lock_guard<std::mutex> lock(m_Mutex);
  return m_Text;
}

std::string SimFolderFromArgument(const std::string& folder) {
  if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder;
  return folder + "\\";
}

Weather_Station* LookupStation(const METAR_Stations& stations, const std::string& key) {
  if (Weather_Station* record = stations.Lookup(key)) return record;
  auto upper = [](unsigned char c) { return static_cast<char>(std::toupper(c)); };
  for (const auto& [name, record] : stations.Records()) {
    if (name.size() == key.size() && std::equal(name.begin(), name.end(), key.begin(), [&](char a, char b) {
          return upper(static_cast<unsigned char>(a)) == upper(static_cast<unsigned char>(b));
        }))
      return record.get();
  }
  return nullptr;
}

int UseSimFolder(const char* command, const Options& options) {
  if (const std::string* folder = options.Value("--sim-folder")) {
    g_SimFolder = SimFolderFromArgument(*folder);
  } else if (ReadSimulatorFolder() != 0) {
    return UsageError(command, "the simulator folder is not in the registry; give --sim-folder DIR");
  }
  if (!std::filesystem::is_directory(NativePath(g_SimFolder)))
    return Failure(command, "no such folder: " + NativePath(g_SimFolder).string());
  return 0;
}

int LoadCatalogueWithWeather(const char* command, const Options& options, METAR_Stations& stations) {
  stations.LoadStations();
  if (const std::string* temp = options.Value("--temp"); temp && !stations.ReadUpperAirFile(*temp))
    return Failure(command, "cannot read " + *temp);
  if (const std::string* metar = options.Value("--metar"); metar && !stations.ReadMetarFile(*metar, NoAgeLimit()))
    return Failure(command, "cannot read " + *metar);
  return 0;
}

}  // namespace inspect
