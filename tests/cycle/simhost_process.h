#pragma once
// The simulator stand-in as a real process: started with its options on a private IPC folder,
// stopped (or found gone) at the end, with its journal read back as events.
// The stand-in is started as a posix process here; the Windows build has its own window transport.
#if !defined(_WIN32)
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace altivane::test {

// One journal line, with the fields the cycle tests look at.
struct JournalEvent {
  std::string kind;     // "pending", "refresh", "commit", "command", "message", "clear", ...
  std::string station;  // pending and refresh
  std::string text;     // message
  std::string line;     // the whole line
};

class SimhostProcess {
 public:
  // Starts `program` with ALTIVANE_IPC_DIR = ipcDir, a journal in ipcDir and the extra
  // arguments; waits (up to 10 s) for it to report ready.
  SimhostProcess(const std::string& program, const std::filesystem::path& ipcDir, std::vector<std::string> args);
  ~SimhostProcess();
  SimhostProcess(const SimhostProcess&) = delete;
  SimhostProcess& operator=(const SimhostProcess&) = delete;

  bool Ready() const { return m_Ready; }
  // Moves the aircraft through `simhost --move`; true when the running stand-in took it.
  bool Move(double latitude, double longitude);
  // Ends the stand-in (SIGTERM) and returns what it printed after "ready" (the dump).
  std::string Stop();
  // True once the process has ended on its own (a vanished simulator), waiting up to timeout.
  bool WaitExited(std::chrono::milliseconds timeout);
  // A simulator that hangs (SIGSTOP) and comes back (SIGCONT).
  void Freeze();
  void Thaw();
  // Ends it at once (SIGKILL), like a simulator that crashed.
  void Kill();

  // Waits until text has come in the output after "ready". False on time-out.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);

  std::vector<JournalEvent> Journal() const;
  // Polls the journal (written by the other process) until pred holds. False on time-out.
  bool WaitForJournal(const std::function<bool(const std::vector<JournalEvent>&)>& pred,
                      std::chrono::milliseconds timeout) const;

 private:
  std::string ReadOutput(std::chrono::milliseconds timeout);

  std::string m_Program;
  std::filesystem::path m_IpcDir;
  std::filesystem::path m_JournalPath;
  pid_t m_Pid = -1;
  int m_Stdout = -1;
  bool m_Ready = false;
  bool m_Exited = false;
  bool m_Frozen = false;
  std::string m_Output;
};

// Runs a program to its end with ALTIVANE_IPC_DIR set; returns its exit status (-1 on failure).
int RunProgram(const std::string& program, const std::vector<std::string>& args, const std::filesystem::path& ipcDir);

}  // namespace altivane::test

#endif  // !_WIN32
