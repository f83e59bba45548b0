#include "frontend_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace altivane::test {

FrontendProcess::FrontendProcess(const std::string& program, const std::vector<std::string>& args,
                                 const std::map<std::string, std::string>& env, int terminalColumns) {
  int in[2], out[2];
  if (::pipe(in) != 0) throw std::runtime_error("pipe");
  if (terminalColumns > 0) {
    winsize size{};
    size.ws_row = 50;
    size.ws_col = static_cast<unsigned short>(terminalColumns);
    // out[0] the terminal's master side, out[1] the program's side.
    if (::openpty(&out[0], &out[1], nullptr, nullptr, &size) != 0) throw std::runtime_error("openpty");
  } else if (::pipe(out) != 0) {
    throw std::runtime_error("pipe");
  }
  m_Pid = ::fork();
  if (m_Pid < 0) throw std::runtime_error("fork");
  if (m_Pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(out[1], 2);
    ::close(in[0]);
    ::close(in[1]);
    ::close(out[0]);
    ::close(out[1]);
    for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  m_Stdin = in[1];
  m_Stdout = out[0];
  ::signal(SIGPIPE, SIG_IGN);
}

FrontendProcess::~FrontendProcess() {
  if (Running()) {
    ::kill(m_Pid, SIGKILL);
    ::waitpid(m_Pid, nullptr, 0);
  }
  if (m_Stdin >= 0) ::close(m_Stdin);
  if (m_Stdout >= 0) ::close(m_Stdout);
}

void FrontendProcess::Send(const std::string& line) {
  std::string data = line + "\n";
  if (m_Stdin < 0 || ::write(m_Stdin, data.data(), data.size()) != static_cast<ssize_t>(data.size()))
    throw std::runtime_error("cannot send to the front end");
}

void FrontendProcess::CloseInput() {
  if (m_Stdin >= 0) ::close(m_Stdin);
  m_Stdin = -1;
}

void FrontendProcess::Signal(int signal) {
  if (Running()) ::kill(m_Pid, signal);
}

void FrontendProcess::Mark() {
  Pump(std::chrono::milliseconds(0));
  m_Mark = m_Output.size();
}

void FrontendProcess::Pump(std::chrono::milliseconds timeout) {
  if (m_Stdout < 0) return;
  pollfd fd{m_Stdout, POLLIN, 0};
  if (::poll(&fd, 1, static_cast<int>(timeout.count())) <= 0) return;
  char buffer[4096];
  ssize_t got = ::read(m_Stdout, buffer, sizeof buffer);
  if (got > 0) {
    m_Output.append(buffer, static_cast<std::size_t>(got));
  } else {
    ::close(m_Stdout);
    m_Stdout = -1;
  }
}

bool FrontendProcess::WaitFor(const std::string& text, std::chrono::milliseconds timeout) {
  auto until = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (m_Output.find(text, m_Mark) != std::string::npos) return true;
    auto now = std::chrono::steady_clock::now();
    if (now >= until || m_Stdout < 0) return false;
    Pump(std::chrono::duration_cast<std::chrono::milliseconds>(until - now));
  }
}

std::string FrontendProcess::Output() {
  Pump(std::chrono::milliseconds(0));
  return m_Output.substr(m_Mark);
}

bool FrontendProcess::Running() {
  if (m_Pid < 0 || m_ExitStatus >= 0) return false;
  int status = 0;
  pid_t done = ::waitpid(m_Pid, &status, WNOHANG);
  if (done == m_Pid) {
    m_ExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
  }
  return true;
}

int FrontendProcess::WaitExit(std::chrono::milliseconds timeout) {
  auto until = std::chrono::steady_clock::now() + timeout;
  while (Running()) {
    if (std::chrono::steady_clock::now() >= until) return -1;
    Pump(std::chrono::milliseconds(20));  // keep the pipe drained so the program never blocks
  }
  return m_ExitStatus;
}

}  // namespace altivane::test
