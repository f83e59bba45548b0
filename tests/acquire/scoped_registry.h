#pragma once
// Points the registry stand-in at a file of the test's own for the lifetime of the object, so
// that settings written by one test never reach another.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/internet.h"
#include "platform/registry.h"

namespace altivane::test {

class ScopedRegistry {
 public:
  explicit ScopedRegistry(const std::filesystem::path& file) {
    const char* previous = std::getenv("ALTIVANE_REGISTRY");
    m_Had = previous != nullptr;
    if (previous) m_Previous = previous;
    setenv("ALTIVANE_REGISTRY", file.c_str(), 1);
  }
  ~ScopedRegistry() {
    if (m_Had) {
      setenv("ALTIVANE_REGISTRY", m_Previous.c_str(), 1);
    } else {
      unsetenv("ALTIVANE_REGISTRY");
    }
  }
  ScopedRegistry(const ScopedRegistry&) = delete;
  ScopedRegistry& operator=(const ScopedRegistry&) = delete;

  // A value of the internet settings key.
  static bool SetInternetSetting(const std::string& name, const std::string& value) {
    return RegistryWriteString(RegistryRoot::CurrentUser, kInternetSettingsKey, name, value);
  }

 private:
  bool m_Had = false;
  std::string m_Previous;
};

}  // namespace altivane::test
