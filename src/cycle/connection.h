#pragma once
// The run's side of the simulator link: connecting and waiting for the simulator, what a link
// error does to the run (status text, buttons, stopping the cycle, reconnecting), messages in the
// simulator, the weather writes of a run and preparing one. The link itself is simlink/link.h.
#include <atomic>
#include <cstdint>
#include <string>

#include "simlink/link.h"

inline constexpr int kConnectRetries = 120;
inline constexpr int kConnectGiveUpMessageAfter = 110;
inline constexpr std::int32_t kDefaultMessageThreshold = 4;

// Wait between two connection attempts; fixed at 1000 ms in the program, tests shorten it.
extern std::atomic<std::uint32_t> g_ConnectRetryIntervalMs;

void ConnectSimulator();
void DisconnectSimulator();
void ReportLinkError();
void ShowSimulatorMessage(const std::string& text, std::int32_t level);
// Sends a copy of the block on g_Link (SendWeatherBlock), a failure reported as a link error.
void WriteWeatherBlock(WeatherBlockBytes block, std::uint32_t mode);
void PrepareWeatherRun();
