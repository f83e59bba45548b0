#include <gtest/gtest.h>

#include "platform/internet.h"

namespace {

TEST(ParseInternetUrl, SplitsServicesServersPortsAndObjects) {
  struct Case {
    const char* url;
    bool ok;
    InternetService service;
    const char* server;
    const char* object;
    unsigned port;
  };
  const Case cases[] = {
      {"http://metar.example/weather/observations/airways/03120614.metar", true, InternetService::Http, "metar.example",
       "/weather/observations/airways/03120614.metar", 80},
      {"HTTP://Host:8080", true, InternetService::Http, "Host", "/", 8080},
      {"http://host?x=1", true, InternetService::Http, "host", "/?x=1", 80},
      {"ftp://files.example/pub/a.txt", true, InternetService::Ftp, "files.example", "/pub/a.txt", 21},
      {"https://secure.example/a", true, InternetService::Https, "secure.example", "/a", 443},
      {"HTTPS://secure.example:8443", true, InternetService::Https, "secure.example", "/", 8443},
      {"gopher://old.example/", true, InternetService::Other, "old.example", "/", 80},
      {"/relative/path", false, InternetService::Other, "", "", 0},
      {"http:///nohost", false, InternetService::Other, "", "", 0},
      {"http://host:0/a", false, InternetService::Other, "", "", 0},
      {"http://host:65536/a", false, InternetService::Other, "", "", 0},
      {"http://host:8x/a", false, InternetService::Other, "", "", 0},
      {"http://ho st/a", false, InternetService::Other, "", "", 0},
      {"://host/a", false, InternetService::Other, "", "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    InternetUrl url;
    ASSERT_EQ(ParseInternetUrl(c.url, url), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(url.service, c.service);
    EXPECT_EQ(url.server, c.server);
    EXPECT_EQ(url.object, c.object);
    EXPECT_EQ(url.port, c.port);
  }
}

}  // namespace
