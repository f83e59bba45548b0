#include "support/test_registry.h"

#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>

#include <atomic>
#include <string>
#else
#include "support/scoped_env.h"
#endif

namespace altivane::test {

#if defined(_WIN32)

struct TestRegistry::State {
  std::wstring base;
  HKEY redirected[3] = {};
};

namespace {
const HKEY kRoots[3] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT};
const wchar_t* const kRootNames[3] = {L"HKLM", L"HKCU", L"HKCR"};
}  // namespace

TestRegistry::TestRegistry() : m_State(std::make_unique<State>()) {
  // A key of its own directly under Software, which no test deletes: under a shared parent,
  // another test program's clean-up could delete the parent between the creation of its parts
  // (RegCreateKeyEx makes one level at a time), and this creation failed.
  static std::atomic<unsigned> counter{0};
  m_State->base = L"Software\\Altivane test " + std::to_wstring(GetCurrentProcessId()) + L"-" +
                  std::to_wstring(counter.fetch_add(1));
  for (int i = 0; i < 3; ++i) {
    const std::wstring path = m_State->base + L"\\" + kRootNames[i];
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &m_State->redirected[i], nullptr) != ERROR_SUCCESS)
      throw std::runtime_error("cannot create a scratch registry key");
  }
  for (int i = 0; i < 3; ++i) RegOverridePredefKey(kRoots[i], m_State->redirected[i]);
}

TestRegistry::~TestRegistry() {
  for (int i = 0; i < 3; ++i) {
    RegOverridePredefKey(kRoots[i], nullptr);
    RegCloseKey(m_State->redirected[i]);
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, m_State->base.c_str());
}

#else

struct TestRegistry::State {
  TempDir dir;
  ScopedEnv env{"ALTIVANE_REGISTRY", (dir.Path() / "registry.ini").string()};
};

TestRegistry::TestRegistry() : m_State(std::make_unique<State>()) {}
TestRegistry::~TestRegistry() = default;

#endif

}  // namespace altivane::test
