#include "loopback_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <stdexcept>

namespace altivane::test {

namespace {

constexpr int kIoTimeoutMs = 5000;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

}  // namespace

std::string SeenRequest::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (Lower(key) == Lower(name)) return value;
  }
  return "";
}

bool SeenRequest::HasHeader(const std::string& name) const {
  for (const auto& header : headers) {
    if (Lower(header.first) == Lower(name)) return true;
  }
  return false;
}

std::string HttpAnswer(int status, const std::string& body, const std::string& extraHeaders) {
  return "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n" + extraHeaders +
         "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

LoopbackHttpServer::LoopbackHttpServer(Handler handler) : m_Handler(std::move(handler)) {
  m_Listen = ::socket(AF_INET, SOCK_STREAM, 0);
  if (m_Listen < 0) throw std::runtime_error("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(m_Listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(m_Listen, 16) != 0 ||
      ::getsockname(m_Listen, reinterpret_cast<sockaddr*>(&address), &length) != 0 || ::pipe(m_Wake) != 0) {
    ::close(m_Listen);
    throw std::runtime_error("cannot listen on loopback");
  }
  m_Port = ntohs(address.sin_port);
  m_Thread = std::thread([this] { Run(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  const char stop = 'x';
  [[maybe_unused]] auto written = ::write(m_Wake[1], &stop, 1);
  m_Thread.join();
  ::close(m_Listen);
  ::close(m_Wake[0]);
  ::close(m_Wake[1]);
}

std::vector<SeenRequest> LoopbackHttpServer::Requests() const {
  std::lock_guard lock(m_Mutex);
  return m_Requests;
}

void LoopbackHttpServer::Run() {
  for (;;) {
    pollfd fds[2] = {{m_Listen, POLLIN, 0}, {m_Wake[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) return;
    if (fds[0].revents & POLLIN) {
      const int connection = ::accept(m_Listen, nullptr, nullptr);
      if (connection >= 0) {
        Serve(connection);
        ::close(connection);
      }
    }
  }
}

void LoopbackHttpServer::Serve(int connection) {
  std::string data;
  while (data.find("\r\n\r\n") == std::string::npos) {
    pollfd fd{connection, POLLIN, 0};
    if (::poll(&fd, 1, kIoTimeoutMs) <= 0) return;
    char chunk[4096];
    const ssize_t got = ::recv(connection, chunk, sizeof chunk, 0);
    if (got <= 0) return;
    data.append(chunk, static_cast<std::size_t>(got));
  }
  SeenRequest request;
  std::size_t pos = data.find("\r\n");
  const std::string line = data.substr(0, pos);
  const auto space1 = line.find(' ');
  const auto space2 = line.find(' ', space1 + 1);
  request.method = line.substr(0, space1);
  request.target = line.substr(space1 + 1, space2 - space1 - 1);
  pos += 2;
  for (;;) {
    const auto end = data.find("\r\n", pos);
    if (end == pos || end == std::string::npos) break;
    const std::string header = data.substr(pos, end - pos);
    const auto colon = header.find(':');
    if (colon != std::string::npos) {
      std::string value = header.substr(colon + 1);
      while (!value.empty() && value.front() == ' ') value.erase(0, 1);
      request.headers.emplace_back(header.substr(0, colon), value);
    }
    pos = end + 2;
  }
  {
    std::lock_guard lock(m_Mutex);
    m_Requests.push_back(request);
  }
  const std::string answer = m_Handler(request);
  std::size_t sent = 0;
  while (sent < answer.size()) {
    const ssize_t n = ::send(connection, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  ::shutdown(connection, SHUT_WR);
}

}  // namespace altivane::test
