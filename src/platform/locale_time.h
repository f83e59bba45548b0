#pragma once
// Dates and times as the user's locale writes them, for the time field of the main window.
#include <string>

struct DateTimeFields {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// A date and time in the user's default date and time format: on Windows the user's short
// date and time format; elsewhere the locale of the environment (the classic one when it has
// none).
std::string FormatUserDateTime(int year, int month, int day, int hour, int minute, int second);

// Reads a date and time written in the user's format (as FormatUserDateTime writes it, or as
// a user types it). False when the text is no date and time.
bool ParseUserDateTime(const std::string& text, DateTimeFields& out);

// The time value 0 (1 January 1970, 00:00:00 UTC) in local time.
DateTimeFields LocalTimeOfEpoch();
