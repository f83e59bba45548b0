// The automation class "ALTIVANE.Application" on COM: its registration, and a client object that
// keeps the program alive after its window was closed.
#include "platform/automation.h"

#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/win32/wide.h"
#include "support/test_registry.h"

namespace {

TEST(WindowsAutomation, RegistrationNamesTheClassAndTheProgram) {
  altivane::test::TestRegistry registry;
  ASSERT_TRUE(RegisterAutomationClass("C:\\Program Files\\Altivane\\altivane.exe"));
  const std::string clsid = std::string("CLSID\\") + kAutomationClsid;
  struct Entry {
    std::string key, value;
  } entries[] = {{std::string(kAutomationProgId) + "\\CLSID", kAutomationClsid},
                 {clsid + "\\ProgID", kAutomationProgId},
                 {clsid + "\\LocalServer32", "\"C:\\Program Files\\Altivane\\altivane.exe\""}};
  for (const auto& e : entries) {
    SCOPED_TRACE(e.key);
    std::string value;
    ASSERT_TRUE(RegistryReadString(RegistryRoot::ClassesRoot, e.key, "", 1024, value));
    EXPECT_EQ(value, e.value);
  }
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

TEST(WindowsAutomation, HeldObjectKeepsTheProgramAfterItsWindowCloses) {
  std::string program = ALTIVANE_PROGRAM;
  for (char& c : program) {
    if (c == '/') c = '\\';
  }
  ASSERT_TRUE(RegisterAutomationClass(program));
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  CLSID clsid{};
  ASSERT_TRUE(SUCCEEDED(CLSIDFromProgID(Widen(kAutomationProgId).c_str(), &clsid)));
  IDispatch* object = nullptr;
  ASSERT_TRUE(SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                         reinterpret_cast<void**>(&object))));
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
}

}  // namespace
