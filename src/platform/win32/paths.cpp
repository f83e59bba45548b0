#include "platform/paths.h"

#include <windows.h>

#include "platform/win32/wide.h"

// Backslashes are already Windows separators; only the text needs converting.
std::filesystem::path NativePath(const std::string& path) { return std::filesystem::path(Widen(path)); }

std::FILE* OpenNativeFile(const std::string& path, const char* mode) {
  return _wfopen(NativePath(path).c_str(), Widen(mode).c_str());
}

// MoveFileEx with REPLACE_EXISTING: rename() of the C runtime refuses an existing target.
bool ReplaceNativeFile(const std::string& from, const std::string& to) {
  return MoveFileExW(NativePath(from).c_str(), NativePath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool RemoveNativeFile(const std::string& path) { return DeleteFileW(NativePath(path).c_str()) != FALSE; }
