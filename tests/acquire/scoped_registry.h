#pragma once
// Points the registry stand-in at a file of the test's own for the lifetime of the object, so
// that settings written by one test never reach another. (On Windows the registry roots of the
// process go to scratch keys instead, through TestRegistry.)
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/internet.h"
#include "platform/registry.h"
#include "support/test_registry.h"

namespace altivane::test {

class ScopedRegistry {
 public:
  explicit ScopedRegistry(const std::filesystem::path& file) {
    const char* previous = std::getenv(kVariable);
    m_Had = previous != nullptr;
    if (previous) m_Previous = previous;
    SetVariable(file.string());
  }
  ~ScopedRegistry() { SetVariable(m_Had ? m_Previous : std::string()); }
  ScopedRegistry(const ScopedRegistry&) = delete;
  ScopedRegistry& operator=(const ScopedRegistry&) = delete;

  // A value of the internet settings key.
  static bool SetInternetSetting(const std::string& name, const std::string& value) {
    return RegistryWriteString(RegistryRoot::CurrentUser, kInternetSettingsKey, name, value);
  }

 private:
  static constexpr const char* kVariable = "ALTIVANE_REGISTRY";
  // An empty value removes the variable.
  static void SetVariable(const std::string& value) {
#ifdef _WIN32
    _putenv_s(kVariable, value.c_str());
#else
    if (value.empty()) {
      unsetenv(kVariable);
    } else {
      setenv(kVariable, value.c_str(), 1);
    }
#endif
  }

  bool m_Had = false;
  std::string m_Previous;
#ifdef _WIN32
  TestRegistry m_Registry;
#endif
};

}  // namespace altivane::test
