#include "platform/paths.h"

#include <algorithm>

std::filesystem::path NativePath(const std::string& path) {
  std::string native = path;
  std::replace(native.begin(), native.end(), '\\', '/');
  return std::filesystem::path(native);
}

std::FILE* OpenNativeFile(const std::string& path, const char* mode) {
  return std::fopen(NativePath(path).c_str(), mode);
}
