#include "platform/locale_time.h"

#include <windows.h>
#include <oleauto.h>

#include "platform/win32/wide.h"

// The user's short date and long time format, as the regional settings give them:
// "06.12.2003 14:00:00" for German, "12/6/2003 2:00:00 PM" for US English.
std::string FormatUserDateTime(int year, int month, int day, int hour, int minute, int second) {
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(year);
  time.wMonth = static_cast<WORD>(month);
  time.wDay = static_cast<WORD>(day);
  time.wHour = static_cast<WORD>(hour);
  time.wMinute = static_cast<WORD>(minute);
  time.wSecond = static_cast<WORD>(second);
  wchar_t date[128] = {};
  wchar_t clock[128] = {};
  if (!GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, 128, nullptr)) date[0] = L'\0';
  if (!GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &time, nullptr, clock, 128)) clock[0] = L'\0';
  return Narrow(std::wstring(date) + L" " + clock);
}

// The parser that goes with the user's formats: the automation layer's date conversion for the
// user's default locale.
bool ParseUserDateTime(const std::string& text, DateTimeFields& out) {
  std::wstring wide = Widen(text);
  DATE value = 0;
  if (FAILED(VarDateFromStr(wide.data(), LOCALE_USER_DEFAULT, 0, &value))) return false;
  SYSTEMTIME time{};
  if (!VariantTimeToSystemTime(value, &time)) return false;
  out = {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
  return true;
}

DateTimeFields LocalTimeOfEpoch() {
  SYSTEMTIME utc{};
  utc.wYear = 1970;
  utc.wMonth = 1;
  utc.wDay = 1;
  SYSTEMTIME local{};
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return {};
  return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}
