#include "acquire/internet_settings.h"

#include "platform/registry.h"

namespace {

constexpr std::size_t kMaxValueBytes = 256;

void ReadPort(const char* name, int& port) {
  std::string text;
  if (!RegistryReadString(RegistryRoot::CurrentUser, kInternetSettingsKey, name, kMaxValueBytes, text)) return;
  if (text.empty() || text.size() > 5) return;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return;
    value = value * 10 + (c - '0');
  }
  if (value >= 1 && value <= 65535) port = value;
}

void ReadHost(const char* name, std::string& host) {
  std::string text;
  if (!RegistryReadString(RegistryRoot::CurrentUser, kInternetSettingsKey, name, kMaxValueBytes, text)) return;
  if (text.empty()) return;
  for (char c : text) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '?' || c == '#') return;
  }
  host = text;
}

}  // namespace

AcquireSettings ReadAcquireSettings() {
  AcquireSettings settings;
  ReadPort("FtpProxyPort", settings.ftpProxyPort);
  ReadPort("HttpProxyPort", settings.httpProxyPort);
  ReadPort("SocksProxyPort", settings.socksProxyPort);
  ReadHost("MetarServer", settings.metarServer);
  ReadHost("RadiosondeServer", settings.radiosondeServer);
  return settings;
}

InternetSessionSettings DownloadSessionSettings(const AcquireSettings& settings) {
  InternetSessionSettings session;
  session.agent = "Altivane";
  session.proxyList = "ftp=localhost:" + std::to_string(settings.ftpProxyPort) +
                      ";http=localhost:" + std::to_string(settings.httpProxyPort) +
                      ";socks=localhost:" + std::to_string(settings.socksProxyPort);
  session.bypass = "<local>";
  return session;
}
