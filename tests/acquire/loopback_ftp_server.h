#pragma once
// A minimal anonymous FTP server for tests: 127.0.0.1 at a port the system picks, one control
// connection at a time, active mode only (EPRT or PORT), serving files from a map.
#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "loopback_socket.h"

namespace altivane::test {

class LoopbackFtpServer {
 public:
  explicit LoopbackFtpServer(std::map<std::string, std::string> files);
  ~LoopbackFtpServer();
  LoopbackFtpServer(const LoopbackFtpServer&) = delete;
  LoopbackFtpServer& operator=(const LoopbackFtpServer&) = delete;

  std::uint16_t Port() const { return m_Port; }

 private:
  void Run();
  void Serve(LoopbackSocket control);

  const std::map<std::string, std::string> m_Files;  // "/pub/a.txt" -> contents
  LoopbackSocket m_Listen = kNoSocket;
  std::uint16_t m_Port = 0;
  std::atomic<bool> m_Stopping{false};
  std::thread m_Thread;
};

}  // namespace altivane::test
