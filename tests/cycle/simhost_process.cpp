// The stand-in is started as a posix process here; the Windows build has its own window transport.
#if !defined(_WIN32)
#include "simhost_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <thread>

extern char** environ;

namespace altivane::test {

namespace {

// Field value of a flat JSON object line: "key":"value" (no escapes needed for our fields).
std::string JsonField(const std::string& line, const std::string& key) {
  const std::string marker = "\"" + key + "\":\"";
  auto start = line.find(marker);
  if (start == std::string::npos) return "";
  start += marker.size();
  std::string value;
  for (std::size_t i = start; i < line.size() && line[i] != '"'; ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) ++i;
    value += line[i];
  }
  return value;
}

std::vector<std::string> EnvironmentWith(const std::filesystem::path& ipcDir) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, "ALTIVANE_IPC_DIR=", 17) != 0) env.emplace_back(*e);
  }
  env.push_back("ALTIVANE_IPC_DIR=" + ipcDir.string());
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (auto& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

pid_t Spawn(const std::string& program, std::vector<std::string> args, const std::filesystem::path& ipcDir,
            int stdoutFd) {
  args.insert(args.begin(), program);
  std::vector<std::string> env = EnvironmentWith(ipcDir);
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(env);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace

SimhostProcess::SimhostProcess(const std::string& program, const std::filesystem::path& ipcDir,
                               std::vector<std::string> args)
    : m_Program(program), m_IpcDir(ipcDir), m_JournalPath(ipcDir / "journal.jsonl") {
  std::ofstream(m_JournalPath).flush();  // the stand-in wants a file it can write
  args.push_back("--journal");
  args.push_back(m_JournalPath.string());
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return;
  m_Pid = Spawn(program, args, ipcDir, pipeFds[1]);
  ::close(pipeFds[1]);
  m_Stdout = pipeFds[0];
  if (m_Pid < 0) return;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!m_Ready && !m_Exited && std::chrono::steady_clock::now() < deadline) {
    ReadOutput(std::chrono::milliseconds(100));
    auto newline = m_Output.find('\n');
    if (newline != std::string::npos && m_Output.rfind("simhost ready", 0) == 0) {
      m_Ready = true;
      m_Output.erase(0, newline + 1);
    }
  }
}

SimhostProcess::~SimhostProcess() {
  Stop();
  if (m_Stdout >= 0) ::close(m_Stdout);
}

bool SimhostProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (m_Output.find(text) == std::string::npos) {
    if (m_Exited || std::chrono::steady_clock::now() >= until) return false;
    ReadOutput(std::chrono::milliseconds(50));
  }
  return true;
}

std::string SimhostProcess::ReadOutput(std::chrono::milliseconds timeout) {
  if (m_Stdout < 0 || m_Exited) return "";
  pollfd fd{m_Stdout, POLLIN, 0};
  if (::poll(&fd, 1, static_cast<int>(timeout.count())) <= 0) return "";
  char buffer[4096];
  ssize_t n = ::read(m_Stdout, buffer, sizeof buffer);
  if (n <= 0) {
    // End of output: the process has ended; collect it.
    if (m_Pid > 0) ::waitpid(m_Pid, nullptr, 0);
    m_Exited = true;
    return "";
  }
  m_Output.append(buffer, static_cast<std::size_t>(n));
  return std::string(buffer, static_cast<std::size_t>(n));
}

bool SimhostProcess::WaitExited(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!m_Exited && std::chrono::steady_clock::now() < deadline) ReadOutput(std::chrono::milliseconds(50));
  return m_Exited;
}

void SimhostProcess::Freeze() {
  if (m_Pid > 0 && !m_Exited && ::kill(m_Pid, SIGSTOP) == 0) m_Frozen = true;
}

void SimhostProcess::Thaw() {
  if (m_Pid > 0 && !m_Exited && m_Frozen) ::kill(m_Pid, SIGCONT);
  m_Frozen = false;
}

void SimhostProcess::Kill() {
  if (m_Pid > 0 && !m_Exited) {
    ::kill(m_Pid, SIGKILL);
    WaitExited(std::chrono::seconds(10));
  }
}

std::string SimhostProcess::Stop() {
  if (m_Pid > 0 && !m_Exited) {
    ::kill(m_Pid, SIGTERM);
    Thaw();  // a frozen process takes its SIGTERM only once it runs again
    if (!WaitExited(std::chrono::seconds(10))) {
      ::kill(m_Pid, SIGKILL);
      ::waitpid(m_Pid, nullptr, 0);
      m_Exited = true;
    }
  }
  return m_Output;
}

bool SimhostProcess::Move(double latitude, double longitude) {
  char position[64];
  std::snprintf(position, sizeof position, "%.6f,%.6f", latitude, longitude);
  return RunProgram(m_Program, {"--move", position}, m_IpcDir) == 0;
}

std::vector<JournalEvent> SimhostProcess::Journal() const {
  std::vector<JournalEvent> events;
  std::ifstream in(m_JournalPath);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line.back() != '}') continue;  // a line still being written
    events.push_back(JournalEvent{JsonField(line, "kind"), JsonField(line, "station"), JsonField(line, "text"), line});
  }
  return events;
}

bool SimhostProcess::WaitForJournal(const std::function<bool(const std::vector<JournalEvent>&)>& pred,
                                    std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (pred(Journal())) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // Another process writes the file: there is nothing to wait on but the file itself.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int RunProgram(const std::string& program, const std::vector<std::string>& args, const std::filesystem::path& ipcDir) {
  pid_t pid = Spawn(program, args, ipcDir, -1);
  if (pid < 0) return -1;
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace altivane::test

#endif  // !_WIN32
