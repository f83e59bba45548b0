#include "platform/paths.h"

#include "platform/win32/wide.h"

// Backslashes are already Windows separators; only the text needs converting.
std::filesystem::path NativePath(const std::string& path) { return std::filesystem::path(Widen(path)); }

std::FILE* OpenNativeFile(const std::string& path, const char* mode) {
  return _wfopen(NativePath(path).c_str(), Widen(mode).c_str());
}
