#include "acquire/weather_sources.h"

#include <cstdio>

#include "platform/paths.h"
#include "platform/text_file.h"

namespace {

std::string Digits(int value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*d", width, value);
  return text;
}

bool IsFiveDigits(std::string_view token) {
  if (token.size() != 5) return false;
  for (char c : token)
    if (c < '0' || c > '9') return false;
  return true;
}

// The first block of a file, enough to tell a page or a packed body from text.
std::string Head(const std::string& path, std::size_t size) {
  std::string head;
  std::FILE* file = OpenNativeFile(path, "rb");
  if (!file) return head;
  head.resize(size);
  head.resize(std::fread(head.data(), 1, size, file));
  std::fclose(file);
  return head;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const char a = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (a != prefix[i]) return false;
  }
  return true;
}

WeatherSource FromTemplates(const std::string& templates, const UtcHour& time, std::string localPath, bool localProxies,
                            std::string chosenBy) {
  WeatherSource source;
  for (const std::string& url : SplitUrls(templates)) source.urls.push_back(ExpandUrlTemplate(url, time));
  source.localPath = std::move(localPath);
  source.localProxies = localProxies;
  source.chosenBy = std::move(chosenBy);
  return source;
}

WeatherSource FromServer(const std::string& server, const std::string& urlPath, std::string localPath,
                         std::string chosenBy) {
  return WeatherSource{{"http://" + server + urlPath}, std::move(localPath), true, std::move(chosenBy)};
}

bool IsStationIdentifier(std::string_view token) {
  if (token.size() != 4 || token[0] < 'A' || token[0] > 'Z') return false;
  for (char c : token)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  return token != "TTAA" && token != "TTBB" && token != "TTCC" && token != "TTDD";
}

// "291153Z"
bool IsDayTimeGroup(std::string_view token) {
  if (token.size() != 7 || token[6] != 'Z') return false;
  for (std::size_t i = 0; i < 6; ++i)
    if (token[i] < '0' || token[i] > '9') return false;
  return true;
}

// Some line holds a station identifier followed by its day and time: "KSEA 291153Z ...". A
// bulletin heading ("SAUS80 KWBC 010000") or a TEMP message does not.
bool HoldsTimedMetarReport(const std::string& path) {
  return AnyTokenPair(path, [](std::string_view previous, std::string_view token) {
    return IsStationIdentifier(previous) && IsDayTimeGroup(token);
  });
}

}  // namespace

std::string ExpandUrlTemplate(const std::string& text, const UtcHour& t) {
  const std::pair<const char*, std::string> fields[] = {
      {"{YYYY}", Digits(t.year, 4)}, {"{YY}", Digits(t.year % 100, 2)}, {"{MM}", Digits(t.month, 2)},
      {"{DD}", Digits(t.day, 2)},    {"{HH}", Digits(t.hour, 2)},       {"{SS}", t.hour < 12 ? "00" : "12"},
  };
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    bool replaced = false;
    if (text[pos] == '{') {
      for (const auto& [name, value] : fields) {
        if (text.compare(pos, std::char_traits<char>::length(name), name) == 0) {
          out += value;
          pos += std::char_traits<char>::length(name);
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += text[pos++];
  }
  return out;
}

std::vector<std::string> SplitUrls(const std::string& list) {
  std::vector<std::string> urls;
  std::size_t pos = 0;
  while (pos < list.size()) {
    const std::size_t start = list.find_first_not_of(" \t\r\n", pos);
    if (start == std::string::npos) break;
    std::size_t end = list.find_first_of(" \t\r\n", start);
    if (end == std::string::npos) end = list.size();
    urls.push_back(list.substr(start, end - start));
    pos = end;
  }
  return urls;
}

std::string HostOfUrl(const std::string& url) {
  const auto scheme = url.find("://");
  if (scheme == std::string::npos) return "";
  const std::size_t start = scheme + 3;
  std::size_t end = url.find_first_of("/?#", start);
  if (end == std::string::npos) end = url.size();
  std::string host = url.substr(start, end - start);
  if (const auto colon = host.rfind(':'); colon != std::string::npos && host.find(']', colon) == std::string::npos)
    host.erase(colon);
  return host;
}

WeatherSources PlanWeatherSources(const AcquireSettings& settings, const UtcHour& now, const std::string& folder) {
  const UtcHour before = AddHours(now, -1);
  WeatherSources sources;
  const std::string currentPath = folder + CurrentMetarFileName(now);
  const std::string completePath = folder + CompleteMetarFileName(before);
  if (!settings.metarUrlSet && settings.metarServerSet) {
    sources.current = FromServer(settings.metarServer, MetarUrlPath(now), currentPath, "MetarServer");
    sources.complete = FromServer(settings.metarServer, MetarUrlPath(before), completePath, "MetarServer");
  } else {
    const char* chosenBy = settings.metarUrlSet ? "MetarUrl" : "default";
    sources.current = FromTemplates(settings.metarUrl, now, currentPath, settings.useLocalProxies, chosenBy);
    sources.complete = FromTemplates(settings.metarUrl, before, completePath, settings.useLocalProxies, chosenBy);
  }
  const std::string upperPath = folder + UpperAirFileName(now);
  if (!settings.upperAirUrlSet && settings.radiosondeServerSet) {
    sources.upperAir = FromServer(settings.radiosondeServer, UpperAirUrlPath(now), upperPath, "RadiosondeServer");
  } else {
    sources.upperAir = FromTemplates(settings.upperAirUrl, now, upperPath, settings.useLocalProxies,
                                     settings.upperAirUrlSet ? "UpperAirUrl" : "default");
  }
  if (settings.useLocalProxies) {
    for (WeatherSource* source : {&sources.current, &sources.complete, &sources.upperAir}) {
      if (source->chosenBy == "MetarUrl" || source->chosenBy == "UpperAirUrl" || source->chosenBy == "default")
        source->chosenBy += ", local proxies";
    }
  }
  return sources;
}

std::string WhyNotWeather(const std::string& path, WeatherBodyKind kind) {
  constexpr std::size_t kHeadBytes = 65536;
  const std::string head = Head(path, kHeadBytes);
  if (head.size() >= 2 && static_cast<unsigned char>(head[0]) == 0x1f && static_cast<unsigned char>(head[1]) == 0x8b)
    return "the server sent a compressed body, not weather text.";
  // Text with a stray control byte is still weather (real files have them); a body full of
  // them is not. SOH and ETX frame the products of a text feed.
  std::size_t control = 0;
  for (char ch : head) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != 0x01 && c != 0x03 && c != 0x0b && c != 0x0c) ++control;
  }
  if (control >= 16 && control * 100 > head.size()) return "the server sent binary data, not weather text.";
  const std::size_t start = head.find_first_not_of(" \t\r\n\x01\x03");
  const std::string_view text = start == std::string::npos ? std::string_view() : std::string_view(head).substr(start);
  if (StartsWithNoCase(text, "<!doctype html") || StartsWithNoCase(text, "<html") || StartsWithNoCase(text, "<?xml") ||
      StartsWithNoCase(text, "<head") || StartsWithNoCase(text, "<body"))
    return "the server sent a web page, not weather.";
  if (StartsWithNoCase(text, "error")) {
    std::string line(text.substr(0, text.find_first_of("\r\n")));
    if (line.size() > 80) line.resize(80);
    return "the server answered \"" + line + "\".";
  }
  if (kind == WeatherBodyKind::Metar) {
    if (!HoldsTimedMetarReport(path)) return "the body holds no METAR report.";
  } else if (!HoldsSounding(path)) {
    return "the body holds no TTAA or TTBB message.";
  }
  return "";
}

bool HoldsSounding(const std::string& path) {
  TextFileReader file(path);
  if (!file.IsOpen()) return false;
  std::string line;
  while (file.ReadLine(line)) {
    std::vector<std::string_view> tokens;
    std::size_t pos = 0;
    while (pos < line.size() && tokens.size() < 4) {
      const std::size_t start = line.find_first_not_of(" \t\r", pos);
      if (start == std::string::npos) break;
      std::size_t end = line.find_first_of(" \t\r", start);
      if (end == std::string::npos) end = line.size();
      tokens.emplace_back(line.data() + start, end - start);
      pos = end;
    }
    for (std::size_t i = 0; i + 2 < tokens.size(); ++i) {
      if ((tokens[i] == "TTAA" || tokens[i] == "TTBB") && IsFiveDigits(tokens[i + 1]) && IsFiveDigits(tokens[i + 2]))
        return true;
    }
  }
  return false;
}
