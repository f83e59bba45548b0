#include "acquire/url_downloader.h"

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <memory>

#include "acquire/internet_settings.h"
#include "acquire/weather_files.h"
#include "platform/internet.h"
#include "platform/paths.h"

namespace {

constexpr const char* kRequestHeaders = "Accept: text/*\r\nUser-Agent: Mozilla\r\n";
constexpr std::size_t kBufferSize = 1024;
constexpr std::size_t kMaxMessageChars = kBufferSize - 1;

// An error of the internet layer, with its number.
struct InternetLayerError {
  int code;
};

void Check(int error) {
  if (error != 0) throw InternetLayerError{error};
}

std::string Format(const char* format, int value) {
  char text[128];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// "HTTP/1.1 302 Found\r\nLocation: http://b/x\r\n\r\n" -> "http://b/x"
bool FindLocation(const std::string& headers, std::string& location) {
  const std::string key = "Location: ";
  const auto start = headers.find(key);
  if (start == std::string::npos) return false;
  const auto valueStart = start + key.size();
  auto end = headers.find_first_of("\r\n", valueStart);
  if (end == std::string::npos) end = headers.size();
  location = headers.substr(valueStart, end - valueStart);
  return true;
}

// A name beside the local file that no other download of this or another program uses:
// "...\\20031206_1400Z.TXT" -> "...\\20031206_1400Z.TXT.1a2b3c4d-1.part".
std::string TemporaryNameFor(const std::string& localPath) {
  static std::atomic<unsigned> counter{0};
  const auto clock = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".%llx-%u.part", clock, ++counter);
  return localPath + suffix;
}

std::unique_ptr<IDownloadRequest> OpenRequest(IDownloadSession& session, const InternetUrl& url) {
  std::unique_ptr<IDownloadRequest> request;
  Check(session.OpenHttpRequest(url.server, url.port, url.object, url.service == InternetService::Https, request));
  Check(request->AddRequestHeaders(kRequestHeaders));
  Check(request->SendRequest());
  return request;
}

// Where a request to url connects: the program's proxy on the local machine, or the server
// itself for a name without a dot (the proxy bypass "<local>") and with the system's proxies.
std::string ConnectionTarget(const InternetUrl& url, const AcquireSettings& settings, bool localProxies) {
  if (!localProxies || url.server.find('.') == std::string::npos)
    return "server " + url.server + ":" + std::to_string(url.port);
  const int port = url.service == InternetService::Ftp ? settings.ftpProxyPort : settings.httpProxyPort;
  return "proxy localhost:" + std::to_string(port);
}

// "Error: Got status code 404" -> "got status code 404."
std::string SentenceOf(std::string text) {
  if (text.rfind("Error: ", 0) == 0) text.erase(0, 7);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  if (!text.empty() && text.back() != '.') text += '.';
  return text;
}

}  // namespace

DownloadResult CURLDownloader::DownloadToFile(std::string url, std::string localPath) {
  std::unique_ptr<IDownloadSession> session;
  std::unique_ptr<IDownloadRequest> request;
  std::FILE* file = nullptr;
  const std::string partPath = TemporaryNameFor(localPath);
  bool partWritten = false;
  DownloadResult result = kDownloadDone;
  m_nStatusCode = 0;
  const AcquireSettings settings = ReadAcquireSettings();
  const bool localProxies = m_bLocalProxies || settings.useLocalProxies;
  InternetUrl parsed;
  try {
    Check(OpenInternetSession(DownloadSessionSettings(settings, localProxies), session));

    if (!ParseInternetUrl(url, parsed) || parsed.service == InternetService::Other) {
      m_strError = "Could not parse the URL: " + url;
      throw CURLDown2FileException(kDownloadRefused);
    }

    if (parsed.service == InternetService::Ftp) {
      // The URL's port counts (ftp://host:2121/...); 21 when it names none.
      partWritten = true;
      Check(session->FtpGetFile(parsed.server, parsed.port, parsed.object, partPath));
      KeepAs(partPath, localPath);
      partWritten = false;
      return kDownloadDone;
    }

    request = OpenRequest(*session, parsed);
    unsigned status = 0;
    Check(request->QueryStatusCode(status));

    if (status == 401) {
      if (!request->PasswordDialogAsksRetry()) {
        m_strError = "Access denied: Invalid password\n";
        throw CURLDown2FileException(kDownloadRefused);
      }
      Check(request->SendRequest());
      Check(request->QueryStatusCode(status));
    }

    if (status == 301 || status == 302 || status == 303) {
      std::string headers;
      Check(request->QueryRawHeaders(headers));
      std::string location;
      if (!FindLocation(headers, location)) {
        m_strError = "Error: Site redirects with no new location";
        throw CURLDown2FileException(kDownloadFailed);
      }
      request.reset();
      InternetUrl target;
      if (!ParseInternetUrl(location, target)) {
        m_strError = "Error: the redirected URL could not be parsed.";
        throw CURLDown2FileException(kDownloadFailed);
      }
      // http may lead to https, never the other way round.
      if ((target.service != InternetService::Http && target.service != InternetService::Https) ||
          (parsed.service == InternetService::Https && target.service != InternetService::Https)) {
        m_strError = "Error: the redirected URL does not reference a HTTP resource.";
        throw CURLDown2FileException(kDownloadFailed);
      }
      parsed = target;
      request = OpenRequest(*session, target);
      Check(request->QueryStatusCode(status));
      if (status != 200) {
        m_strError = Format("Error: Got status code %d", static_cast<int>(status));
        throw CURLDown2FileException(kDownloadFailed);
      }
    }

    std::fprintf(stderr, "Status Code is %u\n", status);
    m_nStatusCode = status;
    if (m_bSaveOnlyOk && status != 200) return kDownloadDone;

    // Text mode: a line feed becomes the platform's line end.
    file = OpenNativeFile(partPath, "w");
    partWritten = file != nullptr;
    if (!file) {
      m_strError = "Error: cannot create the local file " + localPath;
      throw CURLDown2FileException(kDownloadFailed);
    }
    char buffer[kBufferSize];
    for (;;) {
      std::size_t got = 0;
      Check(request->ReadString(buffer, sizeof buffer, got));
      if (got == 0) break;
      if (std::fwrite(buffer, 1, got, file) != got) {
        m_strError = "Error: cannot write the local file " + localPath;
        throw CURLDown2FileException(kDownloadFailed);
      }
    }
    const bool closed = std::fclose(file) == 0;
    file = nullptr;
    if (!closed) {
      m_strError = "Error: cannot write the local file " + localPath;
      throw CURLDown2FileException(kDownloadFailed);
    }
    std::string why;
    if (m_fnCheckBody && !m_fnCheckBody(partPath, why)) {
      m_strError = "Error: " + why;
      throw CURLDown2FileException(kDownloadFailed);
    }
    KeepAs(partPath, localPath);
    partWritten = false;
  } catch (const CURLDown2FileException& e) {
    result = e.m_nCode;
    m_strReason = SentenceOf(m_strError);
  } catch (const InternetLayerError& e) {
    std::string message = InternetErrorText(e.code);
    if (message.size() > kMaxMessageChars) message.resize(kMaxMessageChars);
    m_strError = Format("Error: (%d) ", e.code) + message;
    result = kDownloadFailed;
    switch (ClassifyInternetError(e.code)) {
      case InternetFailure::kRefused:
        m_strReason = ConnectionTarget(parsed, settings, localProxies) + " refused the connection.";
        break;
      case InternetFailure::kNotFound:
        m_strReason = localProxies && parsed.server.find('.') == std::string::npos
                          ? ConnectionTarget(parsed, settings, localProxies) + " not found."
                          : "server " + parsed.server + " not found.";
        break;
      case InternetFailure::kCertificate:
        m_strReason = message;
        while (!m_strReason.empty() && (m_strReason.back() == '.' || m_strReason.back() == ' ')) m_strReason.pop_back();
        m_strReason = "the certificate of " + parsed.server + " was not accepted (" + m_strReason + ").";
        break;
      case InternetFailure::kTimedOut:
        m_strReason = "no answer from " + ConnectionTarget(parsed, settings, localProxies) + ".";
        break;
      case InternetFailure::kOther: m_strReason = SentenceOf(message); break;
    }
  }
  if (file) std::fclose(file);
  request.reset();
  session.reset();
  if (partWritten) RemoveNativeFile(partPath);
  return result;
}

// The finished download replaces the local file in one step.
void CURLDownloader::KeepAs(const std::string& partPath, const std::string& localPath) {
  if (!ReplaceNativeFile(partPath, localPath)) {
    m_strError = "Error: cannot write the local file " + localPath;
    throw CURLDown2FileException(kDownloadFailed);
  }
}
