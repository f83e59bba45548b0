#include "platform/win32/user_dialogs.h"

#include <commdlg.h>

#include "platform/paths.h"
#include "platform/win32/wide.h"

std::wstring OpenFileFilter(const std::string& filter) {
  std::wstring list = Widen(filter);
  for (wchar_t& c : list) {
    if (c == L'|') c = L'\0';
  }
  // The list ends with an empty string.
  list.push_back(L'\0');
  return list;
}

namespace {

// A dialog without owner is still modal to the program: while it is open the main window
// takes no input, so no button or the close box is pressed in the middle of an acquisition.
class MainWindowDisabled {
 public:
  explicit MainWindowDisabled(HWND window) : m_Window(window && IsWindowEnabled(window) ? window : nullptr) {
    if (m_Window) EnableWindow(m_Window, FALSE);
  }
  ~MainWindowDisabled() {
    if (m_Window) EnableWindow(m_Window, TRUE);
  }
  MainWindowDisabled(const MainWindowDisabled&) = delete;
  MainWindowDisabled& operator=(const MainWindowDisabled&) = delete;

 private:
  HWND m_Window;
};

}  // namespace

bool Win32UserDialogs::AskOpenFile(const OpenFileRequest& request, std::string& path) {
  const std::wstring filter = OpenFileFilter(request.filter);
  const std::wstring folder = NativePath(request.initialFolder).wstring();
  wchar_t file[256] = {};
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = request.ownedByMainWindow ? m_MainWindow.load() : nullptr;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file;
  dialog.nMaxFile = sizeof file / sizeof file[0];
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
  MainWindowDisabled modal(request.ownedByMainWindow ? nullptr : m_MainWindow.load());
  if (!GetOpenFileNameW(&dialog)) return false;
  path = Narrow(file);
  return true;
}

bool Win32UserDialogs::AskYesNo(const std::string& text, const std::string& caption) {
  // Owned by the main window, which it disables while it waits for the answer.
  return MessageBoxW(m_MainWindow.load(), Widen(text).c_str(), Widen(caption).c_str(),
                     MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL) == IDYES;
}
