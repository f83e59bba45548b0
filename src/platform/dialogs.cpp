#include "platform/dialogs.h"

std::atomic<IUserDialogs*> g_pUserDialogs{nullptr};

bool AskOpenFile(const OpenFileRequest& request, std::string& path) {
  IUserDialogs* dialogs = g_pUserDialogs.load();
  return dialogs && dialogs->AskOpenFile(request, path);
}

bool AskYesNo(const std::string& text, const std::string& caption) {
  IUserDialogs* dialogs = g_pUserDialogs.load();
  return dialogs && dialogs->AskYesNo(text, caption);
}
