#pragma once
// Date-times of the weather reports: UTC, whole seconds. Seconds rather than the system clock's
// own tick so that far dates such as 31 December 3000 (the "no age limit" reference) fit.
#include <chrono>

using WeatherTime = std::chrono::sys_seconds;
