#pragma once
// The automation class "ALTIVANE.Application": its registration entries, and the server that
// lets clients hold objects of it. The object has no methods; holding one keeps the program
// running. On Windows a COM class factory; elsewhere a local socket, one object per connection.
#include <functional>
#include <memory>
#include <string>

inline constexpr const char* kAutomationProgId = "ALTIVANE.Application";
inline constexpr const char* kAutomationClsid = "{6E1D5C2A-3B7F-4F0A-9C51-2A8E7D4B9F10}";
inline constexpr const char* kAutomationDispatchIid = "{A3C94E27-58D1-4B6C-8F02-D7E1B6A5C934}";

// Writes the class's registration entries (programmatic name, class identifier, server path).
// On Windows they are the current user's (HKEY_CURRENT_USER\Software\Classes).
bool RegisterAutomationClass(const std::string& serverPath);
#if defined(_WIN32)
// Removes every entry RegisterAutomationClass writes. True when none is left.
bool UnregisterAutomationClass();
#endif

class AutomationServer {
 public:
  using Callback = std::function<void()>;
  AutomationServer();
  ~AutomationServer();
  AutomationServer(const AutomationServer&) = delete;
  AutomationServer& operator=(const AutomationServer&) = delete;

  // Starts serving at endpoint (on Linux a socket path). onCreate runs when a client creates an
  // object, onRelease when it lets the object go; both on the server's own thread.
  bool Start(const std::string& endpoint, Callback onCreate, Callback onRelease);
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_Impl;
};
