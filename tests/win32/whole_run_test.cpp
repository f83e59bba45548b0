// A whole weather run through the Windows program against simhost.exe, by window messages only:
// "Get weather..." with a file picked in the open-file dialog, "Start", the weather arriving in
// simhost's journal, "End".
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "platform/win32/wide.h"
#include "simlink/sim_folder.h"
#include "support/test_data.h"

namespace {

constexpr int kStart = 1001;
constexpr int kEnd = 1002;
constexpr int kGetFromFile = 1012;
constexpr int kStatus = 1013;
// The open-file dialog's file name: an extended combo box (cmb13) or, in older templates, an
// edit (edt1).
constexpr int kFileNameBoxes[] = {1148, 1152};

// A started program; its standard input is a pipe we hold (simhost ends when it closes).
struct Program {
  PROCESS_INFORMATION process{};
  HANDLE input = nullptr;

  bool Start(const std::wstring& commandLine) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr;
    if (!CreatePipe(&read, &input, &inherit, 0)) return false;
    SetHandleInformation(input, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = read;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring command = commandLine;
    const bool started =
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(read);
    return started;
  }
  // Waits up to ms for the program to end; ends it by force after that.
  bool End(DWORD ms) {
    if (!process.hProcess) return true;
    if (input) CloseHandle(input);
    input = nullptr;
    const bool ended = WaitForSingleObject(process.hProcess, ms) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    process = {};
    return ended;
  }
};

// Looks until found or the deadline passes; the wait on the program paces the looks and
// notices a program that ended.
template <typename T>
T WaitFor(const Program& program, DWORD ms, const std::function<T()>& look) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  for (;;) {
    if (T found = look()) return found;
    if (GetTickCount64() > deadline) return T{};
    if (WaitForSingleObject(program.process.hProcess, 50) == WAIT_OBJECT_0) return T{};
  }
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct DialogSearch {
  DWORD processId;
  HWND mainWindow;
  HWND found;
};

BOOL CALLBACK LookAtWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<DialogSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (owner == search->processId && window != search->mainWindow && IsWindowVisible(window) &&
      std::wstring(name) == L"#32770") {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// A visible dialog window of the process other than the main window.
HWND OtherDialogOf(DWORD processId, HWND mainWindow) {
  DialogSearch search{processId, mainWindow, nullptr};
  EnumWindows(&LookAtWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A click on a button of the window, as the button reports it to the window.
void Click(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::wstring ControlText(HWND dialog, int id) {
  wchar_t text[512] = {};
  SendMessageW(GetDlgItem(dialog, id), WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
  return text;
}

TEST(WindowsWholeRun, WeatherFromAPickedFileReachesTheSimulatorAndEndStopsIt) {
  altivane::test::TempDir dir;
  const std::filesystem::path journal = dir.Path() / "journal.jsonl";
  const std::filesystem::path sample = altivane::test::SourceDir() / "data" / "sample";
  const std::string key = std::string("HKLM\\") + kSimRegistryKey;
  ASSERT_EQ(std::system(("reg add \"" + key + "\" /v \"EXE Path\" /d \"" + Narrow(sample.wstring()) +
                         "\" /reg:32 /f >nul").c_str()),
            0);

  Program simhost;
  ASSERT_TRUE(simhost.Start(L"\"" + Widen(SIMHOST_EXE) + L"\" --position 47.4447,-122.3136 --journal \"" +
                            journal.wstring() + L"\""));
  Program altivane;
  ASSERT_TRUE(altivane.Start(L"\"" + Widen(ALTIVANE_PROGRAM) + L"\""));
  HWND dialog = WaitFor<HWND>(altivane, 20000, [] { return FindWindowW(L"#32770", L"Altivane"); });
  ASSERT_NE(dialog, nullptr);
  ASSERT_NE(WaitFor<HWND>(simhost, 20000, [] { return FindWindowW(L"FS98MAIN", nullptr); }), nullptr);
  WaitForInputIdle(altivane.process.hProcess, 20000);

  // "Get weather..." opens the open-file dialog, owned by the window; pick the sample file.
  Click(dialog, kGetFromFile);
  const DWORD processId = altivane.process.dwProcessId;
  HWND open = WaitFor<HWND>(altivane, 20000, [dialog, processId] { return OtherDialogOf(processId, dialog); });
  ASSERT_NE(open, nullptr) << "no open-file dialog";
  std::wstring file = (sample / "Altivane" / "Weather" / "20261207_1200Z.TXT").wstring();
  for (wchar_t& c : file) {
    if (c == L'/') c = L'\\';
  }
  bool named = false;
  for (int id : kFileNameBoxes) {
    HWND box = GetDlgItem(open, id);
    if (!box) continue;
    // An extended combo box keeps its text in an edit control of its own.
    if (HWND edit = reinterpret_cast<HWND>(SendMessageW(box, CBEM_GETEDITCONTROL, 0, 0))) box = edit;
    named = SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file.c_str())) || named;
  }
  ASSERT_TRUE(named) << "no file name box in the open-file dialog";
  PostMessageW(open, WM_COMMAND, IDOK, 0);

  ASSERT_NE(WaitFor<BOOL>(altivane, 30000, [dialog] { return IsWindowEnabled(GetDlgItem(dialog, kStart)); }), FALSE)
      << "Start was not enabled; status: " << Narrow(ControlText(dialog, kStatus)) << "; another window: "
      << [&] {
           wchar_t title[128] = {};
           GetWindowTextW(OtherDialogOf(processId, dialog), title, 128);
           return Narrow(title);
         }();

  Click(dialog, kStart);
  const bool set = WaitFor<bool>(simhost, 60000, [&journal] {
    return ReadFile(journal).find("Weather stations set!") != std::string::npos;
  });
  EXPECT_TRUE(set) << "status: " << Narrow(ControlText(dialog, kStatus));
  // After the first pass the status field tells where the weather view page is.
  const bool viewTold = WaitFor<bool>(altivane, 20000, [dialog] {
    const std::wstring status = ControlText(dialog, kStatus);
    return status.rfind(L"Weather view: ", 0) == 0 && status.find(L"weather-view.html") != std::wstring::npos;
  });
  EXPECT_TRUE(viewTold) << "status: " << Narrow(ControlText(dialog, kStatus));
  EXPECT_TRUE(std::filesystem::is_regular_file(sample / "Altivane" / "Weather" / "weather-view.html"));
  const std::string events = ReadFile(journal);
  EXPECT_NE(events.find("\"kind\":\"pending\""), std::string::npos);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, kEnd)));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kStart)));

  Click(dialog, kEnd);
  EXPECT_NE(WaitFor<BOOL>(altivane, 10000, [dialog] { return IsWindowEnabled(GetDlgItem(dialog, kStart)); }), FALSE);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kEnd)));

  PostMessageW(dialog, WM_CLOSE, 0, 0);
  EXPECT_TRUE(altivane.End(10000)) << "the program did not end when its window was closed";
  EXPECT_TRUE(simhost.End(10000)) << "simhost did not end with its input";
  std::system(("reg delete \"" + key + "\" /reg:32 /f >nul").c_str());
}

}  // namespace
