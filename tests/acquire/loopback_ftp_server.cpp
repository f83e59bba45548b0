#include "loopback_ftp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace altivane::test {

namespace {

constexpr int kIoTimeoutMs = 5000;

void SendAll(int fd, const std::string& text) {
  std::size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

// One command line without its CR LF; false when the client went away or said nothing.
bool ReadCommand(int fd, std::string& pending, std::string& line) {
  for (;;) {
    const auto end = pending.find("\r\n");
    if (end != std::string::npos) {
      line = pending.substr(0, end);
      pending.erase(0, end + 2);
      return true;
    }
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kIoTimeoutMs) <= 0) return false;
    char chunk[512];
    const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
    if (got <= 0) return false;
    pending.append(chunk, static_cast<std::size_t>(got));
  }
}

int ConnectLoopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

}  // namespace

LoopbackFtpServer::LoopbackFtpServer(std::map<std::string, std::string> files) : m_Files(std::move(files)) {
  m_Listen = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (m_Listen < 0 || ::bind(m_Listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(m_Listen, 4) != 0 || ::getsockname(m_Listen, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::pipe(m_Wake) != 0) {
    throw std::runtime_error("cannot listen on loopback");
  }
  m_Port = ntohs(address.sin_port);
  m_Thread = std::thread([this] { Run(); });
}

LoopbackFtpServer::~LoopbackFtpServer() {
  const char stop = 'x';
  [[maybe_unused]] auto written = ::write(m_Wake[1], &stop, 1);
  m_Thread.join();
  ::close(m_Listen);
  ::close(m_Wake[0]);
  ::close(m_Wake[1]);
}

void LoopbackFtpServer::Run() {
  for (;;) {
    pollfd fds[2] = {{m_Listen, POLLIN, 0}, {m_Wake[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) return;
    const int control = ::accept(m_Listen, nullptr, nullptr);
    if (control >= 0) {
      Serve(control);
      ::close(control);
    }
  }
}

void LoopbackFtpServer::Serve(int control) {
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
      auto it = m_Files.find(folder + argument);
      if (it == m_Files.end()) {
        SendAll(control, "550 no such file\r\n");
        continue;
      }
      if (verb == "SIZE") {
        SendAll(control, "213 " + std::to_string(it->second.size()) + "\r\n");
        continue;
      }
      SendAll(control, "150 sending\r\n");
      const int data = ConnectLoopback(dataPort);
      if (data >= 0) {
        SendAll(data, it->second);
        ::close(data);
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
