// The Windows main window driven from outside by window messages, as a user would.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32/wide.h"
#include "stations/sim_folder.h"
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

// The program started, with its window open.
struct RunningProgram {
  PROCESS_INFORMATION process{};
  HWND dialog = nullptr;

  void Start() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + Widen(ALTIVANE_PROGRAM) + L"\"";
    ASSERT_TRUE(
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    // The window appears once the program has loaded its stations; the wait on the process
    // paces the look-ups and notices a program that ended instead.
    const ULONGLONG deadline = GetTickCount64() + kStartTimeoutMs;
    while (!(dialog = FindWindowW(L"#32770", L"Altivane")) && GetTickCount64() < deadline) {
      ASSERT_EQ(WaitForSingleObject(process.hProcess, 50), static_cast<DWORD>(WAIT_TIMEOUT)) << "the program ended";
    }
    ASSERT_NE(dialog, nullptr);
    WaitForInputIdle(process.hProcess, kStartTimeoutMs);
  }
  void Close() {
    if (!process.hProcess) return;
    if (dialog) PostMessageW(dialog, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "the program did not end when its window was closed";
      TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    process = {};
    dialog = nullptr;
  }
};

const std::string kSimKey = std::string("HKLM\\") + kSimRegistryKey;

bool SetSimFolder(const std::string& folder) {
  return RunCommand("reg add \"" + kSimKey + "\" /v \"EXE Path\" /d \"" + folder + "\" /reg:32 /f >nul") == 0;
}

// The program with the simulator folder of the registry set to the bundled sample folder.
class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SetSimFolder(Narrow((altivane::test::SourceDir() / "data" / "sample").wstring())));
    ASSERT_NO_FATAL_FAILURE(m_Program.Start());
    m_Dialog = m_Program.dialog;
  }
  void TearDown() override {
    m_Program.Close();
    RunCommand("reg delete \"" + kSimKey + "\" /reg:32 /f >nul");
  }

  RunningProgram m_Program;
  HWND m_Dialog = nullptr;
};

TEST_F(DialogTest, OpensWithTheTemplatesControlsAndTheStationsLoaded) {
  struct Control {
    int id;
    const wchar_t* text;
    bool enabled;
  } controls[] = {{1032, L"Update", true},         {1011, L"Get current weather", true},
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

// Start-up says what is missing in the status field: the simulator folder (with the registry
// value to set), the station list, the simulator map, or any readable line of the list.
TEST(DialogStartUp, SaysWhatIsMissing) {
  altivane::test::TempDir dir;
  const std::filesystem::path sample = altivane::test::SourceDir() / "data" / "sample";
  const std::string folder = (dir.Path() / "fs9").string();
  const std::string list = folder + "\\Altivane\\stations\\station.txt";
  const std::string map = folder + "\\Weather\\wxmapping.bin";
  auto copy = [&](const char* relative) {
    std::ifstream in(sample / relative, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    dir.Write(std::string("fs9\\") + relative, bytes.str());
  };
  struct Case {
    const char* name;
    std::function<void()> prepare;
    std::string status;
    bool weatherButtons;
  };
  const std::vector<Case> cases = {
      {"no folder", [] { RunCommand("reg delete \"" + kSimKey + "\" /v \"EXE Path\" /reg:32 /f >nul"); },
       "FS2004 folder not found: no stations loaded, weather buttons disabled. Give it with the registry value "
       "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Microsoft Games\\Flight simulator\\9.0\\EXE Path.",
       false},
      {"no station list",
       [&] {
         std::filesystem::create_directories(folder);
         EXPECT_TRUE(SetSimFolder(folder));
       },
       "Station list " + list + " is missing.", true},
      {"no map", [&] { copy("Altivane\\stations\\station.txt"); }, "Simulator map " + map + " is missing.", true},
      {"nothing readable in the list",
       [&] {
         copy("Weather\\wxmapping.bin");
         dir.Write("fs9\\Altivane\\stations\\station.txt", "\n\n");
       },
       "No station could be read from " + list + ".", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.prepare();
    RunningProgram program;
    ASSERT_NO_FATAL_FAILURE(program.Start());
    EXPECT_EQ(Narrow(ControlText(program.dialog, 1013)), c.status);
    for (int id : {1011, 1012, 1040}) EXPECT_EQ(Enabled(program.dialog, id), c.weatherButtons) << id;
    program.Close();
  }
  RunCommand("reg delete \"" + kSimKey + "\" /reg:32 /f >nul");
}

}  // namespace
