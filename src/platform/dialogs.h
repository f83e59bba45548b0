#pragma once
// The two questions the program asks the user outside its main window: which file to open,
// and yes or no. Windows shows the common open-file dialog and a message box; the Linux front
// end asks on the terminal. Installed by the front end; none in tools and tests that have no
// user (the questions then answer "cancel" / "no").
#include <atomic>
#include <string>

struct OpenFileRequest {
  bool ownedByMainWindow = false;  // the main window is the dialog's owner
  // Pairs of description and pattern, each followed by '|':
  // "Text Files (*.TXT)|????????_????Z*.txt|".
  std::string filter;
  std::string initialFolder;  // in the program's own path form
};

class IUserDialogs {
 public:
  virtual ~IUserDialogs() = default;
  // The chosen file's full path; false when the user cancels.
  virtual bool AskOpenFile(const OpenFileRequest& request, std::string& path) = 0;
  // True for "Yes".
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
};

extern std::atomic<IUserDialogs*> g_pUserDialogs;

// The questions through g_pUserDialogs; "cancel" / "no" when there is nobody to ask.
bool AskOpenFile(const OpenFileRequest& request, std::string& path);
bool AskYesNo(const std::string& text, const std::string& caption);
