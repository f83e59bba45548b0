#pragma once
// The few socket calls the loopback test servers make, on POSIX sockets and on Winsock.
#include <cstdint>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using LoopbackSocket = SOCKET;
inline constexpr LoopbackSocket kNoSocket = INVALID_SOCKET;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using LoopbackSocket = int;
inline constexpr LoopbackSocket kNoSocket = -1;
#endif

namespace altivane::test {

// A socket listening on 127.0.0.1 at a port the system picks; kNoSocket on failure.
LoopbackSocket ListenOnLoopback(std::uint16_t& port);
LoopbackSocket ConnectToLoopback(std::uint16_t port);
LoopbackSocket AcceptFrom(LoopbackSocket listener);
void CloseSocket(LoopbackSocket socket);
// True when the socket has something to read within timeoutMs (-1: no limit).
bool WaitReadable(LoopbackSocket socket, int timeoutMs);
// Bytes received, 0 at the end, negative on failure.
long ReceiveSome(LoopbackSocket socket, char* buffer, std::size_t size);
void SendAll(LoopbackSocket socket, const std::string& bytes);
void ShutdownSending(LoopbackSocket socket);

}  // namespace altivane::test
