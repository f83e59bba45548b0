#include "platform/paths.h"

#include <algorithm>
#include <cstdio>

std::filesystem::path NativePath(const std::string& path) {
  std::string native = path;
  std::replace(native.begin(), native.end(), '\\', '/');
  return std::filesystem::path(native);
}

std::FILE* OpenNativeFile(const std::string& path, const char* mode) {
  return std::fopen(NativePath(path).c_str(), mode);
}

bool ReplaceNativeFile(const std::string& from, const std::string& to) {
  return std::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
}

bool RemoveNativeFile(const std::string& path) { return std::remove(NativePath(path).c_str()) == 0; }
