#include "platform/win32/user_dialogs.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

namespace {

// A wide literal with its embedded terminators, without the final one.
template <std::size_t N>
std::wstring List(const wchar_t (&text)[N]) {
  return std::wstring(text, N - 1);
}

TEST(OpenFileFilter, BarsBecomeTerminatorsAndTheListEndsTwice) {
  struct Case {
    std::string filter;
    std::wstring list;
  } cases[] = {
      {"Text Files (*.TXT)|????????_????Z*.txt|", List(L"Text Files (*.TXT)\0????????_????Z*.txt\0\0")},
      {"Radiosonde Files (*.rdisnd)|*.rdisnd|All Files (*.*)|*.*|",
       List(L"Radiosonde Files (*.rdisnd)\0*.rdisnd\0All Files (*.*)\0*.*\0\0")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filter);
    EXPECT_EQ(OpenFileFilter(c.filter), c.list);
  }
}

// What the first dialog that the thread shows looked like when it appeared: whether the main
// window was enabled meanwhile. The dialog is then answered with the given button.
struct SeenDialog {
  bool appeared = false;
  bool mainEnabled = true;
};

BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM found) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (std::wstring(name) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

SeenDialog WatchForDialogOf(DWORD thread, HWND main, int answer) {
  SeenDialog seen;
  const ULONGLONG deadline = GetTickCount64() + 20000;
  HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HWND dialog = nullptr;
  while (!dialog && GetTickCount64() < deadline) {
    EnumThreadWindows(thread, &FindVisibleDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog) WaitForSingleObject(never, 20);
  }
  CloseHandle(never);
  if (!dialog) return seen;
  seen.appeared = true;
  seen.mainEnabled = IsWindowEnabled(main) != FALSE;
  PostMessageW(dialog, WM_COMMAND, answer, 0);
  return seen;
}

// While the question box or a file dialog is open, the main window takes no input: no button
// and no close box can be pressed in the middle of an acquisition.
TEST(Win32UserDialogs, QuestionsAreModalToTheMainWindow) {
  HWND main = CreateWindowExW(0, L"STATIC", L"Altivane test main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(main, nullptr);
  Win32UserDialogs dialogs;
  dialogs.SetMainWindow(main);
  struct Case {
    const char* name;
    std::function<void()> ask;
    int answer;
  };
  const Case cases[] = {
      {"question", [&] { EXPECT_FALSE(dialogs.AskYesNo("Select one?", "Altivane")); }, IDNO},
      {"file dialog owned by the main window",
       [&] {
         std::string path;
         EXPECT_FALSE(dialogs.AskOpenFile({true, "Text Files (*.TXT)|*.txt|", ""}, path));
       },
       IDCANCEL},
      {"file dialog without owner",
       [&] {
         std::string path;
         EXPECT_FALSE(dialogs.AskOpenFile({false, "Radiosonde Files (*.rdisnd)|*.rdisnd|", ""}, path));
       },
       IDCANCEL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // The dialog runs on this thread, as on the window's; the watcher looks from its own.
    const DWORD uiThread = GetCurrentThreadId();
    SeenDialog seen;
    std::thread watcher([&] { seen = WatchForDialogOf(uiThread, main, c.answer); });
    c.ask();
    watcher.join();
    ASSERT_TRUE(seen.appeared);
    EXPECT_FALSE(seen.mainEnabled);
    EXPECT_TRUE(IsWindowEnabled(main));  // and usable again afterwards
  }
  DestroyWindow(main);
}

}  // namespace
