#include "platform/automation.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/registry.h"

bool RegisterAutomationClass(const std::string& serverPath) {
  const std::string clsidKey = std::string("CLSID\\") + kAutomationClsid;
  return RegistryWriteString(RegistryRoot::ClassesRoot, kAutomationProgId, "", "Altivane Application") &&
         RegistryWriteString(RegistryRoot::ClassesRoot, std::string(kAutomationProgId) + "\\CLSID", "",
                             kAutomationClsid) &&
         RegistryWriteString(RegistryRoot::ClassesRoot, clsidKey + "\\ProgID", "", kAutomationProgId) &&
         RegistryWriteString(RegistryRoot::ClassesRoot, clsidKey + "\\LocalServer32", "", serverPath + " --automation");
}

namespace {

// What is at the endpoint before we serve there. Only a socket that nobody answers on (left by
// a program that ended without cleaning up) is ours to take over; a file of any other kind,
// or a socket another program serves, is never removed.
bool EndpointFree(const std::string& endpoint, const sockaddr_un& address) {
  struct stat info {};
  if (::lstat(endpoint.c_str(), &info) != 0) return errno == ENOENT;
  if (!S_ISSOCK(info.st_mode)) return false;
  const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  const bool served = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(probe);
  if (served) return false;
  return ::unlink(endpoint.c_str()) == 0 || errno == ENOENT;
}

}  // namespace

struct AutomationServer::Impl {
  int listenFd = -1;
  int wakePipe[2] = {-1, -1};
  std::string path;
  dev_t device = 0;  // the socket we bound, removed at the end only while it is still there
  ino_t inode = 0;
  std::thread thread;
  Callback onCreate, onRelease;

  void Run() {
    std::vector<int> clients;
    for (;;) {
      std::vector<pollfd> fds{{wakePipe[0], POLLIN, 0}, {listenFd, POLLIN, 0}};
      for (int c : clients) fds.push_back({c, POLLIN, 0});
      if (::poll(fds.data(), fds.size(), -1) < 0) continue;
      if (fds[0].revents) break;
      if (fds[1].revents & POLLIN) {
        int c = ::accept(listenFd, nullptr, nullptr);
        if (c >= 0) {
          clients.push_back(c);
          onCreate();
        }
      }
      for (std::size_t i = 2; i < fds.size(); ++i) {
        if (!fds[i].revents) continue;
        char buffer[64];
        if (::read(fds[i].fd, buffer, sizeof buffer) > 0) continue;  // clients send nothing we use
        ::close(fds[i].fd);
        std::erase(clients, fds[i].fd);
        onRelease();
      }
    }
    for (int c : clients) {
      ::close(c);
      onRelease();
    }
  }
};

AutomationServer::AutomationServer() : m_Impl(std::make_unique<Impl>()) {}

AutomationServer::~AutomationServer() { Stop(); }

bool AutomationServer::Start(const std::string& endpoint, Callback onCreate, Callback onRelease) {
  Impl& impl = *m_Impl;
  sockaddr_un address{};
  if (impl.thread.joinable() || endpoint.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, endpoint.c_str(), endpoint.size() + 1);
  if (!EndpointFree(endpoint, address)) return false;
  impl.listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (impl.listenFd < 0) return false;
  if (::bind(impl.listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(impl.listenFd, 8) != 0 || ::pipe(impl.wakePipe) != 0) {
    ::close(impl.listenFd);
    impl.listenFd = -1;
    return false;
  }
  struct stat bound {};
  if (::lstat(endpoint.c_str(), &bound) == 0) {
    impl.device = bound.st_dev;
    impl.inode = bound.st_ino;
  }
  impl.path = endpoint;
  impl.onCreate = std::move(onCreate);
  impl.onRelease = std::move(onRelease);
  impl.thread = std::thread([&impl] { impl.Run(); });
  return true;
}

void AutomationServer::Stop() {
  Impl& impl = *m_Impl;
  if (!impl.thread.joinable()) return;
  char byte = 0;
  if (::write(impl.wakePipe[1], &byte, 1) < 0) {
    // The pipe is ours and empty; a failed write leaves nothing to wake, so close it instead.
    ::close(impl.wakePipe[1]);
    impl.wakePipe[1] = -1;
  }
  impl.thread.join();
  ::close(impl.listenFd);
  ::close(impl.wakePipe[0]);
  if (impl.wakePipe[1] >= 0) ::close(impl.wakePipe[1]);
  // Someone may have put another file there meanwhile: remove only our own socket.
  struct stat info {};
  if (::lstat(impl.path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_dev == impl.device &&
      info.st_ino == impl.inode)
    ::unlink(impl.path.c_str());
  impl.listenFd = impl.wakePipe[0] = impl.wakePipe[1] = -1;
}
