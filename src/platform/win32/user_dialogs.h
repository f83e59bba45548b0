#pragma once
// The open-file dialog and the yes/no question box of Windows, both modal to the main window:
// owned by it when the request says so (and the question always), otherwise shown with the
// main window disabled until they close.
#include <windows.h>

#include <atomic>

#include "platform/dialogs.h"

class Win32UserDialogs : public IUserDialogs {
 public:
  void SetMainWindow(HWND window) { m_MainWindow.store(window); }
  bool AskOpenFile(const OpenFileRequest& request, std::string& path) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;

 private:
  std::atomic<HWND> m_MainWindow{nullptr};
};

// "Text Files (*.TXT)|????????_????Z*.txt|" -> the same with each '|' a string terminator,
// ending in two of them, as the open-file dialog takes its filter list.
std::wstring OpenFileFilter(const std::string& filter);
