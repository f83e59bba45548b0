#pragma once
// altivane-inspect: shared pieces of the subcommands (options, JSON output, the status field).
//
// Adding a subcommand: write tools/inspect/<name>.cpp with
//   int Run<Name>(const std::vector<std::string>& args);   // args after the subcommand's name
// and add its declaration and one row to the table in commands.cpp. Every subcommand takes
// --json and then prints exactly one JSON object: the fields of a record keyed by their member
// names as the code spells them (m_Key, m_Latitude, ...), every other key in snake_case
// (sim_folder, wind_layers). The text output is for people: units, rounded values.
// Exit codes: 0 done, 1 failed, 2 bad usage.
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "platform/controls.h"
#include "stations/weather_time.h"

class METAR_Station;
class METAR_Stations;
class Weather_Station;

namespace inspect {

struct Command {
  const char* name;
  const char* usage;    // the arguments after the name
  const char* summary;  // one line
  int (*run)(const std::vector<std::string>& args);
};

// The table of commands.cpp.
extern const Command kCommands[];
extern const std::size_t kCommandCount;

struct OptionRule {
  const char* name;  // "--key"
  bool takesValue;
};

struct Options {
  std::map<std::string, std::string> values;
  std::set<std::string> flags;
  std::vector<std::string> positional;

  bool Has(const std::string& name) const { return flags.count(name) || values.count(name); }
  const std::string* Value(const std::string& name) const;
};

// Parses args against the known options; false with a message for an unknown option or a
// missing value.
bool ParseOptions(const std::vector<std::string>& args, const std::vector<OptionRule>& rules, Options* out,
                  std::string* error);

// Prints "altivane-inspect NAME: message" on stderr and the command's usage; returns 2.
int UsageError(const char* command, const std::string& message);
// Prints "altivane-inspect NAME: message" on stderr; returns 1.
int Failure(const char* command, const std::string& message);

// One JSON object, keys in the order added, printed with two-space indentation.
class JsonObject {
 public:
  JsonObject& Add(std::string_view key, std::string_view value);
  JsonObject& Add(std::string_view key, const char* value) { return Add(key, std::string_view(value)); }
  JsonObject& Add(std::string_view key, const std::string& value) { return Add(key, std::string_view(value)); }
  JsonObject& Add(std::string_view key, double value);
  JsonObject& Add(std::string_view key, std::int64_t value);
  JsonObject& Add(std::string_view key, int value) { return Add(key, static_cast<std::int64_t>(value)); }
  JsonObject& Add(std::string_view key, bool value);
  // A value that is already JSON (an array or a nested object).
  JsonObject& AddRaw(std::string_view key, std::string json);
  std::string Str() const;

 private:
  std::vector<std::pair<std::string, std::string>> m_Members;
};

// A JSON string literal. Text that is not UTF-8 (station files are bytes) has each byte above
// 0x7F written as the character of that code, so the output is always valid JSON.
inline std::string JsonString(std::string_view text) { return ::JsonString(text, JsonText::kUtf8); }
// Shortest round-trip decimal; null for NaN and infinities, which JSON has no words for.
std::string JsonNumber(double value);

// A value of the text output with its unit: "9 °C", "1.5 sm", "210°" (no space before a bare
// degree sign). The missing value -999 is shown bare. Reals are rounded to at most decimals
// places, trailing zeros dropped; JSON keeps every digit.
std::string Shown(std::int64_t value, std::string_view unit);
std::string Shown(double value, int decimals, std::string_view unit);

// True when the record's observation lies a whole minute or more after reference: the decoder
// then keeps the record as it was (the report is not decoded).
bool NewerThan(const METAR_Station& station, WeatherTime reference);

// Keeps the last status text, for showing the outcome of an operation that reports progress.
class LastStatusField : public IStatusField {
 public:
  LastStatusField();
  ~LastStatusField() override;
  void SetText(const std::string& text) override;
  std::string GetText() const override;

 private:
  mutable std::mutex m_Mutex;
  std::string m_Text;
  IStatusField* m_Previous;
};

// The simulator folder in the program's form (ending with a backslash) from a native folder.
std::string SimFolderFromArgument(const std::string& folder);

// The record under key, the case of the letters not counting ("ksea" finds KSEA); none when
// there is no such station.
Weather_Station* LookupStation(const METAR_Stations& stations, const std::string& key);

// Sets g_SimFolder from --sim-folder, or from the registry without it. 0 on success, else the
// exit status after the error has been reported.
int UseSimFolder(const char* command, const Options& options);

// Loads the catalogue of g_SimFolder, then reads --temp and --metar into it as the weather
// acquisition does (upper air first; every report accepted whatever its age). 0 on success, else
// the exit status after the error has been reported.
int LoadCatalogueWithWeather(const char* command, const Options& options, METAR_Stations& stations);

}  // namespace inspect
