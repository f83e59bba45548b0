#include "loopback_ftp_server.h"

#include <cstdio>
#include <stdexcept>

namespace altivane::test {

namespace {

constexpr int kIoTimeoutMs = 5000;

// One command line without its CR LF; false when the client went away or said nothing.
bool ReadCommand(LoopbackSocket fd, std::string& pending, std::string& line) {
  for (;;) {
    const auto end = pending.find("\r\n");
    if (end != std::string::npos) {
      line = pending.substr(0, end);
      pending.erase(0, end + 2);
      return true;
    }
    if (!WaitReadable(fd, kIoTimeoutMs)) return false;
    char chunk[512];
    const long got = ReceiveSome(fd, chunk, sizeof chunk);
    if (got <= 0) return false;
    pending.append(chunk, static_cast<std::size_t>(got));
  }
}

}  // namespace

LoopbackFtpServer::LoopbackFtpServer(std::map<std::string, std::string> files) : m_Files(std::move(files)) {
  m_Listen = ListenOnLoopback(m_Port);
  if (m_Listen == kNoSocket) throw std::runtime_error("cannot listen on loopback");
  m_Thread = std::thread([this] { Run(); });
}

LoopbackFtpServer::~LoopbackFtpServer() {
  m_Stopping.store(true);
  const LoopbackSocket wake = ConnectToLoopback(m_Port);
  m_Thread.join();
  if (wake != kNoSocket) CloseSocket(wake);
  CloseSocket(m_Listen);
}

void LoopbackFtpServer::Run() {
  for (;;) {
    const LoopbackSocket control = AcceptFrom(m_Listen);
    if (m_Stopping.load()) {
      if (control != kNoSocket) CloseSocket(control);
      return;
    }
    if (control == kNoSocket) continue;
    Serve(control);
    CloseSocket(control);
  }
}

void LoopbackFtpServer::Serve(LoopbackSocket control) {
  SendAll(control, "220 test server\r\n");
  std::string pending;
  std::string line;
  std::string folder = "/";
  int dataPort = -1;
  while (ReadCommand(control, pending, line)) {
    const auto space = line.find(' ');
    const std::string verb = line.substr(0, space);
    const std::string argument = space == std::string::npos ? "" : line.substr(space + 1);
    if (verb == "USER") {
      SendAll(control, "331 send password\r\n");
    } else if (verb == "PASS") {
      SendAll(control, "230 logged in\r\n");
    } else if (verb == "PWD") {
      SendAll(control, "257 \"/\"\r\n");
    } else if (verb == "CWD") {
      folder = (argument.front() == '/' ? "" : folder) + argument + "/";
      SendAll(control, "250 ok\r\n");
    } else if (verb == "EPRT") {  // |1|127.0.0.1|41234|
      const auto last = argument.rfind('|', argument.size() - 2);
      dataPort = std::stoi(argument.substr(last + 1));
      SendAll(control, "200 ok\r\n");
    } else if (verb == "PORT") {  // 127,0,0,1,161,18
      int a, b, c, d, high, low;
      if (std::sscanf(argument.c_str(), "%d,%d,%d,%d,%d,%d", &a, &b, &c, &d, &high, &low) == 6) {
        dataPort = high * 256 + low;
      }
      SendAll(control, "200 ok\r\n");
    } else if (verb == "TYPE") {
      SendAll(control, "200 ok\r\n");
    } else if (verb == "SIZE" || verb == "RETR") {
      // A path may be absolute (WinInet) or relative to the folder (curl after CWD).
      auto it = m_Files.find(!argument.empty() && argument.front() == '/' ? argument : folder + argument);
      if (it == m_Files.end()) {
        SendAll(control, "550 no such file\r\n");
        continue;
      }
      if (verb == "SIZE") {
        SendAll(control, "213 " + std::to_string(it->second.size()) + "\r\n");
        continue;
      }
      SendAll(control, "150 sending\r\n");
      const LoopbackSocket data = ConnectToLoopback(static_cast<std::uint16_t>(dataPort));
      if (data != kNoSocket) {
        SendAll(data, it->second);
        CloseSocket(data);
      }
      SendAll(control, "226 done\r\n");
    } else if (verb == "QUIT") {
      SendAll(control, "221 bye\r\n");
      return;
    } else {
      SendAll(control, "502 not here\r\n");
    }
  }
}

}  // namespace altivane::test
