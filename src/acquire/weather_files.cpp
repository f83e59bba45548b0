#include "acquire/weather_files.h"

#include <cstdio>
#include <filesystem>

#include "platform/paths.h"
#include "platform/text_file.h"
#include "stations/sim_folder.h"

namespace {

std::string Digits(int value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*d", width, value);
  return text;
}

bool IsIdentifier(std::string_view token) {
  if (token.size() != 4 || token[0] < 'A' || token[0] > 'Z') return false;
  for (char c : token)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

bool StartsWithDigits(std::string_view token, std::size_t count) {
  if (token.size() < count) return false;
  for (std::size_t i = 0; i < count; ++i)
    if (token[i] < '0' || token[i] > '9') return false;
  return true;
}

std::string Date8(const UtcHour& t) { return Digits(t.year, 4) + Digits(t.month, 2) + Digits(t.day, 2); }

int SoundingHour(const UtcHour& t) { return t.hour < 12 ? 0 : 12; }

}  // namespace

UtcHour UtcHourOf(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto days = floor<std::chrono::days>(time);
  const year_month_day date{days};
  const auto hour = duration_cast<hours>(time - days).count();
  return {static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
          static_cast<int>(static_cast<unsigned>(date.day())), static_cast<int>(hour)};
}

WeatherTime ToWeatherTime(const UtcHour& t) {
  using namespace std::chrono;
  const sys_days days{year{t.year} / month{static_cast<unsigned>(t.month)} / day{static_cast<unsigned>(t.day)}};
  return WeatherTime{days} + hours{t.hour};
}

UtcHour AddHours(const UtcHour& time, int hours) {
  return UtcHourOf(std::chrono::system_clock::time_point{ToWeatherTime(time) + std::chrono::hours{hours}});
}

std::optional<UtcHour> MakeUtcHour(int year, int month, int day, int hour) {
  using namespace std::chrono;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23) return std::nullopt;
  const year_month_day date{std::chrono::year{year} / std::chrono::month{static_cast<unsigned>(month)} /
                            std::chrono::day{static_cast<unsigned>(day)}};
  if (!date.ok()) return std::nullopt;
  return UtcHour{year, month, day, hour};
}

std::string MetarUrlPath(const UtcHour& t) {
  return "/weather/observations/airways/" + Digits(t.year % 100, 2) + Digits(t.month, 2) + Digits(t.day, 2) +
         Digits(t.hour, 2) + ".metar";
}

std::string CurrentMetarFileName(const UtcHour& t) { return Date8(t) + "_" + Digits(t.hour, 2) + "00Z.TXT"; }

std::string CompleteMetarFileName(const UtcHour& t) { return Date8(t) + "_" + Digits(t.hour, 2) + "00Z_Complete.TXT"; }

std::string UpperAirUrlPath(const UtcHour& t) {
  return "/Data/archive/radiosonde/" + Date8(t) + "/" + Date8(t) + Digits(SoundingHour(t), 2) + ".rdisnd";
}

std::string UpperAirFileName(const UtcHour& t) { return Date8(t) + "_" + Digits(SoundingHour(t), 2) + "00Z.rdisnd"; }

std::string UpperAirFileNameAt(const UtcHour& t) { return Date8(t) + "_" + Digits(t.hour, 2) + "00Z.rdisnd"; }

std::string WeatherFolder() { return g_SimFolder + "Altivane\\Weather\\"; }

bool CanOpenForReading(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(NativePath(path), ec)) return false;
  std::FILE* file = OpenNativeFile(path, "r");
  if (!file) return false;
  std::fclose(file);
  return true;
}

bool AnyTokenPair(const std::string& path, bool (*pair)(std::string_view previous, std::string_view token)) {
  TextFileReader file(path);
  if (!file.IsOpen()) return false;
  std::string line;
  while (file.ReadLine(line)) {
    std::string_view previous;
    std::size_t pos = 0;
    while (pos < line.size()) {
      const std::size_t start = line.find_first_not_of(" \t\r", pos);
      if (start == std::string::npos) break;
      std::size_t end = line.find_first_of(" \t\r", start);
      if (end == std::string::npos) end = line.size();
      const std::string_view token(line.data() + start, end - start);
      if (pair(previous, token)) return true;
      previous = token;
      pos = end;
    }
  }
  return false;
}

bool HoldsMetarReport(const std::string& path) {
  return AnyTokenPair(path, [](std::string_view previous, std::string_view token) {
    return IsIdentifier(previous) && StartsWithDigits(token, 4);
  });
}
