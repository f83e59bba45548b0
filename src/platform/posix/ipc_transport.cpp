// Posix stand-in of the Windows IPC facilities: a "window" is a Unix-domain socket named after its
// class, a message send is one request frame and one reply frame on a fresh connection.
#include "platform/ipc_transport.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "base/bytes.h"

namespace {

constexpr std::uint32_t kRequestMagic = 0x51495641;  // "AVIQ"
constexpr std::uint32_t kReplyMagic = 0x52495641;    // "AVIR"
constexpr std::size_t kMaxAtomName = 255;
constexpr std::size_t kRequestHeader = 16;
// Magic, the 64-bit result, and the steady-clock millisecond the answer was sent at (one clock
// for every process of the machine).
constexpr std::size_t kReplySize = 20;
// A connection that sends no complete request within this time is dropped by the server.
constexpr int kServerReadTimeoutMs = 1000;
// A window that exists but is frozen still counts as found; looking for it waits no longer.
constexpr int64_t kFindWindowTimeoutMs = 2000;
// Wait between two connects to a listener whose backlog is full.
constexpr int64_t kConnectRetryMs = 5;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Reads exactly `size` bytes, waiting no longer than the deadline. 1 done, 0 timed out, -1 error or early end
// (errno set).
int ReadFull(int fd, std::uint8_t* out, std::size_t size, int64_t deadlineMs) {
  std::size_t got = 0;
  while (got < size) {
    // Past the deadline, what has already arrived is still taken: a sender that was not
    // scheduled in time must not lose an answer that came in time (the answer's own time
    // stamp says whether it did).
    const int64_t left = std::max<int64_t>(0, deadlineMs - NowMs());
    pollfd pfd{fd, POLLIN, 0};
    int ready = ::poll(&pfd, 1, static_cast<int>(left));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (ready == 0) return 0;
    ssize_t n = ::recv(fd, out + got, size - got, 0);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return -1;
    }
    if (n == 0) {
      errno = ECONNRESET;
      return -1;
    }
    got += static_cast<std::size_t>(n);
  }
  return 1;
}

// Writes all bytes before the deadline. 1 done, 0 timed out, -1 error (errno set).
int WriteFull(int fd, const std::uint8_t* data, std::size_t size, int64_t deadlineMs) {
  std::size_t sent = 0;
  while (sent < size) {
    ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
    if (n >= 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    const int64_t left = deadlineMs - NowMs();
    if (left <= 0) return 0;
    pollfd pfd{fd, POLLOUT, 0};
    if (::poll(&pfd, 1, static_cast<int>(left)) < 0 && errno != EINTR) return -1;
  }
  return 1;
}

bool MakeAddress(const std::string& path, sockaddr_un* addr) {
  std::memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  if (path.size() >= sizeof addr->sun_path) return false;
  std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// A connected socket to the window's path, or -1 with errno set. The connect is bounded by the
// deadline too: a frozen window whose backlog is full would otherwise hold the caller for good
// (ETIMEDOUT then). The socket stays non-blocking; every later step polls against the deadline.
int ConnectTo(const std::string& path, int64_t deadlineMs) {
  sockaddr_un addr;
  if (!MakeAddress(path, &addr)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  auto fail = [fd](int error) {
    ::close(fd);
    errno = error;
    return -1;
  };
  while (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if (errno == EINTR) continue;
    const int64_t left = deadlineMs - NowMs();
    if (errno == EAGAIN) {
      // A Unix-domain listener with a full backlog: nothing to poll on, so try again shortly.
      if (left <= 0) return fail(ETIMEDOUT);
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(left, kConnectRetryMs)));
      continue;
    }
    if (errno != EINPROGRESS) return fail(errno);
    pollfd pfd{fd, POLLOUT, 0};
    int ready = left > 0 ? ::poll(&pfd, 1, static_cast<int>(left)) : 0;
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return fail(ready == 0 ? ETIMEDOUT : errno);
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return fail(errno);
    if (error != 0) return fail(error);
    break;
  }
  return fd;
}

std::string SocketPath(const std::string& className) { return IpcDirectory() + "/" + className + ".sock"; }

class PosixSharedMemory : public IpcSharedMemory {
 public:
  PosixSharedMemory(std::string name, int fd, std::size_t size, bool owner)
      : m_Name(std::move(name)), m_Fd(fd), m_Size(size), m_Owner(owner) {}
  ~PosixSharedMemory() override {
    Unmap();
    ::close(m_Fd);
    if (m_Owner) ::shm_unlink(m_Name.c_str());
  }
  std::uint8_t* Map() override {
    if (m_View) return m_View;
    void* view = ::mmap(nullptr, m_Size, PROT_READ | PROT_WRITE, MAP_SHARED, m_Fd, 0);
    if (view == MAP_FAILED) return nullptr;
    m_View = static_cast<std::uint8_t*>(view);
    return m_View;
  }
  void Unmap() override {
    if (m_View) ::munmap(m_View, m_Size);
    m_View = nullptr;
  }
  std::size_t Size() const override { return m_Size; }
  bool Intact() const override {
    struct stat st;
    return ::fstat(m_Fd, &st) == 0 && st.st_size >= 0 && static_cast<std::size_t>(st.st_size) >= m_Size;
  }

 private:
  std::string m_Name;
  int m_Fd;
  std::size_t m_Size;
  bool m_Owner;
  std::uint8_t* m_View = nullptr;
};

thread_local std::uint32_t t_LastError = 0;

class PosixIpcTransport : public IpcTransport {
 public:
  IpcWindow FindWindow(const char* className) override {
    if (!className || !*className) return 0;
    std::string path = SocketPath(className);
    int fd = ConnectTo(path, NowMs() + kFindWindowTimeoutMs);
    // A frozen window is still a window: its sends time out, as with the real one.
    if (fd < 0 && errno != ETIMEDOUT) return 0;
    if (fd >= 0) ::close(fd);
    std::lock_guard lock(m_Mutex);
    for (std::size_t i = 0; i < m_Windows.size(); ++i)
      if (m_Windows[i] == path) return i + 1;
    m_Windows.push_back(path);
    return m_Windows.size();
  }

  std::uint32_t RegisterMessage(const char* name) override {
    if (!name || !*name) return 0;
    // FNV-1a: the same name gives the same id in every process, in the range Windows uses.
    std::uint32_t hash = 2166136261u;
    for (const char* p = name; *p; ++p) hash = (hash ^ static_cast<std::uint8_t>(*p)) * 16777619u;
    return 0xC000u + (hash % 0x4000u);
  }

  std::uint16_t AddAtom(const std::string& name) override {
    if (name.empty() || name.size() > kMaxAtomName) return 0;
    std::lock_guard lock(m_Mutex);
    for (auto& [id, atom] : m_Atoms) {
      if (atom.name == name) {
        ++atom.references;
        return id;
      }
    }
    for (std::uint32_t tries = 0; tries < 0x4000; ++tries) {
      std::uint16_t id = m_NextAtom;
      m_NextAtom = m_NextAtom == 0xFFFF ? 0xC000 : static_cast<std::uint16_t>(m_NextAtom + 1);
      if (m_Atoms.count(id) == 0) {
        m_Atoms[id] = Atom{name, 1};
        return id;
      }
    }
    return 0;
  }

  void DeleteAtom(std::uint16_t atom) override {
    std::lock_guard lock(m_Mutex);
    auto it = m_Atoms.find(atom);
    if (it != m_Atoms.end() && --it->second.references == 0) m_Atoms.erase(it);
  }

  std::unique_ptr<IpcSharedMemory> CreateSharedMemory(const std::string& name, std::size_t size,
                                                      bool* existed) override {
    if (existed) *existed = false;
    std::string posixName = PosixSharedMemoryName(name);
    int fd = ::shm_open(posixName.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST && existed) *existed = true;
      return nullptr;
    }
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
      ::close(fd);
      ::shm_unlink(posixName.c_str());
      return nullptr;
    }
    return std::make_unique<PosixSharedMemory>(posixName, fd, size, true);
  }

  bool SendMessageTimeout(IpcWindow window, std::uint32_t message, std::uint16_t atom, std::uint32_t timeoutMs,
                          std::intptr_t* result) override {
    int64_t deadline = NowMs() + timeoutMs;
    std::string path, atomName;
    {
      std::lock_guard lock(m_Mutex);
      if (window == 0 || window > m_Windows.size()) {
        t_LastError = EBADF;
        return false;
      }
      path = m_Windows[window - 1];
      auto it = m_Atoms.find(atom);
      if (it != m_Atoms.end()) atomName = it->second.name;
    }
    int fd = ConnectTo(path, deadline);
    if (fd < 0) {
      // Not accepted in time counts as a time-out, like a window that does not answer.
      t_LastError = errno == ETIMEDOUT ? 0 : static_cast<std::uint32_t>(errno ? errno : EIO);
      return false;
    }
    std::vector<std::uint8_t> frame(kRequestHeader + atomName.size());
    StoreU32(&frame[0], kRequestMagic);
    StoreU32(&frame[4], message);
    StoreU32(&frame[8], atom);
    StoreU32(&frame[12], static_cast<std::uint32_t>(atomName.size()));
    std::memcpy(frame.data() + kRequestHeader, atomName.data(), atomName.size());
    if (int written = WriteFull(fd, frame.data(), frame.size(), deadline); written != 1) {
      t_LastError = written == 0 ? 0 : static_cast<std::uint32_t>(errno ? errno : EIO);
      ::close(fd);
      return false;
    }
    std::uint8_t reply[kReplySize];
    int got = ReadFull(fd, reply, sizeof reply, deadline);
    int saved = errno;
    ::close(fd);
    if (got == 0) {
      t_LastError = 0;  // timed out: the window is alive but did not answer in time
      return false;
    }
    if (got < 0 || LoadU32(reply) != kReplyMagic) {
      t_LastError = static_cast<std::uint32_t>(got < 0 && saved ? saved : EPROTO);
      return false;
    }
    const std::uint64_t sentAt = LoadU64(reply + 12);
    if (static_cast<int64_t>(sentAt) > deadline) {
      t_LastError = 0;  // answered, but after the time-out: as the window manager sees it, a time-out
      return false;
    }
    const std::uint64_t value = LoadU64(reply + 4);
    if (result) *result = static_cast<std::intptr_t>(value);
    t_LastError = 0;
    return true;
  }

  std::uint32_t LastError() override { return t_LastError; }
  std::uint32_t ProcessId() override { return static_cast<std::uint32_t>(::getpid()); }

 private:
  struct Atom {
    std::string name;
    unsigned references;
  };
  std::mutex m_Mutex;
  std::vector<std::string> m_Windows;  // handle - 1 -> socket path
  std::map<std::uint16_t, Atom> m_Atoms;
  std::uint16_t m_NextAtom = 0xC000;
};

class PosixIpcServer : public IpcServer {
 public:
  ~PosixIpcServer() override { Stop(); }

  bool Start(const std::string& className, Handler handler, std::string* error) override {
    auto fail = [&](const std::string& why) {
      if (error) *error = why;
      CloseAll();
      return false;
    };
    if (m_Thread.joinable()) return fail("already started");
    std::string dir = IpcDirectory();
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return fail("cannot create " + dir);
    // Another user's folder could hand our clients to a window of theirs.
    struct stat st;
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
      return fail(dir + " is not a folder of this user");
    m_Path = SocketPath(className);
    sockaddr_un addr;
    if (!MakeAddress(m_Path, &addr)) return fail("socket path too long: " + m_Path);
    int live = ConnectTo(m_Path, NowMs() + kServerReadTimeoutMs);
    if (live >= 0 || errno == ETIMEDOUT) {  // a frozen server still holds its class
      if (live >= 0) ::close(live);
      m_Path.clear();
      return fail("a window of class " + className + " is already there");
    }
    ::unlink(m_Path.c_str());  // a stale socket of a server that died
    m_Listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_Listen < 0) return fail(std::string("socket: ") + std::strerror(errno));
    if (::bind(m_Listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(m_Listen, 64) != 0)
      return fail("cannot listen on " + m_Path + ": " + std::strerror(errno));
    if (::pipe2(m_Wake, O_CLOEXEC) != 0) return fail(std::string("pipe: ") + std::strerror(errno));
    m_Handler = std::move(handler);
    m_Thread = std::thread([this] { Run(); });
    return true;
  }

  void Stop() override {
    if (m_Thread.joinable()) {
      char byte = 1;
      while (::write(m_Wake[1], &byte, 1) < 0 && errno == EINTR) {}
      m_Thread.join();
    }
    CloseAll();
  }

 private:
  void CloseAll() {
    if (m_Listen >= 0) {
      ::close(m_Listen);
      m_Listen = -1;
      if (!m_Path.empty()) ::unlink(m_Path.c_str());
    }
    for (int& fd : m_Wake) {
      if (fd >= 0) ::close(fd);
      fd = -1;
    }
  }

  bool Stopping() {
    pollfd pfd{m_Wake[0], POLLIN, 0};
    return ::poll(&pfd, 1, 0) > 0;
  }

  void Run() {
    while (true) {
      pollfd fds[2] = {{m_Listen, POLLIN, 0}, {m_Wake[0], POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents) return;
      if (!(fds[0].revents & POLLIN)) continue;
      int fd = ::accept4(m_Listen, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      Serve(fd);
      ::close(fd);
      if (Stopping()) return;
    }
  }

  // One connection carries one message and its answer.
  void Serve(int fd) {
    int64_t deadline = NowMs() + kServerReadTimeoutMs;
    std::uint8_t header[kRequestHeader];
    if (ReadFull(fd, header, sizeof header, deadline) != 1) return;
    if (LoadU32(header) != kRequestMagic) return;
    std::uint32_t nameLength = LoadU32(header + 12);
    if (nameLength > kMaxAtomName) return;
    std::string name(nameLength, '\0');
    if (nameLength && ReadFull(fd, reinterpret_cast<std::uint8_t*>(name.data()), nameLength, deadline) != 1) return;
    // A sender that gave up while this server was frozen has gone: its batch is not answered,
    // as the area may already hold its next one.
    pollfd peer{fd, POLLRDHUP, 0};
    if (::poll(&peer, 1, 0) > 0 && (peer.revents & (POLLRDHUP | POLLHUP | POLLERR))) return;
    std::intptr_t result = m_Handler(LoadU32(header + 4), name);
    std::uint8_t reply[kReplySize];
    auto value = static_cast<std::uint64_t>(static_cast<std::int64_t>(result));
    StoreU32(reply, kReplyMagic);
    StoreU64(reply + 4, value);
    StoreU64(reply + 12, static_cast<std::uint64_t>(NowMs()));
    // The sender may have given up; that is its business.
    WriteFull(fd, reply, sizeof reply, NowMs() + kServerReadTimeoutMs);
  }

  std::string m_Path;
  int m_Listen = -1;
  int m_Wake[2] = {-1, -1};
  Handler m_Handler;
  std::thread m_Thread;
};

}  // namespace

std::string IpcDirectory() {
  if (const char* env = std::getenv("ALTIVANE_IPC_DIR"); env && *env) return env;
  return "/tmp/altivane-ipc-" + std::to_string(::getuid());
}

std::string PosixSharedMemoryName(const std::string& name) {
  std::string out = "/";
  for (char c : name) out += c == '/' ? '_' : c;
  return out;
}

IpcTransport& DefaultIpcTransport() {
  static PosixIpcTransport transport;
  return transport;
}

std::unique_ptr<IpcSharedMemory> OpenIpcSharedMemory(const std::string& name, std::size_t size) {
  std::string posixName = PosixSharedMemoryName(name);
  int fd = ::shm_open(posixName.c_str(), O_RDWR | O_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || static_cast<std::size_t>(st.st_size) < size) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixSharedMemory>(posixName, fd, size, false);
}

std::unique_ptr<IpcServer> CreateIpcServer() { return std::make_unique<PosixIpcServer>(); }
