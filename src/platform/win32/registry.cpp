#include "platform/registry.h"

#include <windows.h>

#include <vector>

#include "platform/win32/wide.h"

namespace {

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::CurrentUser: return HKEY_CURRENT_USER;
    case RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
  }
  return HKEY_LOCAL_MACHINE;
}

// FS2004 is a 32-bit program: on 64-bit Windows its machine entries live in the 32-bit view. A
// 32-bit process sees that view anyway; the flag keeps it so if built otherwise. Class entries
// (the automation class) belong in the view of the program that serves them, which COM clients
// of the same width read: no flag there.
REGSAM View(RegistryRoot root) { return root == RegistryRoot::LocalMachine ? KEY_WOW64_32KEY : 0; }

class OpenKey {
 public:
  ~OpenKey() {
    if (m_Key) RegCloseKey(m_Key);
  }
  HKEY* Out() { return &m_Key; }
  HKEY Get() const { return m_Key; }

 private:
  HKEY m_Key = nullptr;
};

}  // namespace

bool RegistryReadString(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                        std::size_t maxBytes, std::string& out) {
  OpenKey key;
  if (RegOpenKeyExW(RootKey(root), Widen(keyPath).c_str(), 0, KEY_QUERY_VALUE | View(root), key.Out()) != ERROR_SUCCESS)
    return false;
  const std::wstring name = Widen(valueName);
  DWORD type = 0;
  DWORD bytes = 0;
  if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  // One spare character: a stored string need not carry its terminating zero.
  std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
  DWORD got = bytes;
  if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got) !=
      ERROR_SUCCESS)
    return false;
  std::size_t length = got / sizeof(wchar_t);
  if (length > buffer.size() - 1) length = buffer.size() - 1;
  std::wstring wide(buffer.data(), length);
  if (auto zero = wide.find(L'\0'); zero != std::wstring::npos) wide.resize(zero);
  std::string value = Narrow(wide);
  if (value.size() + 1 > maxBytes) return false;
  out = value;
  return true;
}

bool RegistryWriteString(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                         const std::string& value) {
  OpenKey key;
  if (RegCreateKeyExW(RootKey(root), Widen(keyPath).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE | View(root), nullptr, key.Out(), nullptr) != ERROR_SUCCESS)
    return false;
  const std::wstring wide = Widen(value);
  const DWORD bytes = static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key.Get(), Widen(valueName).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                        bytes) == ERROR_SUCCESS;
}
