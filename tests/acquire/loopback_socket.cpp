#include "loopback_socket.h"

#include <mutex>

namespace altivane::test {

namespace {

void StartSockets() {
#ifdef _WIN32
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
#endif
}

sockaddr_in LoopbackAddress(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

}  // namespace

LoopbackSocket ListenOnLoopback(std::uint16_t& port) {
  StartSockets();
  const LoopbackSocket listener = ::socket(AF_INET, SOCK_STREAM, 0);
  if (listener == kNoSocket) return kNoSocket;
  sockaddr_in address = LoopbackAddress(0);
  socklen_t length = sizeof address;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 16) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    CloseSocket(listener);
    return kNoSocket;
  }
  port = ntohs(address.sin_port);
  return listener;
}

LoopbackSocket ConnectToLoopback(std::uint16_t port) {
  StartSockets();
  const LoopbackSocket socket = ::socket(AF_INET, SOCK_STREAM, 0);
  if (socket == kNoSocket) return kNoSocket;
  sockaddr_in address = LoopbackAddress(port);
  if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    CloseSocket(socket);
    return kNoSocket;
  }
  return socket;
}

LoopbackSocket AcceptFrom(LoopbackSocket listener) { return ::accept(listener, nullptr, nullptr); }

void CloseSocket(LoopbackSocket socket) {
#ifdef _WIN32
  ::closesocket(socket);
#else
  ::close(socket);
#endif
}

bool WaitReadable(LoopbackSocket socket, int timeoutMs) {
#ifdef _WIN32
  WSAPOLLFD fd{socket, POLLRDNORM, 0};
  return ::WSAPoll(&fd, 1, timeoutMs) > 0;
#else
  pollfd fd{socket, POLLIN, 0};
  return ::poll(&fd, 1, timeoutMs) > 0;
#endif
}

long ReceiveSome(LoopbackSocket socket, char* buffer, std::size_t size) {
  return static_cast<long>(::recv(socket, buffer, static_cast<int>(size), 0));
}

void SendAll(LoopbackSocket socket, const std::string& bytes) {
#ifdef _WIN32
  constexpr int kFlags = 0;
#else
  constexpr int kFlags = MSG_NOSIGNAL;
#endif
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const auto n = ::send(socket, bytes.data() + sent, static_cast<int>(bytes.size() - sent), kFlags);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

void ShutdownSending(LoopbackSocket socket) {
#ifdef _WIN32
  ::shutdown(socket, SD_SEND);
#else
  ::shutdown(socket, SHUT_WR);
#endif
}

}  // namespace altivane::test
