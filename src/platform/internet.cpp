#include "platform/internet.h"

#include <cctype>

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

// "http://metar.example:8080/a/b.txt" -> Http, "metar.example", "/a/b.txt", 8080
// "ftp://host"                        -> Ftp, "host", "/", 21
// "https://host/x"                    -> Https, "host", "/x", 443
// "gopher://host/x"                   -> Other
bool ParseInternetUrl(const std::string& url, InternetUrl& out) {
  const auto schemeEnd = url.find("://");
  if (schemeEnd == std::string::npos || schemeEnd == 0) return false;
  const std::string scheme = Lower(url.substr(0, schemeEnd));
  for (char c : scheme) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return false;
  }
  const std::size_t hostStart = schemeEnd + 3;
  std::size_t hostEnd = url.find_first_of("/?#", hostStart);
  if (hostEnd == std::string::npos) hostEnd = url.size();
  std::string authority = url.substr(hostStart, hostEnd - hostStart);
  std::string object = hostEnd < url.size() ? url.substr(hostEnd) : "/";
  if (object.front() != '/') object.insert(object.begin(), '/');
  const auto hash = object.find('#');
  if (hash != std::string::npos) object.erase(hash);
  for (char c : url) {
    if (static_cast<unsigned char>(c) <= ' ') return false;
  }

  InternetUrl parsed;
  parsed.service = scheme == "http"    ? InternetService::Http
                   : scheme == "https" ? InternetService::Https
                   : scheme == "ftp"   ? InternetService::Ftp
                                       : InternetService::Other;
  parsed.port = parsed.service == InternetService::Ftp ? 21 : 80;
  if (scheme == "https") parsed.port = 443;
  const auto colon = authority.rfind(':');
  if (colon != std::string::npos) {
    const std::string port = authority.substr(colon + 1);
    authority.erase(colon);
    if (port.empty() || port.size() > 5) return false;
    unsigned value = 0;
    for (char c : port) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    parsed.port = static_cast<std::uint16_t>(value);
  }
  if (authority.empty()) return false;
  parsed.server = authority;
  parsed.object = object;
  out = parsed;
  return true;
}
