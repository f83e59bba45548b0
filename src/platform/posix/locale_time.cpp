#include "platform/locale_time.h"

#include <ctime>
#include <iomanip>
#include <locale>
#include <sstream>
#include <stdexcept>

namespace {

std::locale UserLocale() {
  try {
    return std::locale("");
  } catch (const std::runtime_error&) {
    return std::locale::classic();
  }
}

}  // namespace

std::string FormatUserDateTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  std::ostringstream text;
  text.imbue(UserLocale());
  text << std::put_time(&fields, "%x %X");
  return text.str();
}

bool ParseUserDateTime(const std::string& text, DateTimeFields& out) {
  std::tm fields{};
  std::istringstream in(text);
  in.imbue(UserLocale());
  in >> std::get_time(&fields, "%x %X");
  if (in.fail()) return false;
  in >> std::ws;
  if (!in.eof()) return false;
  out = {fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec};
  return true;
}

DateTimeFields LocalTimeOfEpoch() {
  const std::time_t epoch = 0;
  std::tm local{};
  if (!localtime_r(&epoch, &local)) return {};
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}
