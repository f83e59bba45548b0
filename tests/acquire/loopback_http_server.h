#pragma once
// A small HTTP server for tests: listens on 127.0.0.1 at a port the system picks, answers one
// request per connection with whatever the handler returns, and records every request.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "loopback_socket.h"

namespace altivane::test {

struct SeenRequest {
  std::string method;
  std::string target;  // "/path" directly, "http://host/path" when asked as a proxy
  std::vector<std::pair<std::string, std::string>> headers;
  // Value of a header (name without regard to case); "" when absent.
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const;
};

// A complete answer with Content-Length and "Connection: close"; extraHeaders are
// "Name: value\r\n" lines.
std::string HttpAnswer(int status, const std::string& body, const std::string& extraHeaders = "");

class LoopbackHttpServer {
 public:
  using Handler = std::function<std::string(const SeenRequest&)>;
  explicit LoopbackHttpServer(Handler handler);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  std::uint16_t Port() const { return m_Port; }
  // "localhost:port": a name without a dot, reached without the proxy.
  std::string HostPort() const { return "localhost:" + std::to_string(m_Port); }
  std::vector<SeenRequest> Requests() const;

 private:
  void Run();
  void Serve(LoopbackSocket connection);

  Handler m_Handler;
  LoopbackSocket m_Listen = kNoSocket;
  std::uint16_t m_Port = 0;
  std::atomic<bool> m_Stopping{false};
  mutable std::mutex m_Mutex;
  std::vector<SeenRequest> m_Requests;
  std::thread m_Thread;
};

}  // namespace altivane::test
