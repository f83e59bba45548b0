#pragma once
// The main window's controls on a terminal: every change is printed as one line
// ("status: ...", "start: enabled", "end: disabled", "time: ..."), from whichever thread makes
// it, and commands are read a line at a time from standard input (a person or a pipe).
// When standard output is a terminal, a line that only counts on from one just before
// ("38 METAR Stations read and valid." after "37 ...") takes its place on the screen, and a
// line repeated is shown once with its count ("... (x3)"); into a pipe or a file every change
// stays a line of its own.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/dialogs.h"

class ConsoleWindow;

class ConsoleText : public IStatusField, public ITimeField {
 public:
  ConsoleText(ConsoleWindow& window, std::string name) : m_Window(window), m_Name(std::move(name)) {}
  void SetText(const std::string& text) override;
  std::string GetText() const override;

 private:
  ConsoleWindow& m_Window;
  const std::string m_Name;
  mutable std::mutex m_Mutex;
  std::string m_Text;
};

class ConsoleButton : public IButton {
 public:
  ConsoleButton(ConsoleWindow& window, std::string name) : m_Window(window), m_Name(std::move(name)) {}
  void Enable(bool enabled) override;
  bool IsEnabled() const override;

 private:
  ConsoleWindow& m_Window;
  const std::string m_Name;
  mutable std::mutex m_Mutex;
  bool m_Enabled = false;
};

class ConsoleWindow {
 public:
  ConsoleWindow();
  ConsoleWindow(const ConsoleWindow&) = delete;
  ConsoleWindow& operator=(const ConsoleWindow&) = delete;

  ConsoleText m_Status{*this, "status"};
  ConsoleText m_Time{*this, "time"};
  ConsoleButton m_Start{*this, "start"};
  ConsoleButton m_End{*this, "end"};

  // One line to standard output, whole, whatever thread calls.
  void Print(const std::string& line);
  // The whole state of the window in one line.
  void PrintState(bool updateChecked);
  // The next input line without its line end; false at the end of input.
  bool ReadLine(std::string& line);
  // True when ReadLine can answer without reading standard input.
  bool HasBufferedInput() const;
  // Puts a line back: the next ReadLine gives it again.
  void UnreadLine(const std::string& line);

 private:
  // What Print writes to a terminal for line after the lines before it (the cursor at the
  // start of the row below them), given the terminal's width; updates what it remembers.
  std::string TerminalOutput(const std::string& line, int columns);

  std::mutex m_PrintMutex;
  std::string m_Input;
  bool m_InputEnded = false;
  // Terminal output: the lines of the block that the next line may redraw, each with how
  // often it came in a row and the terminal's width when it was drawn; whether the cursor still
  // sits right below them (typed input moves it).
  struct BlockLine {
    std::string text;
    int repeats = 1;
    int columns = 0;
  };
  const bool m_Terminal;
  const bool m_InputEchoed;
  std::vector<BlockLine> m_Block;
  bool m_CanOverwrite = false;
};

// The file and yes/no questions on the terminal. A path given with the "file" command answers
// the next file question without asking.
class ConsoleDialogs : public IUserDialogs {
 public:
  explicit ConsoleDialogs(ConsoleWindow& window) : m_Window(window) {}
  void PresetFile(const std::string& path);
  bool AskOpenFile(const OpenFileRequest& request, std::string& path) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;

 private:
  ConsoleWindow& m_Window;
  std::mutex m_Mutex;
  std::string m_Preset;
};
