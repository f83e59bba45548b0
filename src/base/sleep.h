#pragma once
// The calling thread sleeps for a number of milliseconds.
#include <chrono>
#include <cstdint>
#include <thread>

inline void SleepMs(std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
