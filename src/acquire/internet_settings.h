#pragma once
// Settings of the weather downloads, read from the registry (HKEY_CURRENT_USER, key
// kInternetSettingsKey of platform/internet.h). Every value is optional. Without any, the
// weather comes from the public sources below over https, through whatever proxy the system
// is set up with.
#include <string>

#include "platform/internet.h"

inline constexpr int kDefaultFtpProxyPort = 9203;
inline constexpr int kDefaultHttpProxyPort = 9202;
inline constexpr int kDefaultSocksProxyPort = 9203;
inline constexpr const char* kDefaultMetarServer = "metar-server.altivane.invalid";
inline constexpr const char* kDefaultRadiosondeServer = "radiosonde-server.altivane.invalid";

// NOAA's cycle files: one per UTC hour, rolling over the last 24 hours.
inline constexpr const char* kDefaultMetarUrl = "https://tgftp.nws.noaa.gov/data/observations/metar/cycles/{HH}Z.TXT";
// The Iowa Environmental Mesonet's archive of NWS text products: every TTAA (products MANxxx)
// and then every TTBB (SGLxxx) entered since the half day's sounding hour, as plain text.
inline constexpr const char* kDefaultUpperAirUrl =
    "https://mesonet.agron.iastate.edu/cgi-bin/afos/"
    "retrieve.py?pil=MAN&fmt=text&limit=9999&sdate={YYYY}-{MM}-{DD}T{SS}:"
    "00Z "
    "https://mesonet.agron.iastate.edu/cgi-bin/afos/"
    "retrieve.py?pil=SGL&fmt=text&limit=9999&sdate={YYYY}-{MM}-{DD}T{SS}:"
    "00Z";

struct AcquireSettings {
  int ftpProxyPort = kDefaultFtpProxyPort;                  // "FtpProxyPort"
  int httpProxyPort = kDefaultHttpProxyPort;                // "HttpProxyPort"
  int socksProxyPort = kDefaultSocksProxyPort;              // "SocksProxyPort"
  std::string metarServer = kDefaultMetarServer;            // "MetarServer", host[:port]
  std::string radiosondeServer = kDefaultRadiosondeServer;  // "RadiosondeServer", host[:port]
  std::string metarUrl = kDefaultMetarUrl;                  // "MetarUrl", a URL template
  std::string upperAirUrl = kDefaultUpperAirUrl;            // "UpperAirUrl", templates separated by spaces
  // Which of the values above were set (a malformed value counts as unset).
  bool metarServerSet = false;
  bool radiosondeServerSet = false;
  bool metarUrlSet = false;
  bool upperAirUrlSet = false;
  // "UseLocalProxies" set to anything but "0", or any "*ProxyPort" value present: every
  // download goes through the proxies on the local machine instead of the system's.
  bool useLocalProxies = false;
};

// Reads the settings; a value that is missing or malformed (a port outside 1..65535, an empty
// or spaced host name, a URL setting without "://") keeps its default.
AcquireSettings ReadAcquireSettings();

// "Altivane/0.1": the User-Agent of every request.
std::string AgentName();

// The session settings of one download. With local proxies: the per-scheme proxy list
// "ftp=localhost:P;http=localhost:P;socks=localhost:P" and the bypass "<local>"; otherwise the
// system's proxy configuration.
InternetSessionSettings DownloadSessionSettings(const AcquireSettings& settings, bool localProxies);
