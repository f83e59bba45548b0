#pragma once
#include <string>

// A date and time in the user's default date and time format (the locale of the environment;
// the classic one when it has none), as the time field shows it.
std::string FormatUserDateTime(int year, int month, int day, int hour, int minute, int second);
