#pragma once
// Paths are kept in the program's own form: the simulator folder followed by backslash-separated
// parts ("D:\FS9\" + "Altivane\stations\station.txt"). NativePath turns such a path into the
// form the operating system opens; it is the only place that does so.
#include <cstdio>
#include <filesystem>
#include <string>

std::filesystem::path NativePath(const std::string& path);

// fopen for a path in the program's own form (any characters, on Windows too).
std::FILE* OpenNativeFile(const std::string& path, const char* mode);

// Puts the file from in place of the file to, replacing it in one step where the file system
// allows. False when it could not (from is then left where it was).
bool ReplaceNativeFile(const std::string& from, const std::string& to);
// Removes a file; false when there was none or it could not be removed.
bool RemoveNativeFile(const std::string& path);
