// The internet client on libcurl. A request is one easy handle driven by its own multi handle,
// so that the caller can send, look at the status and headers, and then pull the body a piece
// at a time, as with WinInet, without holding the whole body in memory.
#include "platform/internet.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "base/text.h"
#include "platform/paths.h"
#include "platform/registry.h"

namespace {

// A server that accepts the connection and then says nothing must not hang the caller.
constexpr long kConnectTimeoutSeconds = 30;
constexpr long kLowSpeedBytes = 1;
constexpr long kLowSpeedSeconds = 60;
constexpr int kPollMilliseconds = 1000;

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool SameNameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// "ftp=localhost:9203;http=localhost:9202;socks=localhost:9203" -> {ftp: localhost:9203, ...}
std::map<std::string, std::string> ParseProxyList(const std::string& list) {
  std::map<std::string, std::string> proxies;
  std::size_t pos = 0;
  while (pos <= list.size()) {
    std::size_t end = list.find_first_of("; ", pos);
    if (end == std::string::npos) end = list.size();
    const std::string entry = list.substr(pos, end - pos);
    const auto eq = entry.find('=');
    if (eq != std::string::npos && eq > 0 && eq + 1 < entry.size()) {
      std::string scheme = entry.substr(0, eq);
      for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      proxies[scheme] = entry.substr(eq + 1);
    }
    pos = end + 1;
  }
  return proxies;
}

struct SessionConfig {
  std::string agent;
  std::map<std::string, std::string> proxies;
  bool bypassLocal = false;
  bool systemProxies = false;
};

// The proxy for a server, as a curl proxy URL; "" to go direct. "<local>" sends names without
// a dot (intranet names, "localhost") direct; https without an entry of its own tunnels
// through the http proxy; any other scheme without one uses SOCKS.
std::string ProxyFor(const SessionConfig& config, const std::string& scheme, const std::string& server) {
  if (config.bypassLocal && server.find('.') == std::string::npos) return "";
  if (auto it = config.proxies.find(scheme); it != config.proxies.end()) return "http://" + it->second;
  if (scheme == "https") {
    if (auto it = config.proxies.find("http"); it != config.proxies.end()) return "http://" + it->second;
  }
  if (auto it = config.proxies.find("socks"); it != config.proxies.end()) return "socks4a://" + it->second;
  return "";
}

void SetProxy(CURL* easy, const SessionConfig& config, const std::string& scheme, const std::string& server) {
  // With the system's configuration curl reads http_proxy, https_proxy and no_proxy itself.
  if (config.systemProxies) return;
  // Set explicitly, even when empty, so that *_proxy variables of the environment never apply.
  curl_easy_setopt(easy, CURLOPT_PROXY, ProxyFor(config, scheme, server).c_str());
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
}

// curl's own words for the last failure of this thread ("SSL certificate problem: unable to
// get local issuer certificate"), kept for InternetErrorText.
thread_local int t_DetailCode = 0;
thread_local std::string t_Detail;

std::string HostForUrl(const std::string& server) {
  if (server.find(':') != std::string::npos && server.front() != '[') return "[" + server + "]";
  return server;
}

class CurlHttpRequest : public IDownloadRequest {
 public:
  CurlHttpRequest(const SessionConfig& config, std::string server, std::uint16_t port, std::string object, bool secure)
      : m_Config(config), m_Server(std::move(server)), m_Port(port), m_Object(std::move(object)), m_Secure(secure) {
    m_Headers.emplace_back("User-Agent", m_Config.agent);
  }

  ~CurlHttpRequest() override { Release(); }

  int AddRequestHeaders(const std::string& block) override {
    std::size_t pos = 0;
    while (pos < block.size()) {
      std::size_t end = block.find('\n', pos);
      if (end == std::string::npos) end = block.size();
      const std::string line(TrimHeader(std::string_view(block).substr(pos, end - pos)));
      pos = end + 1;
      const auto colon = line.find(':');
      if (line.empty() || colon == std::string::npos || colon == 0) continue;
      const std::string name(TrimHeader(std::string_view(line).substr(0, colon)));
      bool present = false;
      for (const auto& header : m_Headers) present = present || SameNameNoCase(header.first, name);
      if (!present) m_Headers.emplace_back(name, std::string(TrimHeader(std::string_view(line).substr(colon + 1))));
    }
    return 0;
  }

  int SendRequest() override {
    Release();
    GlobalInit();
    m_Multi = curl_multi_init();
    m_Easy = curl_easy_init();
    if (!m_Multi || !m_Easy) return CURLE_FAILED_INIT;
    m_Status = 0;
    m_RawHeaders.clear();
    m_HeadersDone = false;
    m_Done = false;
    m_Result = CURLE_OK;
    m_Body.clear();
    m_BodyRead = 0;

    const char* scheme = m_Secure ? "https" : "http";
    const std::string url =
        std::string(scheme) + "://" + HostForUrl(m_Server) + ":" + std::to_string(m_Port) + m_Object;
    curl_easy_setopt(m_Easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(m_Easy, CURLOPT_PROTOCOLS_STR, scheme);
    if (m_Secure) {
      // Verification stays on; the system's authorities, or a test's own.
      curl_easy_setopt(m_Easy, CURLOPT_SSL_VERIFYPEER, 1L);
      curl_easy_setopt(m_Easy, CURLOPT_SSL_VERIFYHOST, 2L);
      if (const char* caFile = std::getenv(kTestCaFileVariable); caFile && *caFile) {
        curl_easy_setopt(m_Easy, CURLOPT_CAINFO, caFile);
      }
    }
    m_ErrorBuffer[0] = '\0';
    curl_easy_setopt(m_Easy, CURLOPT_ERRORBUFFER, m_ErrorBuffer);
    curl_easy_setopt(m_Easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(m_Easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_Easy, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(m_Easy, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytes);
    curl_easy_setopt(m_Easy, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds);
    SetProxy(m_Easy, m_Config, scheme, m_Server);
    // The request's own header list replaces curl's defaults of the same names.
    for (const auto& [name, value] : m_Headers) {
      m_HeaderList = curl_slist_append(m_HeaderList, (name + ": " + value).c_str());
    }
    curl_easy_setopt(m_Easy, CURLOPT_HTTPHEADER, m_HeaderList);
    if (!m_User.empty()) {
      curl_easy_setopt(m_Easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
      curl_easy_setopt(m_Easy, CURLOPT_USERNAME, m_User.c_str());
      curl_easy_setopt(m_Easy, CURLOPT_PASSWORD, m_Password.c_str());
    }
    curl_easy_setopt(m_Easy, CURLOPT_HEADERFUNCTION, &CurlHttpRequest::OnHeader);
    curl_easy_setopt(m_Easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(m_Easy, CURLOPT_WRITEFUNCTION, &CurlHttpRequest::OnBody);
    curl_easy_setopt(m_Easy, CURLOPT_WRITEDATA, this);
    if (curl_multi_add_handle(m_Multi, m_Easy) != CURLM_OK) return CURLE_FAILED_INIT;
    m_Added = true;

    while (!m_HeadersDone && !m_Done) Drive();
    if (m_Done && m_Result != CURLE_OK && !m_HeadersDone) return Failed(m_Result);
    return 0;
  }

  int QueryStatusCode(unsigned& status) override {
    if (!m_HeadersDone) return m_Result != CURLE_OK ? m_Result : CURLE_GOT_NOTHING;
    status = m_Status;
    return 0;
  }

  int QueryRawHeaders(std::string& headers) override {
    if (!m_HeadersDone) return m_Result != CURLE_OK ? m_Result : CURLE_GOT_NOTHING;
    headers = m_RawHeaders;
    return 0;
  }

  int ReadString(char* buffer, std::size_t size, std::size_t& got) override {
    got = 0;
    if (size == 0) return 0;
    if (size == 1) {
      buffer[0] = '\0';
      return 0;
    }
    const std::size_t limit = size - 1;
    for (;;) {
      const std::size_t available = m_Body.size() - m_BodyRead;
      const char* start = m_Body.data() + m_BodyRead;
      const void* lineEnd = std::memchr(start, '\n', available < limit ? available : limit);
      std::size_t take = 0;
      if (lineEnd) {
        take = static_cast<std::size_t>(static_cast<const char*>(lineEnd) - start) + 1;
      } else if (available >= limit) {
        take = limit;
      } else if (m_Done) {
        if (available == 0 && m_Result != CURLE_OK) return Failed(m_Result);
        take = available;
      }
      if (take > 0 || m_Done) {
        std::memcpy(buffer, start, take);
        buffer[take] = '\0';
        got = take;
        m_BodyRead += take;
        // Keep the buffer small: drop what has been handed out once it is a fair share.
        if (m_BodyRead > 65536 && m_BodyRead * 2 > m_Body.size()) {
          m_Body.erase(0, m_BodyRead);
          m_BodyRead = 0;
        }
        return 0;
      }
      Drive();
    }
  }

  // There is no dialog here: credentials come from the settings. Without "HttpUser" the
  // user is taken to have cancelled.
  bool PasswordDialogAsksRetry() override {
    std::string user;
    std::string password;
    if (!RegistryReadString(RegistryRoot::CurrentUser, kInternetSettingsKey, "HttpUser", 256, user) || user.empty()) {
      return false;
    }
    RegistryReadString(RegistryRoot::CurrentUser, kInternetSettingsKey, "HttpPassword", 256, password);
    m_User = user;
    m_Password = password;
    return true;
  }

 private:
  int Failed(int code) {
    t_DetailCode = code;
    t_Detail = m_ErrorBuffer;
    return code;
  }

  void Release() {
    if (m_Multi && m_Easy && m_Added) curl_multi_remove_handle(m_Multi, m_Easy);
    m_Added = false;
    if (m_Easy) curl_easy_cleanup(m_Easy);
    m_Easy = nullptr;
    if (m_Multi) curl_multi_cleanup(m_Multi);
    m_Multi = nullptr;
    if (m_HeaderList) curl_slist_free_all(m_HeaderList);
    m_HeaderList = nullptr;
  }

  // Runs the transfer a step: until something arrived or a poll interval passed.
  void Drive() {
    if (m_Done) return;
    const bool headersBefore = m_HeadersDone;
    const std::size_t bodyBefore = m_Body.size();
    int running = 0;
    const CURLMcode rc = curl_multi_perform(m_Multi, &running);
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(m_Multi, &queued)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == m_Easy) {
        m_Done = true;
        m_Result = msg->data.result;
      }
    }
    if (rc != CURLM_OK && !m_Done) {
      m_Done = true;
      m_Result = CURLE_FAILED_INIT;
    }
    if (m_Done || m_HeadersDone != headersBefore || m_Body.size() != bodyBefore) return;
    curl_multi_poll(m_Multi, nullptr, 0, kPollMilliseconds, nullptr);
  }

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* self = static_cast<CurlHttpRequest*>(user);
    const std::size_t bytes = size * count;
    std::string line(data, bytes);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.compare(0, 5, "HTTP/") == 0) {
      // A new answer (after an interim 1xx one): its headers replace what came before.
      self->m_RawHeaders.clear();
      const auto space = line.find(' ');
      self->m_Status = 0;
      if (space != std::string::npos) {
        for (std::size_t i = space + 1; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
          self->m_Status = self->m_Status * 10 + static_cast<unsigned>(line[i] - '0');
        }
      }
    }
    self->m_RawHeaders += line + "\r\n";
    if (line.empty() && self->m_Status >= 200) self->m_HeadersDone = true;
    return bytes;
  }

  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* self = static_cast<CurlHttpRequest*>(user);
    self->m_HeadersDone = true;
    self->m_Body.append(data, size * count);
    return size * count;
  }

  const SessionConfig& m_Config;
  std::string m_Server;
  std::uint16_t m_Port;
  std::string m_Object;
  bool m_Secure;
  char m_ErrorBuffer[CURL_ERROR_SIZE] = {};
  std::vector<std::pair<std::string, std::string>> m_Headers;
  std::string m_User;
  std::string m_Password;

  CURLM* m_Multi = nullptr;
  CURL* m_Easy = nullptr;
  curl_slist* m_HeaderList = nullptr;
  bool m_Added = false;

  unsigned m_Status = 0;
  std::string m_RawHeaders;
  bool m_HeadersDone = false;
  bool m_Done = false;
  int m_Result = CURLE_OK;
  std::string m_Body;
  std::size_t m_BodyRead = 0;
};

// The local file of an FTP fetch, created with the first data (or at the end, empty), so that
// a fetch that fails at once leaves no file behind.
struct FtpTarget {
  std::string path;
  std::FILE* file = nullptr;
  bool failed = false;

  bool Open() {
    if (!file && !failed) {
      file = std::fopen(NativePath(path).c_str(), "wb");
      failed = file == nullptr;
    }
    return file != nullptr;
  }
};

std::size_t WriteToFile(char* data, std::size_t size, std::size_t count, void* user) {
  auto* target = static_cast<FtpTarget*>(user);
  if (!target->Open()) return 0;
  return std::fwrite(data, size, count, target->file);
}

class CurlSession : public IDownloadSession {
 public:
  explicit CurlSession(SessionConfig config) : m_Config(std::move(config)) {}

  int OpenHttpRequest(const std::string& server, std::uint16_t port, const std::string& object, bool secure,
                      std::unique_ptr<IDownloadRequest>& out) override {
    if (server.empty()) return CURLE_URL_MALFORMAT;
    out = std::make_unique<CurlHttpRequest>(m_Config, server, port, object.empty() ? "/" : object, secure);
    return 0;
  }

  int FtpGetFile(const std::string& server, std::uint16_t port, const std::string& remotePath,
                 const std::string& localPath) override {
    GlobalInit();
    CURL* easy = curl_easy_init();
    if (!easy) return CURLE_FAILED_INIT;
    FtpTarget target{localPath};
    const std::string path = remotePath.empty() || remotePath.front() != '/' ? "/" + remotePath : remotePath;
    const std::string url = "ftp://" + HostForUrl(server) + ":" + std::to_string(port) + path;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(easy, CURLOPT_FTPPORT, "-");  // active mode
    curl_easy_setopt(easy, CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytes);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds);
    SetProxy(easy, m_Config, "ftp", server);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &WriteToFile);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &target);
    CURLcode rc = curl_easy_perform(easy);
    curl_easy_cleanup(easy);
    if (rc == CURLE_OK && !target.Open()) rc = CURLE_WRITE_ERROR;
    if (target.file && std::fclose(target.file) != 0 && rc == CURLE_OK) rc = CURLE_WRITE_ERROR;
    return rc;
  }

 private:
  SessionConfig m_Config;
};

}  // namespace

int OpenInternetSession(const InternetSessionSettings& settings, std::unique_ptr<IDownloadSession>& out) {
  SessionConfig config;
  config.agent = settings.agent;
  config.proxies = ParseProxyList(settings.proxyList);
  config.bypassLocal = settings.bypass.find("<local>") != std::string::npos;
  config.systemProxies = settings.systemProxies;
  out = std::make_unique<CurlSession>(std::move(config));
  return 0;
}

std::string InternetErrorText(int error) {
  std::string text = curl_easy_strerror(static_cast<CURLcode>(error));
  if (t_DetailCode != error || t_Detail.empty() || t_Detail == text) return text;
  // "SSL certificate problem: self-signed certificate" says it all.
  if (error == CURLE_PEER_FAILED_VERIFICATION) return t_Detail;
  return text + ": " + t_Detail;
}

InternetFailure ClassifyInternetError(int error) {
  switch (static_cast<CURLcode>(error)) {
    case CURLE_COULDNT_CONNECT: return InternetFailure::kRefused;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST: return InternetFailure::kNotFound;
    case CURLE_OPERATION_TIMEDOUT: return InternetFailure::kTimedOut;
    case CURLE_PEER_FAILED_VERIFICATION: return InternetFailure::kCertificate;
    default: return InternetFailure::kOther;
  }
}
