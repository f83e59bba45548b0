#pragma once
// An https server for tests (not on Windows, where no TLS library is at hand): a certificate
// authority made on the spot, a server certificate it signs for localhost and 127.0.0.1, and
// the same one-request-per-connection loop as LoopbackHttpServer.
#ifndef _WIN32
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "loopback_http_server.h"

namespace altivane::test {

// A fresh authority and a server certificate for localhost; selfSigned: a server certificate
// that no authority signed (the "wrong certificate" case).
struct TestTlsIdentity {
  std::string caPem;
  std::string certPem;
  std::string keyPem;
  static TestTlsIdentity Make(bool selfSigned = false);
};

class LoopbackTlsServer {
 public:
  LoopbackTlsServer(const TestTlsIdentity& identity, LoopbackHttpServer::Handler handler);
  ~LoopbackTlsServer();
  LoopbackTlsServer(const LoopbackTlsServer&) = delete;
  LoopbackTlsServer& operator=(const LoopbackTlsServer&) = delete;

  std::uint16_t Port() const { return m_Port; }
  std::string HostPort() const { return "localhost:" + std::to_string(m_Port); }
  std::vector<SeenRequest> Requests() const;

 private:
  void Run();
  void Serve(LoopbackSocket connection);

  struct Context;
  std::unique_ptr<Context> m_Context;
  LoopbackHttpServer::Handler m_Handler;
  LoopbackSocket m_Listen = kNoSocket;
  std::uint16_t m_Port = 0;
  std::atomic<bool> m_Stopping{false};
  mutable std::mutex m_Mutex;
  std::vector<SeenRequest> m_Requests;
  std::thread m_Thread;
};

}  // namespace altivane::test
#endif
