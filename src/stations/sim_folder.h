#pragma once
#include <string>

// The folder the simulator is installed in, always ending with a backslash.
extern std::string g_SimFolder;

// Where the simulator records its installation folder.
inline constexpr const char* kSimRegistryKey = "SOFTWARE\\Microsoft\\Microsoft Games\\Flight simulator\\9.0";
inline constexpr const char* kSimRegistryValue = "EXE Path";

// Reads the simulator folder from the registry into g_SimFolder: 0 on success, 13 when the
// entry is missing or longer than 255 characters (g_SimFolder then keeps its value).
int ReadSimulatorFolder();
