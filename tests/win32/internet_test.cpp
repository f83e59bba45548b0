// WinInet itself: the proxy list as Wine and Windows take it, and the password dialog.
#include "platform/internet.h"

#include <gtest/gtest.h>

// Before windows.h: the server brings winsock2.h.
#include "acquire/loopback_http_server.h"

namespace {

using altivane::test::HttpAnswer;
using altivane::test::LoopbackHttpServer;
using altivane::test::SeenRequest;

std::string Body(IDownloadRequest& request) {
  std::string body;
  char buffer[256];
  std::size_t got = 0;
  while (request.ReadString(buffer, sizeof buffer, got) == 0 && got > 0) body.append(buffer, got);
  return body;
}

// 127.0.0.2 is a dotted name that no bypass rule matches, so the request must go through the
// proxy, which answers in place of the origin; the entries of the list are ';'-separated.
TEST(WindowsInternet, DottedOriginGoesThroughTheHttpEntryOfTheProxyList) {
  LoopbackHttpServer proxy([](const SeenRequest& r) { return HttpAnswer(200, "proxied " + r.target + "\n"); });
  InternetSessionSettings settings;
  settings.agent = "Altivane";
  settings.proxyList = "ftp=localhost:1;http=127.0.0.1:" + std::to_string(proxy.Port()) + ";socks=localhost:1";
  settings.bypass = "<local>";
  std::unique_ptr<IDownloadSession> session;
  ASSERT_EQ(OpenInternetSession(settings, session), 0);
  std::unique_ptr<IDownloadRequest> request;
  ASSERT_EQ(session->OpenHttpRequest("127.0.0.2", 80, "/obs/x.txt", request), 0);
  ASSERT_EQ(request->SendRequest(), 0);
  unsigned status = 0;
  ASSERT_EQ(request->QueryStatusCode(status), 0);
  EXPECT_EQ(status, 200u);
  const std::string body = Body(*request);
  EXPECT_TRUE(body == "proxied http://127.0.0.2/obs/x.txt\n" || body == "proxied http://127.0.0.2:80/obs/x.txt\n")
      << body;
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0].Header("User-Agent"), "Altivane");
}

// The texts come from wininet.dll's message table; a number it has none for still gets one.
TEST(WindowsInternet, ErrorTextsComeFromWinInet) {
  const std::string resolve = InternetErrorText(12007);  // ERROR_INTERNET_NAME_NOT_RESOLVED
  EXPECT_NE(resolve.find("resolved"), std::string::npos) << resolve;
  EXPECT_NE(resolve.back(), '\n');
  EXPECT_EQ(InternetErrorText(999999), "Unknown error 999999");
}

}  // namespace
