#pragma once
// Settings of the weather downloads, read from the registry (HKEY_CURRENT_USER, key
// kInternetSettingsKey of platform/internet.h). Every value is optional; the defaults are the
// program's fixed proxies on the local machine and placeholder server names that do not
// resolve, so that an unset server shows as a failed download.
#include <string>

#include "platform/internet.h"

inline constexpr int kDefaultFtpProxyPort = 9203;
inline constexpr int kDefaultHttpProxyPort = 9202;
inline constexpr int kDefaultSocksProxyPort = 9203;
inline constexpr const char* kDefaultMetarServer = "metar-server.altivane.invalid";
inline constexpr const char* kDefaultRadiosondeServer = "radiosonde-server.altivane.invalid";

struct AcquireSettings {
  int ftpProxyPort = kDefaultFtpProxyPort;                  // "FtpProxyPort"
  int httpProxyPort = kDefaultHttpProxyPort;                // "HttpProxyPort"
  int socksProxyPort = kDefaultSocksProxyPort;              // "SocksProxyPort"
  std::string metarServer = kDefaultMetarServer;            // "MetarServer", host[:port]
  std::string radiosondeServer = kDefaultRadiosondeServer;  // "RadiosondeServer", host[:port]
};

// Reads the settings; a value that is missing or malformed (a port outside 1..65535, an empty
// or spaced host name) keeps its default.
AcquireSettings ReadAcquireSettings();

// The session settings of one download: agent "Altivane", the per-scheme proxy list
// "ftp=localhost:P;http=localhost:P;socks=localhost:P" and the bypass "<local>".
InternetSessionSettings DownloadSessionSettings(const AcquireSettings& settings);
