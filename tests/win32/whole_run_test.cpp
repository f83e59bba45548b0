// Weather runs through the Windows program against simhost.exe, by window messages only:
// "Get weather..." with a file picked in the open-file dialog, "Start", the weather arriving in
// simhost's journal, "End"; and what the status field says when there is no weather to send.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "platform/win32/wide.h"
#include "stations/sim_folder.h"
#include "support/test_data.h"

namespace {

constexpr int kStart = 1001;
constexpr int kEnd = 1002;
constexpr int kGetCurrent = 1011;
constexpr int kGetFromFile = 1012;
constexpr int kStatus = 1013;
constexpr int kTime = 1029;
constexpr int kUpdateNow = 1040;
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

// The sample simulator folder in the registry, simhost over Seattle-Tacoma and the program with
// its window open.
class WindowsWholeRun : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Journal = m_Dir.Path() / "journal.jsonl";
    ASSERT_EQ(std::system(("reg add \"" + m_Key + "\" /v \"EXE Path\" /d \"" + Narrow(m_Sample.wstring()) +
                           "\" /reg:32 /f >nul")
                              .c_str()),
              0);
    ASSERT_TRUE(m_Simhost.Start(L"\"" + Widen(SIMHOST_EXE) + L"\" --position 47.4447,-122.3136 --journal \"" +
                                m_Journal.wstring() + L"\""));
    ASSERT_TRUE(m_Altivane.Start(L"\"" + Widen(ALTIVANE_PROGRAM) + L"\""));
    m_Dialog = WaitFor<HWND>(m_Altivane, 20000, [] { return FindWindowW(L"#32770", L"Altivane"); });
    ASSERT_NE(m_Dialog, nullptr);
    ASSERT_NE(WaitFor<HWND>(m_Simhost, 20000, [] { return FindWindowW(L"FS98MAIN", nullptr); }), nullptr);
    WaitForInputIdle(m_Altivane.process.hProcess, 20000);
  }
  void TearDown() override {
    if (m_Dialog) PostMessageW(m_Dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(m_Altivane.End(10000)) << "the program did not end when its window was closed";
    EXPECT_TRUE(m_Simhost.End(10000)) << "simhost did not end with its input";
    std::system(("reg delete \"" + m_Key + "\" /reg:32 /f >nul").c_str());
  }

  // "Get weather..." and the file typed into the open-file dialog that it opens.
  void PickFile(std::wstring file) {
    Click(m_Dialog, kGetFromFile);
    const DWORD processId = m_Altivane.process.dwProcessId;
    HWND dialog = m_Dialog;
    HWND open = WaitFor<HWND>(m_Altivane, 20000, [dialog, processId] { return OtherDialogOf(processId, dialog); });
    ASSERT_NE(open, nullptr) << "no open-file dialog";
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
  }

  // Waits until the status field says what look accepts.
  bool StatusBecomes(DWORD ms, const std::function<bool(const std::wstring&)>& look) {
    HWND dialog = m_Dialog;
    return WaitFor<bool>(m_Altivane, ms, [dialog, &look] { return look(ControlText(dialog, kStatus)); });
  }
  bool StatusBecomes(DWORD ms, const std::wstring& text) {
    return StatusBecomes(ms, [&text](const std::wstring& status) { return status == text; });
  }
  std::string Status() const { return Narrow(ControlText(m_Dialog, kStatus)); }

  altivane::test::TempDir m_Dir;
  std::filesystem::path m_Journal;
  const std::filesystem::path m_Sample = altivane::test::SourceDir() / "data" / "sample";
  const std::string m_Key = std::string("HKLM\\") + kSimRegistryKey;
  Program m_Simhost;
  Program m_Altivane;
  HWND m_Dialog = nullptr;
};

TEST_F(WindowsWholeRun, WeatherFromAPickedFileReachesTheSimulatorAndEndStopsIt) {
  HWND dialog = m_Dialog;
  ASSERT_NO_FATAL_FAILURE(PickFile((m_Sample / "Altivane" / "Weather" / "20261207_1200Z.TXT").wstring()));
  const DWORD processId = m_Altivane.process.dwProcessId;
  ASSERT_NE(WaitFor<BOOL>(m_Altivane, 30000, [dialog] { return IsWindowEnabled(GetDlgItem(dialog, kStart)); }), FALSE)
      << "Start was not enabled; status: " << Status() << "; another window: " << [&] {
           wchar_t title[128] = {};
           GetWindowTextW(OtherDialogOf(processId, dialog), title, 128);
           return Narrow(title);
         }();

  Click(dialog, kStart);
  const std::filesystem::path journal = m_Journal;
  const bool set = WaitFor<bool>(
      m_Simhost, 60000, [&journal] { return ReadFile(journal).find("Weather stations set!") != std::string::npos; });
  EXPECT_TRUE(set) << "status: " << Status();
  // The first pass ends with its result line, followed by where the weather view page is.
  const std::wstring result = L"39 Weather stations set, nearest KSEA (own report), 11:53Z. Weather view: ";
  const std::wstring page = L"weather-view.html";
  EXPECT_TRUE(StatusBecomes(20000,
                            [&](const std::wstring& status) {
                              return status.rfind(result, 0) == 0 && status.size() >= result.size() + page.size() &&
                                     status.compare(status.size() - page.size(), page.size(), page) == 0;
                            }))
      << "status: " << Status();
  EXPECT_TRUE(std::filesystem::is_regular_file(m_Sample / "Altivane" / "Weather" / "weather-view.html"));
  const std::string events = ReadFile(m_Journal);
  EXPECT_NE(events.find("\"kind\":\"pending\""), std::string::npos);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, kEnd)));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kStart)));

  Click(dialog, kEnd);
  EXPECT_NE(WaitFor<BOOL>(m_Altivane, 10000, [dialog] { return IsWindowEnabled(GetDlgItem(dialog, kStart)); }), FALSE);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kEnd)));
}

// A file that gives no weather is refused with a word, and nothing else changes: no time, no
// "Start".
TEST_F(WindowsWholeRun, PickedFileWithoutReportsSaysSoAndChangesNothing) {
  const std::wstring timeBefore = ControlText(m_Dialog, kTime);
  const std::filesystem::path files[] = {
      m_Dir.Write("empty\\20261207_1300Z.TXT", ""),
      m_Dir.Write("noreport\\20261207_1300Z.TXT", "2026/12/07 13:00\nnothing\n"),
  };
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    ASSERT_NO_FATAL_FAILURE(PickFile(file.wstring()));
    EXPECT_TRUE(StatusBecomes(20000, L"No reports in " + file.wstring() + L".")) << "status: " << Status();
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(m_Dialog, kStart)));
    EXPECT_EQ(ControlText(m_Dialog, kTime), timeBefore);
  }
}

// "Get current weather" with the downloads refused by the proxy names the reason; "Update Now"
// then runs a pass that finds no weather and sends the simulator nothing.
TEST_F(WindowsWholeRun, RefusedDownloadSaysWhyAndUpdateNowSendsNothing) {
  const std::string internet = "HKCU\\Software\\Altivane\\Internet";
  for (const char* value : {"MetarServer /d 127.0.0.1:9", "RadiosondeServer /d 127.0.0.1:9", "HttpProxyPort /d 9"})
    ASSERT_EQ(std::system(("reg add \"" + internet + "\" /v " + value + " /f >nul").c_str()), 0);
  struct RemoveSettings {
    std::string key;
    ~RemoveSettings() { std::system(("reg delete \"" + key + "\" /f >nul").c_str()); }
  } removeSettings{internet};

  Click(m_Dialog, kGetCurrent);
  EXPECT_TRUE(StatusBecomes(60000, L"Error 2 at reading METAR data: proxy localhost:9 refused the connection."))
      << "status: " << Status();
  Click(m_Dialog, kUpdateNow);
  EXPECT_TRUE(StatusBecomes(60000, L"No weather loaded: get current weather or pick a weather file first."))
      << "status: " << Status();
  HWND dialog = m_Dialog;
  EXPECT_NE(WaitFor<BOOL>(m_Altivane, 10000, [dialog] { return IsWindowEnabled(GetDlgItem(dialog, kEnd)); }), FALSE);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(m_Dialog, kStart)));
  const std::string events = ReadFile(m_Journal);
  EXPECT_EQ(events.find("\"kind\":\"pending\""), std::string::npos) << events;
  EXPECT_EQ(events.find("Weather station update started!"), std::string::npos) << events;
}

}  // namespace
