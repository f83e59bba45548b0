// The Windows main window driven from outside by window messages, as a user would.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/wide.h"
#include "simlink/sim_folder.h"
#include "support/test_data.h"

namespace {

constexpr DWORD kStartTimeoutMs = 20000;

int RunCommand(const std::string& command) { return std::system(command.c_str()); }

std::wstring ControlText(HWND dialog, int id) {
  wchar_t text[512] = {};
  SendMessageW(GetDlgItem(dialog, id), WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
  return text;
}

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

// The program with the simulator folder of the registry set to the bundled sample folder.
class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string existing;
    m_Key = std::string("HKLM\\") + kSimRegistryKey;
    const std::string sample = Narrow((altivane::test::SourceDir() / "data" / "sample").wstring());
    ASSERT_EQ(RunCommand("reg add \"" + m_Key + "\" /v \"EXE Path\" /d \"" + sample + "\" /reg:32 /f >nul"), 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + Widen(ALTIVANE_PROGRAM) + L"\"";
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &m_Process));
    // The window appears once the program has loaded its stations; the wait on the process
    // paces the look-ups and notices a program that ended instead.
    const ULONGLONG deadline = GetTickCount64() + kStartTimeoutMs;
    while (!(m_Dialog = FindWindowW(L"#32770", L"Altivane")) && GetTickCount64() < deadline) {
      ASSERT_EQ(WaitForSingleObject(m_Process.hProcess, 50), static_cast<DWORD>(WAIT_TIMEOUT)) << "the program ended";
    }
    ASSERT_NE(m_Dialog, nullptr);
    WaitForInputIdle(m_Process.hProcess, kStartTimeoutMs);
  }
  void TearDown() override {
    if (m_Process.hProcess) {
      if (m_Dialog) PostMessageW(m_Dialog, WM_CLOSE, 0, 0);
      if (WaitForSingleObject(m_Process.hProcess, 10000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the program did not end when its window was closed";
        TerminateProcess(m_Process.hProcess, 1);
      }
      CloseHandle(m_Process.hThread);
      CloseHandle(m_Process.hProcess);
    }
    RunCommand("reg delete \"" + m_Key + "\" /reg:32 /f >nul");
  }

  std::string m_Key;
  PROCESS_INFORMATION m_Process{};
  HWND m_Dialog = nullptr;
};

TEST_F(DialogTest, OpensWithTheTemplatesControlsAndTheStationsLoaded) {
  struct Control {
    int id;
    const wchar_t* text;
    bool enabled;
  } controls[] = {{1032, L"Update", true},        {1011, L"Get current weather", true},
                  {1012, L"Get weather...", true}, {1040, L"Update Now", true},
                  {1001, L"Start", false},         {1002, L"End", false}};
  for (const auto& c : controls) {
    SCOPED_TRACE(c.id);
    ASSERT_NE(GetDlgItem(m_Dialog, c.id), nullptr);
    EXPECT_EQ(ControlText(m_Dialog, c.id), c.text);
    EXPECT_EQ(Enabled(m_Dialog, c.id), c.enabled);
  }
  ASSERT_NE(GetDlgItem(m_Dialog, 1029), nullptr);
  // The status field is read-only and reports the loaded catalogue.
  EXPECT_TRUE(GetWindowLongW(GetDlgItem(m_Dialog, 1013), GWL_STYLE) & ES_READONLY);
  EXPECT_NE(ControlText(m_Dialog, 1013), L"");
  EXPECT_EQ(GetWindowLongW(m_Dialog, GWL_STYLE) & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
}

TEST_F(DialogTest, UpdateBoxTogglesAndEndWithoutARunChangesNothing) {
  HWND update = GetDlgItem(m_Dialog, 1032);
  SendMessageW(update, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(update, BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageW(update, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(update, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  SendMessageW(GetDlgItem(m_Dialog, 1002), BM_CLICK, 0, 0);
  EXPECT_FALSE(Enabled(m_Dialog, 1002));
}

}  // namespace
