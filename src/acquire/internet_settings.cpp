#include "acquire/internet_settings.h"

#include "platform/registry.h"

#ifndef ALTIVANE_VERSION
#define ALTIVANE_VERSION "0"
#endif

namespace {

// Room for a few URL templates.
constexpr std::size_t kMaxValueBytes = 4096;

bool ReadValue(const char* name, std::string& text) {
  return RegistryReadString(RegistryRoot::CurrentUser, kInternetSettingsKey, name, kMaxValueBytes, text);
}

// True when the value is present at all, whatever it holds.
bool ReadPort(const char* name, int& port) {
  std::string text;
  if (!ReadValue(name, text)) return false;
  if (text.empty() || text.size() > 5) return true;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return true;
    value = value * 10 + (c - '0');
  }
  if (value >= 1 && value <= 65535) port = value;
  return true;
}

bool ReadHost(const char* name, std::string& host) {
  std::string text;
  if (!ReadValue(name, text) || text.empty()) return false;
  for (char c : text) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '?' || c == '#') return false;
  }
  host = text;
  return true;
}

// One or more URLs separated by blanks; surrounding blanks and line ends are dropped.
bool ReadUrls(const char* name, std::string& urls) {
  std::string text;
  if (!ReadValue(name, text)) return false;
  std::string joined;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = text.find_first_not_of(" \t\r\n", pos);
    if (start == std::string::npos) break;
    std::size_t end = text.find_first_of(" \t\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string url = text.substr(start, end - start);
    if (url.find("://") == std::string::npos) return false;
    joined += (joined.empty() ? "" : " ") + url;
    pos = end;
  }
  if (joined.empty()) return false;
  urls = joined;
  return true;
}

}  // namespace

AcquireSettings ReadAcquireSettings() {
  AcquireSettings settings;
  bool portSet = ReadPort("FtpProxyPort", settings.ftpProxyPort);
  portSet = ReadPort("HttpProxyPort", settings.httpProxyPort) || portSet;
  portSet = ReadPort("SocksProxyPort", settings.socksProxyPort) || portSet;
  std::string useLocal;
  settings.useLocalProxies =
      portSet || (ReadValue("UseLocalProxies", useLocal) && !useLocal.empty() && useLocal != "0");
  settings.metarServerSet = ReadHost("MetarServer", settings.metarServer);
  settings.radiosondeServerSet = ReadHost("RadiosondeServer", settings.radiosondeServer);
  settings.metarUrlSet = ReadUrls("MetarUrl", settings.metarUrl);
  settings.upperAirUrlSet = ReadUrls("UpperAirUrl", settings.upperAirUrl);
  return settings;
}

std::string AgentName() { return std::string("Altivane/") + ALTIVANE_VERSION; }

InternetSessionSettings DownloadSessionSettings(const AcquireSettings& settings, bool localProxies) {
  InternetSessionSettings session;
  session.agent = AgentName();
  if (!localProxies) {
    session.systemProxies = true;
    return session;
  }
  session.proxyList = "ftp=localhost:" + std::to_string(settings.ftpProxyPort) +
                      ";http=localhost:" + std::to_string(settings.httpProxyPort) +
                      ";socks=localhost:" + std::to_string(settings.socksProxyPort);
  session.bypass = "<local>";
  return session;
}
