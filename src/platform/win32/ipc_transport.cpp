// The Windows IPC facilities of the simulator link: a top-level window found by class, a
// registered message whose first parameter is a global atom naming a paging-file mapping.
#include "platform/ipc_transport.h"

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <thread>

// windows.h names these as macros of its A/W functions; ours are the interface's.
#undef FindWindow
#undef SendMessageTimeout
#undef AddAtom

namespace {

constexpr UINT kStopServer = WM_APP + 1;

thread_local std::uint32_t t_LastSendError = 0;

class Win32SharedMemory : public IpcSharedMemory {
 public:
  Win32SharedMemory(HANDLE mapping, std::size_t size) : m_Mapping(mapping), m_Size(size) {}
  ~Win32SharedMemory() override {
    Unmap();
    CloseHandle(m_Mapping);
  }
  std::uint8_t* Map() override {
    if (!m_View) m_View = static_cast<std::uint8_t*>(MapViewOfFile(m_Mapping, FILE_MAP_WRITE, 0, 0, m_Size));
    return m_View;
  }
  void Unmap() override {
    if (m_View) UnmapViewOfFile(m_View);
    m_View = nullptr;
  }
  std::size_t Size() const override { return m_Size; }
  bool Intact() const override { return true; }  // a section keeps the size it was created with

 private:
  HANDLE m_Mapping;
  std::size_t m_Size;
  std::uint8_t* m_View = nullptr;
};

class Win32IpcTransport : public IpcTransport {
 public:
  IpcWindow FindWindow(const char* className) override {
    if (!className || !*className) return 0;
    return reinterpret_cast<IpcWindow>(FindWindowExA(nullptr, nullptr, className, nullptr));
  }

  std::uint32_t RegisterMessage(const char* name) override { return RegisterWindowMessageA(name); }

  std::uint16_t AddAtom(const std::string& name) override { return GlobalAddAtomA(name.c_str()); }

  void DeleteAtom(std::uint16_t atom) override {
    if (atom) GlobalDeleteAtom(atom);
  }

  std::unique_ptr<IpcSharedMemory> CreateSharedMemory(const std::string& name, std::size_t size,
                                                      bool* existed) override {
    if (existed) *existed = false;
    HANDLE mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(size), name.c_str());
    if (!mapping) return nullptr;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
      if (existed) *existed = true;
      CloseHandle(mapping);
      return nullptr;
    }
    return std::make_unique<Win32SharedMemory>(mapping, size);
  }

  bool SendMessageTimeout(IpcWindow window, std::uint32_t message, std::uint16_t atom, std::uint32_t timeoutMs,
                          std::intptr_t* result) override {
    DWORD_PTR answer = 0;
    SetLastError(0);
    if (!SendMessageTimeoutA(reinterpret_cast<HWND>(window), message, atom, 0, SMTO_BLOCK, timeoutMs, &answer)) {
      t_LastSendError = GetLastError();
      // A time-out reads as 0 here, as on the other target.
      if (t_LastSendError == ERROR_TIMEOUT) t_LastSendError = 0;
      return false;
    }
    if (result) *result = static_cast<std::intptr_t>(answer);
    return true;
  }

  std::uint32_t LastError() override { return t_LastSendError; }

  std::uint32_t ProcessId() override { return GetCurrentProcessId(); }
};

// The hidden top-level window of a class, on its own thread with its own message loop.
class Win32IpcServer : public IpcServer {
 public:
  ~Win32IpcServer() override { Stop(); }

  bool Start(const std::string& className, Handler handler, std::string* error) override {
    Stop();
    auto fail = [error](const std::string& why) {
      if (error) *error = why;
      return false;
    };
    if (FindWindowExA(nullptr, nullptr, className.c_str(), nullptr))
      return fail("a window of class " + className + " is already there");
    m_ClassName = className;
    m_Handler = std::move(handler);
    m_State = State::Starting;
    m_Thread = std::thread([this] { Run(); });
    std::unique_lock lock(m_Mutex);
    m_Changed.wait(lock, [this] { return m_State != State::Starting; });
    if (m_State != State::Running) {
      lock.unlock();
      m_Thread.join();
      return fail("cannot create a window of class " + className + ": " + m_Error);
    }
    return true;
  }

  void Stop() override {
    if (!m_Thread.joinable()) return;
    {
      std::lock_guard lock(m_Mutex);
      if (m_Window) PostMessageA(m_Window, kStopServer, 0, 0);
    }
    m_Thread.join();
    std::lock_guard lock(m_Mutex);
    m_Window = nullptr;
    m_State = State::Stopped;
  }

 private:
  enum class State { Stopped, Starting, Running, Failed };

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32IpcServer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == kStopServer) {
      DestroyWindow(window);
      return 0;
    }
    if (message == WM_DESTROY) {
      PostQuitMessage(0);
      return 0;
    }
    // Registered messages (0xC000..0xFFFF) go to the handler with the name the atom holds.
    if (self && message >= 0xC000 && message <= 0xFFFF) {
      char name[256] = {};
      const UINT length = GlobalGetAtomNameA(static_cast<ATOM>(wParam), name, sizeof name);
      return static_cast<LRESULT>(self->m_Handler(message, std::string(name, length)));
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  void Run() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = m_ClassName.c_str();
    const bool registered = RegisterClassExA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    HWND window = registered ? CreateWindowExA(0, m_ClassName.c_str(), m_ClassName.c_str(), WS_POPUP, 0, 0, 0, 0,
                                               nullptr, nullptr, instance, this)
                             : nullptr;
    {
      std::lock_guard lock(m_Mutex);
      if (!window) m_Error = "error " + std::to_string(GetLastError());
      m_Window = window;
      m_State = window ? State::Running : State::Failed;
    }
    m_Changed.notify_all();
    if (window) {
      MSG message;
      while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
    }
    UnregisterClassA(m_ClassName.c_str(), instance);
  }

  std::string m_ClassName;
  Handler m_Handler;
  std::thread m_Thread;
  std::mutex m_Mutex;
  std::condition_variable m_Changed;
  State m_State = State::Stopped;
  HWND m_Window = nullptr;
  std::string m_Error;
};

}  // namespace

IpcTransport& DefaultIpcTransport() {
  static Win32IpcTransport transport;
  return transport;
}

std::unique_ptr<IpcSharedMemory> OpenIpcSharedMemory(const std::string& name, std::size_t size) {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name.c_str());
  if (!mapping) return nullptr;
  auto memory = std::make_unique<Win32SharedMemory>(mapping, size);
  std::uint8_t* view = memory->Map();
  MEMORY_BASIC_INFORMATION info{};
  if (!view || VirtualQuery(view, &info, sizeof info) == 0 || info.RegionSize < size) return nullptr;
  return memory;
}

std::unique_ptr<IpcServer> CreateIpcServer() { return std::make_unique<Win32IpcServer>(); }
