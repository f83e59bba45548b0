// WinInet itself: the proxy list as Wine and Windows take it, and the password dialog.
#include "platform/internet.h"

#include <gtest/gtest.h>

// Before windows.h: the server brings winsock2.h.
#include "acquire/loopback_http_server.h"
#include "platform/win32/internet_flags.h"

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <thread>

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
  settings.agent = "Altivane/0.1";
  settings.proxyList = "ftp=localhost:1;http=127.0.0.1:" + std::to_string(proxy.Port()) + ";socks=localhost:1";
  settings.bypass = "<local>";
  std::unique_ptr<IDownloadSession> session;
  ASSERT_EQ(OpenInternetSession(settings, session), 0);
  std::unique_ptr<IDownloadRequest> request;
  ASSERT_EQ(session->OpenHttpRequest("127.0.0.2", 80, "/obs/x.txt", false, request), 0);
  ASSERT_EQ(request->SendRequest(), 0);
  unsigned status = 0;
  ASSERT_EQ(request->QueryStatusCode(status), 0);
  EXPECT_EQ(status, 200u);
  const std::string body = Body(*request);
  EXPECT_TRUE(body == "proxied http://127.0.0.2/obs/x.txt\n" || body == "proxied http://127.0.0.2:80/obs/x.txt\n")
      << body;
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0].Header("User-Agent"), "Altivane/0.1");
}

// https asks WinInet for TLS with the system's certificate checks; no flag that lets a bad
// certificate through is ever set. (The suite has no https server a Windows test program
// could run: see the README.)
TEST(WindowsInternet, RequestFlagsAskForTlsOnlyForHttpsAndNeverWaiveACheck) {
  const unsigned long always = INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_RELOAD |
                               INTERNET_FLAG_NO_CACHE_WRITE;
  const unsigned long waivers = INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
                                INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
  for (const bool secure : {false, true}) {
    SCOPED_TRACE(secure);
    const unsigned long flags = RequestFlags(secure);
    EXPECT_EQ(flags & always, always);
    EXPECT_EQ((flags & INTERNET_FLAG_SECURE) != 0, secure);
    EXPECT_EQ(flags & waivers, 0ul);
  }
}

// A secure request really speaks TLS: a plain http server cannot answer it, and the failure is
// an error of the layer, not an answer.
TEST(WindowsInternet, SecureRequestToAPlainServerFails) {
  LoopbackHttpServer server([](const SeenRequest&) { return HttpAnswer(200, "plain\n"); });
  InternetSessionSettings settings;
  settings.agent = "Altivane/0.1";
  settings.systemProxies = true;
  std::unique_ptr<IDownloadSession> session;
  ASSERT_EQ(OpenInternetSession(settings, session), 0);
  std::unique_ptr<IDownloadRequest> request;
  ASSERT_EQ(session->OpenHttpRequest("localhost", server.Port(), "/a", true, request), 0);
  const int error = request->SendRequest();
  EXPECT_NE(error, 0);
  EXPECT_FALSE(InternetErrorText(error).empty());
  EXPECT_TRUE(server.Requests().empty());
}

// Without proxy settings the session takes the system's configuration (none here): the request
// goes to the server itself, in origin form.
TEST(WindowsInternet, SystemProxyConfigurationReachesALocalServerDirectly) {
  LoopbackHttpServer server([](const SeenRequest& r) { return HttpAnswer(200, "direct " + r.target + "\n"); });
  InternetSessionSettings settings;
  settings.agent = "Altivane/0.1";
  settings.systemProxies = true;
  std::unique_ptr<IDownloadSession> session;
  ASSERT_EQ(OpenInternetSession(settings, session), 0);
  std::unique_ptr<IDownloadRequest> request;
  ASSERT_EQ(session->OpenHttpRequest("127.0.0.1", server.Port(), "/obs/x.txt", false, request), 0);
  ASSERT_EQ(request->SendRequest(), 0);
  EXPECT_EQ(Body(*request), "direct /obs/x.txt\n");
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].Header("User-Agent"), "Altivane/0.1");
}

// An answer the server says may be cached for an hour is still fetched anew each time: the
// current hour's file grows while the hour runs.
TEST(WindowsInternet, EveryRequestReachesTheServerDespiteCachingHeaders) {
  std::atomic<int> served{0};
  LoopbackHttpServer server([&](const SeenRequest&) {
    return HttpAnswer(200, "version " + std::to_string(++served) + "\n",
                      "Cache-Control: public, max-age=3600\r\nLast-Modified: Sat, 06 Dec 2003 14:00:00 GMT\r\n");
  });
  InternetSessionSettings settings;
  settings.agent = "Altivane";
  settings.proxyList = "http=localhost:1";
  settings.bypass = "<local>";
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    std::unique_ptr<IDownloadSession> session;
    ASSERT_EQ(OpenInternetSession(settings, session), 0);
    std::unique_ptr<IDownloadRequest> request;
    ASSERT_EQ(session->OpenHttpRequest("localhost", server.Port(), "/obs/03120614.metar", false, request), 0);
    ASSERT_EQ(request->SendRequest(), 0);
    EXPECT_EQ(Body(*request), "version " + std::to_string(round) + "\n");
  }
  EXPECT_EQ(server.Requests().size(), 2u);
}

// The texts come from wininet.dll's message table; a number it has none for still gets one.
TEST(WindowsInternet, ErrorTextsComeFromWinInet) {
  const std::string resolve = InternetErrorText(12007);  // ERROR_INTERNET_NAME_NOT_RESOLVED
  EXPECT_NE(resolve.find("resolved"), std::string::npos) << resolve;
  EXPECT_NE(resolve.back(), '\n');
  EXPECT_EQ(InternetErrorText(999999), "Unknown error 999999");
}

}  // namespace

namespace {

struct DialogSearch {
  HWND found = nullptr;
};

BOOL CALLBACK LookAtWindow(HWND window, LPARAM param) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (owner == GetCurrentProcessId() && IsWindowVisible(window) && std::wstring(name) == L"#32770") {
    reinterpret_cast<DialogSearch*>(param)->found = window;
    return FALSE;
  }
  return TRUE;
}

// Answers the password dialog as a user would: the first edit box is the user name, the second
// the password, then OK. Gives up after the time-out.
void AnswerPasswordDialog(const std::wstring& user, const std::wstring& password, std::atomic<bool>& answered) {
  HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const ULONGLONG deadline = GetTickCount64() + 20000;
  DialogSearch search;
  while (!search.found && GetTickCount64() < deadline) {
    EnumWindows(&LookAtWindow, reinterpret_cast<LPARAM>(&search));
    if (!search.found) WaitForSingleObject(never, 50);
  }
  CloseHandle(never);
  if (!search.found) return;
  int edits = 0;
  for (HWND child = GetWindow(search.found, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[16] = {};
    GetClassNameW(child, name, 16);
    if (std::wstring(name) != L"Edit" || !IsWindowVisible(child)) continue;
    SendMessageW(child, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(edits == 0 ? user.c_str() : password.c_str()));
    if (++edits == 2) break;
  }
  answered = edits == 2;
  PostMessageW(search.found, WM_COMMAND, IDOK, 0);
}

TEST(WindowsInternet, PasswordDialogAnswerIsSentWithTheRetry) {
  LoopbackHttpServer server([](const SeenRequest& r) {
    // Basic "pilot:secret".
    if (r.Header("Authorization") == "Basic cGlsb3Q6c2VjcmV0") return HttpAnswer(200, "welcome\n");
    return HttpAnswer(401, "denied\n", "WWW-Authenticate: Basic realm=\"weather\"\r\n");
  });
  InternetSessionSettings settings;
  settings.agent = "Altivane";
  settings.bypass = "<local>";
  std::unique_ptr<IDownloadSession> session;
  ASSERT_EQ(OpenInternetSession(settings, session), 0);
  std::unique_ptr<IDownloadRequest> request;
  ASSERT_EQ(session->OpenHttpRequest("localhost", server.Port(), "/a", false, request), 0);
  ASSERT_EQ(request->SendRequest(), 0);
  unsigned status = 0;
  ASSERT_EQ(request->QueryStatusCode(status), 0);
  ASSERT_EQ(status, 401u);

  std::atomic<bool> answered{false};
  std::thread user([&answered] { AnswerPasswordDialog(L"pilot", L"secret", answered); });
  const bool retry = request->PasswordDialogAsksRetry();
  user.join();
  ASSERT_TRUE(answered) << "no password dialog with two edit boxes";
  ASSERT_TRUE(retry);
  ASSERT_EQ(request->SendRequest(), 0);
  ASSERT_EQ(request->QueryStatusCode(status), 0);
  EXPECT_EQ(status, 200u);
  EXPECT_EQ(Body(*request), "welcome\n");
}

}  // namespace
