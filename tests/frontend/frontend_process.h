#pragma once
// The terminal front end as a real process: commands go to its standard input through a pipe,
// and its output lines are read back and searched.
#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace altivane::test {

class FrontendProcess {
 public:
  // With terminalColumns > 0 the output goes to a pseudo-terminal of that width (commands
  // still come through a pipe), as when a person runs the program in a terminal window.
  FrontendProcess(const std::string& program, const std::vector<std::string>& args,
                  const std::map<std::string, std::string>& env, int terminalColumns = 0);
  ~FrontendProcess();
  FrontendProcess(const FrontendProcess&) = delete;
  FrontendProcess& operator=(const FrontendProcess&) = delete;

  // One command line.
  void Send(const std::string& line);
  // Ends the standard input (as a closed terminal).
  void CloseInput();
  // Sends a signal to the program.
  void Signal(int signal);
  // From now on, WaitFor and Output look only at what comes after this point.
  void Mark();
  // Waits until a line containing text has appeared since the mark. False on time-out.
  bool WaitFor(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(20));
  // Everything printed since the mark (reads what is there without waiting).
  std::string Output();
  // Waits for the program to end; its exit status, or -1 on time-out.
  int WaitExit(std::chrono::milliseconds timeout);
  bool Running();
  pid_t Pid() const { return m_Pid; }

 private:
  void Pump(std::chrono::milliseconds timeout);

  pid_t m_Pid = -1;
  int m_Stdin = -1;
  int m_Stdout = -1;
  std::string m_Output;
  std::size_t m_Mark = 0;
  int m_ExitStatus = -1;
};

}  // namespace altivane::test
