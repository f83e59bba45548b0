#include "platform/registry.h"

#include <windows.h>

#include <vector>

#include "platform/win32/wide.h"

namespace {

// FS2004 is a 32-bit program: on 64-bit Windows its machine entries live in the 32-bit view. A
// 32-bit process sees that view anyway; the flag keeps it so if built otherwise. Class entries
// (the automation class) belong in the view of the program that serves them, which COM clients
// of the same width read: no flag there.
struct Location {
  HKEY root;
  std::wstring path;
  REGSAM view;
};

Location Locate(RegistryRoot root, const std::string& keyPath) {
  switch (root) {
    case RegistryRoot::LocalMachine: return {HKEY_LOCAL_MACHINE, Widen(keyPath), KEY_WOW64_32KEY};
    case RegistryRoot::CurrentUser: return {HKEY_CURRENT_USER, Widen(keyPath), 0};
    case RegistryRoot::ClassesRoot: return {HKEY_CLASSES_ROOT, Widen(keyPath), 0};
    case RegistryRoot::CurrentUserClasses:
      return {HKEY_CURRENT_USER, L"Software\\Classes" + (keyPath.empty() ? std::wstring() : L"\\" + Widen(keyPath)), 0};
  }
  return {HKEY_LOCAL_MACHINE, Widen(keyPath), KEY_WOW64_32KEY};
}

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

std::string RegistryStoreSuffix() { return ""; }

bool RegistryReadString(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                        std::size_t maxBytes, std::string& out) {
  OpenKey key;
  const Location where = Locate(root, keyPath);
  if (RegOpenKeyExW(where.root, where.path.c_str(), 0, KEY_QUERY_VALUE | where.view, key.Out()) != ERROR_SUCCESS)
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
  const Location where = Locate(root, keyPath);
  if (RegCreateKeyExW(where.root, where.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | where.view,
                      nullptr, key.Out(), nullptr) != ERROR_SUCCESS)
    return false;
  const std::wstring wide = Widen(value);
  const DWORD bytes = static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key.Get(), Widen(valueName).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                        bytes) == ERROR_SUCCESS;
}

bool RegistryDeleteTree(RegistryRoot root, const std::string& keyPath) {
  // RegDeleteTree works in the view of the key it is given: open the parent in ours.
  const Location where = Locate(root, keyPath);
  const auto separator = where.path.find_last_of(L'\\');
  const std::wstring parentPath = separator == std::wstring::npos ? std::wstring() : where.path.substr(0, separator);
  const std::wstring leaf = separator == std::wstring::npos ? where.path : where.path.substr(separator + 1);
  OpenKey parent;
  const LSTATUS opened =
      RegOpenKeyExW(where.root, parentPath.c_str(), 0,
                    KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | DELETE | KEY_SET_VALUE | where.view, parent.Out());
  if (opened == ERROR_FILE_NOT_FOUND) return true;
  if (opened != ERROR_SUCCESS) return false;
  const LSTATUS deleted = RegDeleteTreeW(parent.Get(), leaf.c_str());
  return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}
