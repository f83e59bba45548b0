#pragma once
// The inter-process facilities the simulator link needs, as one small interface with one
// implementation per target:
//
//   operation            win32                              posix stand-in
//   FindWindow           FindWindowEx(class)                Unix-domain socket "<class>.sock" in
//                                                           IpcDirectory() that accepts a connection
//   RegisterMessage      RegisterWindowMessage              a fixed hash of the name (0xC000..0xFFFF)
//   AddAtom/DeleteAtom   GlobalAddAtom/GlobalDeleteAtom     a table of this process; the send
//                                                           carries the atom's name instead
//   CreateSharedMemory   CreateFileMapping (paging file)    shm_open(O_CREAT|O_EXCL) + ftruncate;
//                                                           the name gets a leading '/'
//   SendMessageTimeout   SendMessageTimeout(SMTO_BLOCK)     connect, one request frame, poll for the
//                                                           one reply frame until the time-out; a
//                                                           reply stamped after it is a time-out
//   LastError            GetLastError                       errno of the failed send, 0 on time-out
//
// The server side (the simulator's window) is IpcServer below, built by CreateIpcServer(); its
// handler gets the message and the shared-memory name the atom stands for, whatever the target.
// Both halves are picked by CMake: platform/posix/ipc_transport.cpp or platform/win32/....
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// A window found by FindWindow; 0 is "none". On win32 it is the HWND's value.
using IpcWindow = std::uintptr_t;

// A named shared-memory object created or opened by this process. Destroying it unmaps the
// view and releases the object (posix: the creator also unlinks the name).
class IpcSharedMemory {
 public:
  virtual ~IpcSharedMemory() = default;
  // Maps a writable view of the whole object; nullptr when that fails. Mapping again returns
  // the same view.
  virtual std::uint8_t* Map() = 0;
  virtual void Unmap() = 0;
  virtual std::size_t Size() const = 0;
  // True while the object still has its full size. A posix peer can shrink the object under
  // the view, and touching a page past the new end kills this process (SIGBUS), so every use
  // of the view asks first.
  virtual bool Intact() const = 0;
};

class IpcTransport {
 public:
  virtual ~IpcTransport() = default;
  // The top-level window of this class, 0 when there is none.
  virtual IpcWindow FindWindow(const char* className) = 0;
  // The process-independent id of a message name, 0 on failure.
  virtual std::uint32_t RegisterMessage(const char* name) = 0;
  // A global atom holding the name, 0 on failure; DeleteAtom(0) does nothing.
  virtual std::uint16_t AddAtom(const std::string& name) = 0;
  virtual void DeleteAtom(std::uint16_t atom) = 0;
  // Creates a new object of `size` bytes. nullptr on failure; *existed is set when an object of
  // that name was already there (that object is left alone).
  virtual std::unique_ptr<IpcSharedMemory> CreateSharedMemory(const std::string& name, std::size_t size,
                                                              bool* existed) = 0;
  // Sends `message` with the atom as first parameter and 0 as second and waits for the window's
  // answer at most timeoutMs. False when the send failed or timed out; LastError() then tells
  // which (0 after a time-out). *result is the window's answer on success.
  virtual bool SendMessageTimeout(IpcWindow window, std::uint32_t message, std::uint16_t atom, std::uint32_t timeoutMs,
                                  std::intptr_t* result) = 0;
  // The error of the calling thread's last failed send.
  virtual std::uint32_t LastError() = 0;
  virtual std::uint32_t ProcessId() = 0;
};

// The transport of this target, shared by the whole process.
IpcTransport& DefaultIpcTransport();

// Opens an existing shared-memory object by the name its creator gave it (the server's side);
// nullptr when there is none of that name or it is smaller than `size`.
std::unique_ptr<IpcSharedMemory> OpenIpcSharedMemory(const std::string& name, std::size_t size);

// The simulator's side: a top-level "window" of a class that answers messages.
class IpcServer {
 public:
  // Called on the server's one thread for every message, one at a time, with the name the
  // sender's atom holds (empty when it holds none). Returns the message result.
  using Handler = std::function<std::intptr_t(std::uint32_t message, const std::string& atomName)>;
  virtual ~IpcServer() = default;
  // Creates the window and starts answering; false (with a reason) when the class cannot be
  // created, for example because another live window already has it.
  virtual bool Start(const std::string& className, Handler handler, std::string* error) = 0;
  // Removes the window; a message being handled is finished first, waiting senders fail.
  virtual void Stop() = 0;
};

std::unique_ptr<IpcServer> CreateIpcServer();

#if !defined(_WIN32)
// Folder of the posix stand-in's sockets: $ALTIVANE_IPC_DIR, else /tmp/altivane-ipc-<uid>.
std::string IpcDirectory();
// Shared-memory names may not hold '/' after the leading one: "FsasmLib:IPC:1A:2" -> "/FsasmLib:IPC:1A:2".
std::string PosixSharedMemoryName(const std::string& name);
#endif
