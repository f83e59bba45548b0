// The internet client on WinInet.
#include "platform/internet.h"

#include <windows.h>
#include <wininet.h>
#undef FtpGetFile  // ours is the interface's operation; the API is called as FtpGetFileW

#include <cctype>
#include <utility>
#include <vector>

#include "platform/paths.h"
#include "platform/win32/internet_flags.h"
#include "platform/win32/wide.h"

namespace {

int LastError() {
  const DWORD error = GetLastError();
  return error ? static_cast<int>(error) : static_cast<int>(ERROR_INTERNET_INTERNAL_ERROR);
}

class Handle {
 public:
  explicit Handle(HINTERNET handle = nullptr) : m_Handle(handle) {}
  ~Handle() {
    if (m_Handle) InternetCloseHandle(m_Handle);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HINTERNET Get() const { return m_Handle; }
  void Reset(HINTERNET handle) {
    if (m_Handle) InternetCloseHandle(m_Handle);
    m_Handle = handle;
  }

 private:
  HINTERNET m_Handle;
};

bool SameNameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// WinInet takes the entries of a proxy list separated by spaces or by ';', but Wine's only
// by spaces, so they go out with spaces:
// "ftp=localhost:9203;http=localhost:9202" -> "ftp=localhost:9203 http=localhost:9202"
std::string SpaceSeparated(std::string list) {
  for (char& c : list) {
    if (c == ';') c = ' ';
  }
  return list;
}

class WinInetRequest : public IDownloadRequest {
 public:
  WinInetRequest(HINTERNET connection, HINTERNET request) : m_Connection(connection), m_Request(request) {}

  int AddRequestHeaders(const std::string& block) override {
    std::size_t pos = 0;
    while (pos < block.size()) {
      std::size_t end = block.find('\n', pos);
      if (end == std::string::npos) end = block.size();
      std::string line = block.substr(pos, end - pos);
      pos = end + 1;
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
      const auto colon = line.find(':');
      if (colon == std::string::npos || colon == 0) continue;
      std::string name = line.substr(0, colon);
      while (!name.empty() && name.back() == ' ') name.pop_back();
      // The session's agent is the User-Agent; WinInet would add it only after this block.
      if (SameNameNoCase(name, "User-Agent")) continue;
      const std::wstring header = Widen(line + "\r\n");
      if (!HttpAddRequestHeadersW(m_Request.Get(), header.c_str(), static_cast<DWORD>(header.size()),
                                  HTTP_ADDREQ_FLAG_ADD_IF_NEW) &&
          GetLastError() != ERROR_HTTP_HEADER_ALREADY_EXISTS)
        return LastError();
    }
    return 0;
  }

  int SendRequest() override {
    m_Pending.clear();
    m_Next = 0;
    m_Ended = false;
    m_DeferredError = 0;
    if (!HttpSendRequestW(m_Request.Get(), nullptr, 0, nullptr, 0)) return LastError();
    m_Received = 0;
    DWORD length = 0;
    DWORD size = sizeof length;
    m_HasLength = HttpQueryInfoW(m_Request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size,
                                 nullptr) != FALSE;
    m_Length = length;
    return 0;
  }

  int QueryStatusCode(unsigned& status) override {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (!HttpQueryInfoW(m_Request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr))
      return LastError();
    status = value;
    return 0;
  }

  int QueryRawHeaders(std::string& headers) override {
    DWORD size = 0;
    HttpQueryInfoW(m_Request.Get(), HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &size, nullptr);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return LastError();
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (!HttpQueryInfoW(m_Request.Get(), HTTP_QUERY_RAW_HEADERS_CRLF, buffer.data(), &size, nullptr))
      return LastError();
    headers = Narrow(std::wstring(buffer.data(), size / sizeof(wchar_t)));
    return 0;
  }

  int ReadString(char* buffer, std::size_t size, std::size_t& got) override {
    got = 0;
    if (size == 0) return 0;
    const std::size_t limit = size - 1;
    if (m_DeferredError) {
      buffer[0] = '\0';
      return std::exchange(m_DeferredError, 0);
    }
    while (got < limit) {
      if (m_Next == m_Pending.size()) {
        if (m_Ended) break;
        if (int error = Fill()) {
          buffer[got] = '\0';
          // What came before the failure goes out first; the failure with the next call.
          if (got == 0) return error;
          m_DeferredError = error;
          return 0;
        }
        continue;
      }
      const char c = m_Pending[m_Next++];
      buffer[got++] = c;
      if (c == '\n') break;
    }
    buffer[got] = '\0';
    return 0;
  }

  bool PasswordDialogAsksRetry() override {
    const DWORD answer = InternetErrorDlg(
        GetDesktopWindow(), m_Request.Get(), ERROR_INTERNET_INCORRECT_PASSWORD,
        FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS,
        nullptr);
    return answer == ERROR_INTERNET_FORCE_RETRY;
  }

 private:
  int Fill() {
    m_Pending.resize(4096);
    m_Next = 0;
    DWORD read = 0;
    if (!InternetReadFile(m_Request.Get(), m_Pending.data(), static_cast<DWORD>(m_Pending.size()), &read)) {
      m_Pending.clear();
      return LastError();
    }
    m_Pending.resize(read);
    m_Received += read;
    if (read == 0) {
      m_Ended = true;
      // WinInet reports a connection closed before the announced length as a plain end.
      if (m_HasLength && m_Received < m_Length) return ERROR_INTERNET_CONNECTION_RESET;
    }
    return 0;
  }

  Handle m_Connection;  // closed after the request (members go in reverse order)
  Handle m_Request;
  std::vector<char> m_Pending;
  std::size_t m_Next = 0;
  bool m_Ended = false;
  int m_DeferredError = 0;
  bool m_HasLength = false;
  std::uint64_t m_Length = 0;
  std::uint64_t m_Received = 0;
};

}  // namespace

unsigned long RequestFlags(bool secure) {
  const unsigned long flags = INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD |
                              INTERNET_FLAG_NO_CACHE_WRITE;
  return secure ? flags | INTERNET_FLAG_SECURE : flags;
}

namespace {

// "<local>" in the bypass list: names without a dot are reached directly.
bool BypassesProxy(const std::string& bypass, const std::string& server) {
  return bypass.find("<local>") != std::string::npos && server.find('.') == std::string::npos;
}

class WinInetSession : public IDownloadSession {
 public:
  WinInetSession(HINTERNET session, InternetSessionSettings settings)
      : m_Session(session), m_Settings(std::move(settings)) {}

  int OpenHttpRequest(const std::string& server, std::uint16_t port, const std::string& object, bool secure,
                      std::unique_ptr<IDownloadRequest>& out) override {
    HINTERNET connection =
        InternetConnectW(m_Session.Get(), Widen(server).c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!connection) return LastError();
    // Always from the server, never from WinInet's cache: the current hour's file changes
    // while the hour runs, and the program keeps its own copies in the weather folder.
    // Secure: TLS with the certificate checked by the system; no flag ever lets a bad one pass.
    HINTERNET request =
        HttpOpenRequestW(connection, L"GET", Widen(object).c_str(), nullptr, nullptr, nullptr, RequestFlags(secure), 0);
    if (!request) {
      const int error = LastError();
      InternetCloseHandle(connection);
      return error;
    }
    out = std::make_unique<WinInetRequest>(connection, request);
    return 0;
  }

  int FtpGetFile(const std::string& server, std::uint16_t port, const std::string& remotePath,
                 const std::string& localPath) override {
    // Wine's FTP ignores the bypass list and the per-scheme entries, so a server the bypass
    // names gets a session without proxies of its own, as WinInet on Windows would treat it.
    HINTERNET session = m_Session.Get();
    Handle direct;
    if (BypassesProxy(m_Settings.bypass, server)) {
      direct.Reset(InternetOpenW(Widen(m_Settings.agent).c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
      if (!direct.Get()) return LastError();
      session = direct.Get();
    }
    Handle connection(
        InternetConnectW(session, Widen(server).c_str(), port, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 0));
    if (!connection.Get()) return LastError();
    if (!FtpGetFileW(connection.Get(), Widen(remotePath).c_str(), NativePath(localPath).c_str(), FALSE,
                     FILE_ATTRIBUTE_NORMAL, FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD, 0))
      return LastError();
    return 0;
  }

 private:
  Handle m_Session;
  InternetSessionSettings m_Settings;
};

}  // namespace

int OpenInternetSession(const InternetSessionSettings& settings, std::unique_ptr<IDownloadSession>& out) {
  const std::wstring proxies = Widen(SpaceSeparated(settings.proxyList));
  const std::wstring bypass = Widen(settings.bypass);
  HINTERNET session =
      settings.systemProxies
          ? InternetOpenW(Widen(settings.agent).c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)
          : InternetOpenW(Widen(settings.agent).c_str(), INTERNET_OPEN_TYPE_PROXY, proxies.c_str(), bypass.c_str(), 0);
  if (!session) return LastError();
  out = std::make_unique<WinInetSession>(session, settings);
  return 0;
}

std::string InternetErrorText(int error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                                          FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      GetModuleHandleW(L"wininet.dll"), static_cast<DWORD>(error), 0,
                                      reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::wstring message = length && text ? std::wstring(text, length) : std::wstring();
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
    message.pop_back();
  if (message.empty()) return "Unknown error " + std::to_string(error);
  return Narrow(message);
}

InternetFailure ClassifyInternetError(int error) {
  switch (error) {
    case ERROR_INTERNET_CANNOT_CONNECT: return InternetFailure::kRefused;
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return InternetFailure::kNotFound;
    case ERROR_INTERNET_TIMEOUT: return InternetFailure::kTimedOut;
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_INVALID_CERT: return InternetFailure::kCertificate;
    default: return InternetFailure::kOther;
  }
}
