#include "platform/registry.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

namespace {

std::mutex g_RegistryMutex;

std::filesystem::path RegistryFile() {
  if (const char* env = std::getenv("ALTIVANE_REGISTRY"); env && *env) return env;
  std::filesystem::path base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::filesystem::path(home) / ".config";
  } else {
    base = "/tmp";
  }
  return base / "altivane" / "registry.ini";
}

std::string RootName(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::LocalMachine: return "HKLM";
    case RegistryRoot::CurrentUser: return "HKCU";
    case RegistryRoot::ClassesRoot: return "HKCR";
    case RegistryRoot::CurrentUserClasses: return "HKCU\\Software\\Classes";
  }
  return "HKLM";
}

// The registry ignores case in key paths and value names.
bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::vector<std::string> ReadLines() {
  std::vector<std::string> lines;
  std::ifstream in(RegistryFile(), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool IsSection(const std::string& line) { return line.size() >= 2 && line.front() == '[' && line.back() == ']'; }

}  // namespace

std::string RegistryStoreSuffix() { return " in " + RegistryFile().string(); }

bool RegistryReadString(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                        std::size_t maxBytes, std::string& out) {
  std::lock_guard lock(g_RegistryMutex);
  const std::string section = RootName(root) + "\\" + keyPath;
  bool inKey = false;
  for (const std::string& line : ReadLines()) {
    if (IsSection(line)) {
      inKey = SameName(line.substr(1, line.size() - 2), section);
      continue;
    }
    if (!inKey) continue;
    auto eq = line.find('=');
    if (eq == std::string::npos || !SameName(line.substr(0, eq), valueName)) continue;
    std::string value = line.substr(eq + 1);
    if (value.size() + 1 > maxBytes) return false;
    out = value;
    return true;
  }
  return false;
}

bool RegistryWriteString(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                         const std::string& value) {
  if (value.find('\n') != std::string::npos || valueName.find('=') != std::string::npos) return false;
  std::lock_guard lock(g_RegistryMutex);
  const std::string section = RootName(root) + "\\" + keyPath;
  std::vector<std::string> lines = ReadLines();
  const std::string entry = valueName + "=" + value;
  bool inKey = false;
  bool done = false;
  std::size_t sectionEnd = std::string::npos;
  for (std::size_t i = 0; i < lines.size() && !done; ++i) {
    if (IsSection(lines[i])) {
      if (inKey) break;
      inKey = SameName(lines[i].substr(1, lines[i].size() - 2), section);
      if (inKey) sectionEnd = i + 1;
      continue;
    }
    if (!inKey) continue;
    sectionEnd = i + 1;
    auto eq = lines[i].find('=');
    if (eq != std::string::npos && SameName(lines[i].substr(0, eq), valueName)) {
      lines[i] = entry;
      done = true;
    }
  }
  if (!done) {
    if (sectionEnd == std::string::npos) {
      lines.push_back("[" + section + "]");
      lines.push_back(entry);
    } else {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd), entry);
    }
  }
  const auto file = RegistryFile();
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  const auto temp = file.string() + ".tmp";
  {
    std::ofstream outFile(temp, std::ios::binary | std::ios::trunc);
    for (const auto& line : lines) outFile << line << '\n';
    if (!outFile) return false;
  }
  std::filesystem::rename(temp, file, ec);
  return !ec;
}
