#include "loopback_http_server.h"

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
  m_Listen = ListenOnLoopback(m_Port);
  if (m_Listen == kNoSocket) throw std::runtime_error("cannot listen on loopback");
  m_Thread = std::thread([this] { Run(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  // A connection of our own wakes the accept; the flag tells it to end.
  m_Stopping.store(true);
  const LoopbackSocket wake = ConnectToLoopback(m_Port);
  m_Thread.join();
  if (wake != kNoSocket) CloseSocket(wake);
  CloseSocket(m_Listen);
}

std::vector<SeenRequest> LoopbackHttpServer::Requests() const {
  std::lock_guard lock(m_Mutex);
  return m_Requests;
}

void LoopbackHttpServer::Run() {
  for (;;) {
    const LoopbackSocket connection = AcceptFrom(m_Listen);
    if (m_Stopping.load()) {
      if (connection != kNoSocket) CloseSocket(connection);
      return;
    }
    if (connection == kNoSocket) continue;
    Serve(connection);
    CloseSocket(connection);
  }
}

void LoopbackHttpServer::Serve(LoopbackSocket connection) {
  std::string data;
  while (data.find("\r\n\r\n") == std::string::npos) {
    if (!WaitReadable(connection, kIoTimeoutMs)) return;
    char chunk[4096];
    const long got = ReceiveSome(connection, chunk, sizeof chunk);
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
  SendAll(connection, m_Handler(request));
  ShutdownSending(connection);
}

}  // namespace altivane::test
