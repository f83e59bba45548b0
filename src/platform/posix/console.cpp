#include "platform/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cctype>
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

ConsoleWindow::ConsoleWindow() : m_Terminal(::isatty(STDOUT_FILENO) == 1), m_InputEchoed(::isatty(STDIN_FILENO) == 1) {}

namespace {

// The line with every run of digits as one '#': "38 METAR Stations" and "39 METAR Stations"
// have the same shape.
std::string Shape(const std::string& line) {
  std::string shape;
  for (char c : line) {
    if (!std::isdigit(static_cast<unsigned char>(c)))
      shape += c;
    else if (shape.empty() || shape.back() != '#')
      shape += '#';
  }
  return shape;
}

bool HasDigit(const std::string& line) { return line.find_first_of("0123456789") != std::string::npos; }

// Screen rows a line takes: its characters (UTF-8 continuation bytes not counted) wrap.
int Rows(const std::string& text, int columns) {
  int chars = 0;
  for (unsigned char c : text) chars += (c & 0xC0) != 0x80;
  return columns > 0 && chars > columns ? (chars + columns - 1) / columns : 1;
}

int TerminalColumns() {
  winsize size{};
  return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

}  // namespace

// The last lines printed form a live block at the bottom of the screen, redrawn in place: a
// line repeated raises its count, a line that counts on from one in the block ("39 METAR
// Stations..." after "38 METAR Stations...") takes that one's place, so interleaved counters
// (winds aloft, temperature aloft) each keep one row. A line without digits that is no repeat
// starts a new block; the block is kept short so that a redraw stays on the screen.
std::string ConsoleWindow::TerminalOutput(const std::string& line, int columns) {
  constexpr std::size_t kMaxBlockLines = 6;
  auto shown = [](const BlockLine& entry) {
    return entry.repeats > 1 ? entry.text + " (x" + std::to_string(entry.repeats) + ")" : entry.text;
  };
  if (!m_CanOverwrite) m_Block.clear();
  m_CanOverwrite = true;
  int drawnRows = 0;  // the block as it is on the screen
  for (const BlockLine& entry : m_Block) drawnRows += Rows(shown(entry), entry.columns);
  BlockLine* same = nullptr;
  if (!m_Block.empty() && m_Block.back().text == line) {
    same = &m_Block.back();
    ++same->repeats;
  } else if (HasDigit(line)) {
    const std::string shape = Shape(line);
    for (BlockLine& entry : m_Block) {
      if (Shape(entry.text) == shape) {
        same = &entry;
        *same = BlockLine{line, 1, 0};
        break;
      }
    }
  }
  std::string out;
  if (same) {
    // Up to the block's first row, everything below cleared, the block again.
    out = "\r\x1b[" + std::to_string(drawnRows) + "A\x1b[J";
    for (BlockLine& entry : m_Block) {
      entry.columns = columns;
      out += shown(entry) + "\n";
    }
    return out;
  }
  if (!HasDigit(line)) m_Block.clear();
  if (m_Block.size() == kMaxBlockLines) m_Block.erase(m_Block.begin());
  m_Block.push_back(BlockLine{line, 1, columns});
  return line + "\n";
}

void ConsoleWindow::Print(const std::string& line) {
  std::lock_guard lock(m_PrintMutex);
  const std::string out = m_Terminal ? TerminalOutput(line, TerminalColumns()) : line + "\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
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
    if (m_InputEchoed) {
      // The terminal has echoed what was typed below the last line: it stays.
      std::lock_guard lock(m_PrintMutex);
      m_CanOverwrite = false;
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
  const std::filesystem::path folder =
      request.initialFolder.empty() ? std::filesystem::path() : NativePath(request.initialFolder);
  {
    std::lock_guard lock(m_Mutex);
    if (!m_Preset.empty()) {
      path = ResolveInFolder(m_Preset, folder);
      m_Preset.clear();
      return true;
    }
  }
  m_Window.Print("open file [" + request.filter + "] in " + folder.string() + " (a path, or an empty line to cancel):");
  std::string answer;
  if (!m_Window.ReadLine(answer) || answer.empty()) return false;
  path = ResolveInFolder(answer, folder);
  return true;
}

void ConsoleWindow::UnreadLine(const std::string& line) { m_Input.insert(0, line + "\n"); }

// "y", "yes", "n", "no" in any case and with spaces around; anything else is no answer.
static bool ParseYesNo(std::string answer, bool& yes) {
  const auto begin = answer.find_first_not_of(" \t");
  const auto end = answer.find_last_not_of(" \t");
  answer = begin == std::string::npos ? std::string() : answer.substr(begin, end - begin + 1);
  for (char& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (answer == "y" || answer == "yes") return yes = true, true;
  if (answer == "n" || answer == "no") return yes = false, true;
  return false;
}

// A line that is no answer (a command from a pipe that did not expect the question) is not
// swallowed: the question takes its default, no, and the line runs as a command.
bool ConsoleDialogs::AskYesNo(const std::string& text, const std::string& caption) {
  m_Window.Print(caption + ": " + text + " [y/n]");
  std::string answer;
  if (!m_Window.ReadLine(answer)) {
    m_Window.Print("answer: n (end of input)");
    return false;
  }
  bool yes = false;
  if (ParseYesNo(answer, yes)) {
    m_Window.Print(yes ? "answer: y" : "answer: n");
    return yes;
  }
  m_Window.Print("answer: n (default; \"" + answer + "\" runs as a command)");
  m_Window.UnreadLine(answer);
  return false;
}
