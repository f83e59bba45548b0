#include "platform/console.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "platform/paths.h"

void ConsoleText::SetText(const std::string& text) {
  {
    std::lock_guard lock(m_Mutex);
    m_Text = text;
  }
  m_Window.Print(m_Name + ": " + text);
}

std::string ConsoleText::GetText() const {
  std::lock_guard lock(m_Mutex);
  return m_Text;
}

void ConsoleButton::Enable(bool enabled) {
  {
    std::lock_guard lock(m_Mutex);
    if (m_Enabled == enabled) return;
    m_Enabled = enabled;
  }
  m_Window.Print(m_Name + (enabled ? ": enabled" : ": disabled"));
}

bool ConsoleButton::IsEnabled() const {
  std::lock_guard lock(m_Mutex);
  return m_Enabled;
}

ConsoleWindow::ConsoleWindow() = default;

void ConsoleWindow::Print(const std::string& line) {
  std::lock_guard lock(m_PrintMutex);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void ConsoleWindow::PrintState(bool updateChecked) {
  Print("state: start " + std::string(m_Start.IsEnabled() ? "enabled" : "disabled") + ", end " +
        (m_End.IsEnabled() ? "enabled" : "disabled") + ", update " + (updateChecked ? "checked" : "unchecked") +
        ", time \"" + m_Time.GetText() + "\", status \"" + m_Status.GetText() + "\"");
}

bool ConsoleWindow::HasBufferedInput() const { return m_InputEnded || m_Input.find('\n') != std::string::npos; }

bool ConsoleWindow::ReadLine(std::string& line) {
  for (;;) {
    if (auto newline = m_Input.find('\n'); newline != std::string::npos) {
      line = m_Input.substr(0, newline);
      m_Input.erase(0, newline + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    if (m_InputEnded) {
      if (m_Input.empty()) return false;
      line.swap(m_Input);
      m_Input.clear();
      return true;
    }
    char buffer[4096];
    ssize_t got = ::read(0, buffer, sizeof buffer);
    if (got <= 0) {
      m_InputEnded = true;
    } else {
      m_Input.append(buffer, static_cast<std::size_t>(got));
    }
  }
}

void ConsoleDialogs::PresetFile(const std::string& path) {
  std::lock_guard lock(m_Mutex);
  m_Preset = path;
}

// A name without a folder is one in the folder the question shows.
static std::string ResolveInFolder(const std::string& answer, const std::filesystem::path& folder) {
  const std::filesystem::path picked(answer);
  if (picked.is_absolute() || folder.empty()) return answer;
  return (folder / picked).lexically_normal().string();
}

bool ConsoleDialogs::AskOpenFile(const OpenFileRequest& request, std::string& path) {
  const std::filesystem::path folder = request.initialFolder.empty() ? std::filesystem::path()
                                                                     : NativePath(request.initialFolder);
  {
    std::lock_guard lock(m_Mutex);
    if (!m_Preset.empty()) {
      path = ResolveInFolder(m_Preset, folder);
      m_Preset.clear();
      return true;
    }
  }
  m_Window.Print("open file [" + request.filter + "] in " + folder.string() +
                 " (a path, or an empty line to cancel):");
  std::string answer;
  if (!m_Window.ReadLine(answer) || answer.empty()) return false;
  path = ResolveInFolder(answer, folder);
  return true;
}

static bool AskYesNoAnswer(const std::string& answer) {
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

bool ConsoleDialogs::AskYesNo(const std::string& text, const std::string& caption) {
  m_Window.Print(caption + ": " + text + " [y/n]");
  std::string answer;
  return m_Window.ReadLine(answer) && AskYesNoAnswer(answer);
}
