// The automation class "ALTIVANE.Application" on COM: its registration, and a client object that
// keeps the program alive after its window was closed.
#include "platform/automation.h"

#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/win32/wide.h"
#include "support/test_registry.h"

namespace {

// The entries go to the user's own classes (no administrator rights needed), and
// unregistering leaves none of them.
TEST(WindowsAutomation, RegistrationIsPerUserAndUnregisteringRemovesEveryEntry) {
  altivane::test::TestRegistry registry;
  ASSERT_TRUE(RegisterAutomationClass("C:\\Program Files\\Altivane\\altivane.exe"));
  const std::string clsid = std::string("CLSID\\") + kAutomationClsid;
  struct Entry {
    std::string key, value;
  } entries[] = {{kAutomationProgId, "Altivane Application"},
                 {std::string(kAutomationProgId) + "\\CLSID", kAutomationClsid},
                 {clsid, "Altivane Application"},
                 {clsid + "\\ProgID", kAutomationProgId},
                 {clsid + "\\LocalServer32", "\"C:\\Program Files\\Altivane\\altivane.exe\""}};
  for (const auto& e : entries) {
    SCOPED_TRACE(e.key);
    std::string value;
    ASSERT_TRUE(RegistryReadString(RegistryRoot::CurrentUserClasses, e.key, "", 1024, value));
    EXPECT_EQ(value, e.value);
  }
  ASSERT_TRUE(UnregisterAutomationClass());
  for (const auto& e : entries) {
    SCOPED_TRACE(e.key);
    std::string value;
    EXPECT_FALSE(RegistryReadString(RegistryRoot::CurrentUserClasses, e.key, "", 1024, value));
  }
  EXPECT_TRUE(UnregisterAutomationClass());  // nothing left to remove is no failure
}

// Runs the program with arguments and returns its exit code (-1 when it did not end).
int RunProgram(const std::wstring& arguments) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring command = L"\"" + Widen(ALTIVANE_PROGRAM) + L"\" " + arguments;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

// The keys of the class that exist now: in the user's classes and as COM sees them (the
// classes root).
std::vector<std::string> ClassKeysPresent() {
  std::vector<std::string> present;
  for (const std::string& key : {std::string(kAutomationProgId), std::string("CLSID\\") + kAutomationClsid}) {
    const std::pair<HKEY, std::string> places[] = {{HKEY_CURRENT_USER, "Software\\Classes\\" + key},
                                                   {HKEY_CLASSES_ROOT, key}};
    for (const auto& [root, path] : places) {
      HKEY handle = nullptr;
      if (RegOpenKeyExW(root, Widen(path).c_str(), 0, KEY_READ, &handle) == ERROR_SUCCESS) {
        present.push_back((root == HKEY_CURRENT_USER ? "HKCU\\" : "HKCR\\") + path);
        RegCloseKey(handle);
      }
    }
  }
  return present;
}

// Waits for the top-level window of the program, pacing the looks by a wait on nothing.
HWND WaitForWindow(const wchar_t* title, DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  HWND window = nullptr;
  HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  while (!(window = FindWindowW(L"#32770", title)) && GetTickCount64() < deadline) WaitForSingleObject(never, 50);
  CloseHandle(never);
  return window;
}

// "/Regserver" as an ordinary user, then a client creates the object; "/Unregserver" at the
// end leaves no key of the class behind.
TEST(WindowsAutomation, HeldObjectKeepsTheProgramAfterItsWindowCloses) {
  ASSERT_EQ(RunProgram(L"/Regserver"), 0);
  EXPECT_EQ(ClassKeysPresent().size(), 4u);
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  CLSID clsid{};
  ASSERT_TRUE(SUCCEEDED(CLSIDFromProgID(Widen(kAutomationProgId).c_str(), &clsid)));
  IDispatch* object = nullptr;
  ASSERT_TRUE(SUCCEEDED(
      CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object))));
  HWND window = WaitForWindow(L"Altivane", 20000);
  ASSERT_NE(window, nullptr);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  ASSERT_NE(process, nullptr);

  // Closing only hides the window while the object is held.
  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process, 500), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_FALSE(IsWindowVisible(window));
  // Letting the object go ends the program.
  object->Release();
  EXPECT_EQ(WaitForSingleObject(process, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(process);
  CoUninitialize();
  EXPECT_EQ(RunProgram(L"/Unregserver"), 0);
  EXPECT_EQ(ClassKeysPresent(), std::vector<std::string>{});
}

}  // namespace
