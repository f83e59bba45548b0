#pragma once
// The internet client: exactly what the URL download needs from the platform. WinInet on
// Windows, libcurl elsewhere. One session serves one download; every object is released by
// its destructor (a request before its session).
//
// Failures are error numbers of the platform layer (0 = success): WinInet's ERROR_INTERNET_*
// numbers on Windows, CURLcode values elsewhere. InternetErrorText gives the message of one.
//
// How the download uses it: OpenInternetSession; then either FtpGetFile, or OpenHttpRequest,
// AddRequestHeaders, SendRequest, QueryStatusCode; on 401 PasswordDialogAsksRetry and, when
// it says so, SendRequest and QueryStatusCode once more; on 301/302/303 QueryRawHeaders, the
// request released and a second request opened the same way; finally ReadString until it
// gives nothing.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Where the settings of the internet client live (HKEY_CURRENT_USER): the proxy ports and
// server host names read by the acquisition, and on posix the stand-in password dialog's
// "HttpUser" / "HttpPassword".
inline constexpr const char* kInternetSettingsKey = "Software\\Altivane\\Internet";

enum class InternetService { Other, Http, Https, Ftp };

struct InternetUrl {
  InternetService service = InternetService::Other;
  std::string server;
  std::string object;  // path and query, "/" when the URL has none
  std::uint16_t port = 0;
};

// Splits "scheme://server[:port][/object]". False when the text is no URL (no "://", empty
// server, a bad port). Schemes other than http, https and ftp parse as Other.
// Portable (platform/internet.cpp).
bool ParseInternetUrl(const std::string& url, InternetUrl& out);

struct InternetSessionSettings {
  std::string agent;      // "Altivane/0.1"
  std::string proxyList;  // per-scheme proxies: "ftp=localhost:9203;http=localhost:9202;socks=localhost:9203"
  std::string bypass;     // "<local>": servers whose name has no dot are reached directly
  // The system's proxy configuration instead of the list (Windows: the user's internet
  // settings; elsewhere the http_proxy / https_proxy / no_proxy environment variables).
  bool systemProxies = false;
};

// Test builds only: a PEM file of certificate authorities trusted for https besides the
// system's (on posix in place of them). Certificates are always verified.
inline constexpr const char* kTestCaFileVariable = "ALTIVANE_TEST_CA_FILE";

// One HTTP GET request on its own connection. The platform never follows a redirection:
// the caller sees 301/302/303 and their headers.
class IDownloadRequest {
 public:
  virtual ~IDownloadRequest() = default;
  // Adds each header of a "Name: value\r\n" block unless a header of that name is already
  // on the request (the session's agent counts as User-Agent).
  virtual int AddRequestHeaders(const std::string& block) = 0;
  // Sends the request (again, when called a second time) and waits for the status line and
  // the headers of the answer.
  virtual int SendRequest() = 0;
  virtual int QueryStatusCode(unsigned& status) = 0;
  // The response headers as one text, status line first, each line ending in CR LF.
  virtual int QueryRawHeaders(std::string& headers) = 0;
  // Reads the next piece of the body: at most size - 1 characters, ending after a '\n' when
  // one comes first, zero-terminated. got is 0 at the end of the body.
  virtual int ReadString(char* buffer, std::size_t size, std::size_t& got) = 0;
  // The platform's dialog for a rejected password (ERROR_INTERNET_INCORRECT_PASSWORD, no
  // parent window). True when the user asked to send the request again with new credentials.
  virtual bool PasswordDialogAsksRetry() = 0;
};

class IDownloadSession {
 public:
  virtual ~IDownloadSession() = default;
  // Connects to server:port and opens a GET request for object (keep-connection, no
  // automatic redirection, answered by the server itself and never by a local cache); secure:
  // over TLS, the server's certificate verified against the system's authorities.
  virtual int OpenHttpRequest(const std::string& server, std::uint16_t port, const std::string& object, bool secure,
                              std::unique_ptr<IDownloadRequest>& out) = 0;
  // Anonymous FTP to server:port, active mode, binary: copies the remote file into localPath
  // (a path in the program's own form), replacing it. A fetch that fails is an error.
  virtual int FtpGetFile(const std::string& server, std::uint16_t port, const std::string& remotePath,
                         const std::string& localPath) = 0;
};

int OpenInternetSession(const InternetSessionSettings& settings, std::unique_ptr<IDownloadSession>& out);

// The platform's message text for an error number of this layer.
std::string InternetErrorText(int error);

// The failures a user can act on, told apart from the rest.
enum class InternetFailure { kOther, kRefused, kNotFound, kTimedOut, kCertificate };
InternetFailure ClassifyInternetError(int error);
