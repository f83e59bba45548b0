// The socket host of the automation class; the Windows one (COM) is tested in tests/win32.
#if !defined(_WIN32)
#include "platform/automation.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "platform/registry.h"
#include "support/test_data.h"

namespace {

using altivane::test::TempDir;
using namespace std::chrono_literals;

int Connect(const std::string& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

struct Counter {
  std::mutex mutex;
  std::condition_variable changed;
  int created = 0, released = 0;
  void Created() {
    std::lock_guard lock(mutex);
    ++created;
    changed.notify_all();
  }
  void Released() {
    std::lock_guard lock(mutex);
    ++released;
    changed.notify_all();
  }
  bool WaitFor(int c, int r) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 5s, [&] { return created == c && released == r; });
  }
};

TEST(AutomationServer, EachConnectionIsOneHeldObjectUntilTheClientLetsGo) {
  TempDir dir;
  const std::string path = (dir.Path() / "automation.sock").string();
  Counter counter;
  AutomationServer server;
  ASSERT_TRUE(server.Start(
      path, [&] { counter.Created(); }, [&] { counter.Released(); }));
  int a = Connect(path);
  ASSERT_GE(a, 0);
  ASSERT_TRUE(counter.WaitFor(1, 0));
  int b = Connect(path);
  ASSERT_GE(b, 0);
  ASSERT_TRUE(counter.WaitFor(2, 0));
  ::close(a);
  ASSERT_TRUE(counter.WaitFor(2, 1));
  // Stopping the server lets go of the objects still held.
  server.Stop();
  EXPECT_TRUE(counter.WaitFor(2, 2));
  ::close(b);
  EXPECT_LT(Connect(path), 0);
}

// Whatever a mistyped --automation-socket names stays as it was; only a socket nobody serves
// any more is taken over.
TEST(AutomationServer, NeverRemovesWhatIsNotADeadSocket) {
  enum class Kind { File, Folder, Link, DeadSocket, LiveSocket };
  struct Case {
    const char* name;
    Kind kind;
    bool served;
  };
  const Case cases[] = {{"regular file", Kind::File, false},
                        {"folder", Kind::Folder, false},
                        {"symbolic link to a file", Kind::Link, false},
                        {"socket nobody serves", Kind::DeadSocket, true},
                        {"socket another program serves", Kind::LiveSocket, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = (dir.Path() / "automation.sock").string();
    const std::string target = (dir.Path() / "notes.txt").string();
    { std::ofstream(target) << "keep me\n"; }
    AutomationServer other;
    switch (c.kind) {
      case Kind::File: std::filesystem::copy_file(target, path); break;
      case Kind::Folder: std::filesystem::create_directory(path); break;
      case Kind::Link: std::filesystem::create_symlink(target, path); break;
      case Kind::DeadSocket: {
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(fd);  // the socket file stays, with nobody behind it
        break;
      }
      case Kind::LiveSocket:
        ASSERT_TRUE(other.Start(
            path, [] {}, [] {}));
        break;
    }
    const auto typeBefore = std::filesystem::symlink_status(path).type();
    Counter counter;
    AutomationServer server;
    EXPECT_EQ(server.Start(
                  path, [&] { counter.Created(); }, [&] { counter.Released(); }),
              c.served);
    if (c.served) {
      int client = Connect(path);
      EXPECT_GE(client, 0);
      EXPECT_TRUE(counter.WaitFor(1, 0));
      ::close(client);
      server.Stop();
      EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(path)));
    } else {
      EXPECT_EQ(std::filesystem::symlink_status(path).type(), typeBefore);
      std::ifstream kept(target);
      std::string line;
      EXPECT_TRUE(std::getline(kept, line) && line == "keep me");
    }
    if (c.kind == Kind::LiveSocket) {
      int client = Connect(path);  // the other program still serves there
      EXPECT_GE(client, 0);
      if (client >= 0) ::close(client);
    }
  }
}

// A file put where the socket was while the program ran is not removed when it ends.
TEST(AutomationServer, StopRemovesOnlyItsOwnSocket) {
  TempDir dir;
  const std::string path = (dir.Path() / "automation.sock").string();
  AutomationServer server;
  ASSERT_TRUE(server.Start(
      path, [] {}, [] {}));
  std::filesystem::remove(path);
  { std::ofstream(path) << "someone else's\n"; }
  server.Stop();
  EXPECT_TRUE(std::filesystem::is_regular_file(path));
}

TEST(AutomationServer, RegistrationNamesTheClassAndTheServer) {
  TempDir dir;
  setenv("ALTIVANE_REGISTRY", (dir.Path() / "registry.ini").c_str(), 1);
  ASSERT_TRUE(RegisterAutomationClass("/opt/altivane/altivane"));
  std::string value;
  ASSERT_TRUE(RegistryReadString(RegistryRoot::ClassesRoot, "ALTIVANE.Application\\CLSID", "", 256, value));
  EXPECT_EQ(value, kAutomationClsid);
  ASSERT_TRUE(RegistryReadString(RegistryRoot::ClassesRoot,
                                 std::string("CLSID\\") + kAutomationClsid + "\\LocalServer32", "", 256, value));
  EXPECT_EQ(value, "/opt/altivane/altivane --automation");
  unsetenv("ALTIVANE_REGISTRY");
}

}  // namespace

#endif  // !_WIN32
