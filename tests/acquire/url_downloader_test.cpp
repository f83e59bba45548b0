#include "acquire/url_downloader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "loopback_ftp_server.h"
#include "loopback_http_server.h"
#include "loopback_tls_server.h"
#include "support/scoped_env.h"
#include "scoped_registry.h"
#include "support/test_data.h"

namespace altivane::test {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A download as the program reads it back: the download writes in text mode, so on Windows
// each '\n' of the body is "\r\n" on disk.
std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every test gets its own registry file, so proxy ports and credentials are its own.
class DownloadTest : public ::testing::Test {
 protected:
  void SetSetting(const std::string& name, const std::string& value) {
    ASSERT_TRUE(ScopedRegistry::SetInternetSetting(name, value));
  }
  std::string LocalPath(const std::string& name) const { return (m_Dir.Path() / name).string(); }

  TempDir m_Dir;
  ScopedRegistry m_Registry{m_Dir.Path() / "registry.ini"};
};

// Stands for "Error: (n) " followed by the internet layer's text for n.
const std::string kLayerError = "<internet layer error>";

struct ServedCase {
  const char* name;
  // Answers by path; "{host}" in an answer stands for the server's own host and port.
  std::vector<std::pair<std::string, std::string>> answers;
  const char* password;  // the stand-in dialog's HttpPassword; none: no HttpUser either
  int result;
  std::string error;  // m_strError afterwards
  bool fileExpected;
  std::string fileContent;  // when a file is expected
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (auto pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size())) {
    text.replace(pos, from.size(), to);
  }
  return text;
}

TEST_F(DownloadTest, AnswersOfTheServerGiveTheirResults) {
  const std::string page = "<html>not here</html>\n";
  const std::vector<ServedCase> cases = {
      {"200 saved",
       {{"/a", HttpAnswer(200, "METAR one\nMETAR two\n")}},
       nullptr,
       0,
       "",
       true,
       "METAR one\nMETAR two\n"},
      {"404 page saved as a success", {{"/a", HttpAnswer(404, page)}}, nullptr, 0, "", true, page},
      {"500 page saved as a success", {{"/a", HttpAnswer(500, "oops")}}, nullptr, 0, "", true, "oops"},
      {"empty body gives an empty file", {{"/a", HttpAnswer(200, "")}}, nullptr, 0, "", true, ""},
      {"body cut short is not kept",
       {{"/a", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\nhalf\nha"}},
       nullptr,
       2,
       kLayerError,
       false,
       ""},
      {"CR LF body kept as sent", {{"/a", HttpAnswer(200, "x\r\ny\r\n")}}, nullptr, 0, "", true, "x\r\ny\r\n"},
      {"302 followed once",
       {{"/a", HttpAnswer(302, "", "Location: http://{host}/b\r\n")}, {"/b", HttpAnswer(200, "moved\n")}},
       nullptr,
       0,
       "",
       true,
       "moved\n"},
      {"301 and 303 followed too",
       {{"/a", HttpAnswer(303, "", "Location: http://{host}/b\r\n")}, {"/b", HttpAnswer(200, "seen\n")}},
       nullptr,
       0,
       "",
       true,
       "seen\n"},
      {"302 without Location",
       {{"/a", HttpAnswer(302, "")}},
       nullptr,
       2,
       "Error: Site redirects with no new location",
       false,
       ""},
      {"Location in other case is not a Location",
       {{"/a", HttpAnswer(302, "", "location: http://x/\r\n")}},
       nullptr,
       2,
       "Error: Site redirects with no new location",
       false,
       ""},
      {"302 to ftp",
       {{"/a", HttpAnswer(302, "", "Location: ftp://{host}/b\r\n")}},
       nullptr,
       2,
       "Error: the redirected URL does not reference a HTTP resource.",
       false,
       ""},
      {"302 to a relative path",
       {{"/a", HttpAnswer(302, "", "Location: /b\r\n")}},
       nullptr,
       2,
       "Error: the redirected URL could not be parsed.",
       false,
       ""},
      {"302 to 302",
       {{"/a", HttpAnswer(302, "", "Location: http://{host}/b\r\n")},
        {"/b", HttpAnswer(302, "", "Location: http://{host}/c\r\n")},
        {"/c", HttpAnswer(200, "never\n")}},
       nullptr,
       2,
       "Error: Got status code 302",
       false,
       ""},
      {"302 to 404",
       {{"/a", HttpAnswer(302, "", "Location: http://{host}/b\r\n")}, {"/b", HttpAnswer(404, page)}},
       nullptr,
       2,
       "Error: Got status code 404",
       false,
       ""},
      {"401 declined leaves no file",
       {{"/a", HttpAnswer(401, "denied\n")}},
       nullptr,
       1,
       "Access denied: Invalid password\n",
       false,
       ""},
      {"401 with credentials sent again", {{"/a", HttpAnswer(401, "denied\n")}}, "secret", 0, "", true, "welcome\n"},
      {"second 401 is saved like any page", {{"/a", HttpAnswer(401, "denied\n")}}, "wrong", 0, "", true, "denied\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
#ifdef _WIN32
    // The real password dialog waits for a person.
    if (c.answers.front().second.rfind("HTTP/1.1 401", 0) == 0) continue;
#endif
    if (c.password) {
      SetSetting("HttpUser", "pilot");
      SetSetting("HttpPassword", c.password);
    }
    LoopbackHttpServer server([&c](const SeenRequest& request) {
      // Basic "pilot:secret".
      if (request.Header("Authorization") == "Basic cGlsb3Q6c2VjcmV0") return HttpAnswer(200, "welcome\n");
      for (const auto& [path, answer] : c.answers) {
        if (path == request.target) return Replace(answer, "{host}", request.Header("Host"));
      }
      return HttpAnswer(404, "no such path\n");
    });

    const std::string local = LocalPath(std::string("out-") + std::to_string(&c - cases.data()) + ".txt");
    CURLDownloader downloader;
    EXPECT_EQ(downloader.DownloadToFile("http://" + server.HostPort() + "/a", local), c.result);
    if (c.error == kLayerError) {
      EXPECT_EQ(downloader.m_strError.rfind("Error: (", 0), 0u) << downloader.m_strError;
    } else {
      EXPECT_EQ(downloader.m_strError, c.error);
    }
    EXPECT_EQ(std::filesystem::exists(local), c.fileExpected);
    if (c.fileExpected) {
      EXPECT_EQ(ReadText(local), c.fileContent);
    }
    if (c.password) {
      SetSetting("HttpUser", "");
    }
  }
}

// A download that does not bring the whole file never costs the copy already there, and
// leaves nothing beside it (the body goes to a temporary file first).
TEST_F(DownloadTest, FailedOrRefusedFetchLeavesAnEarlierCopyAsItWas) {
  struct Case {
    const char* name;
    std::string answer;  // "" : the server is gone
    bool saveOnlyOk;
    int result;
    unsigned status;
    bool replaced;  // the local file now holds the new body
  };
  const std::string fresh = "fresh copy\n";
  const std::vector<Case> cases = {
      {"200 replaces", HttpAnswer(200, fresh), true, 0, 200, true},
      {"404 kept when asked for any answer", HttpAnswer(404, fresh), false, 0, 404, true},
      {"404 refused", HttpAnswer(404, "404 Not Found\n"), true, 0, 404, false},
      {"500 refused", HttpAnswer(500, "oops\n"), true, 0, 500, false},
      {"body cut short", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\nhalf\nha", false, 2, 200,
       false},
      {"redirect without location", HttpAnswer(302, ""), false, 2, 0, false},
      {"server gone", "", false, 2, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir folder;
    const std::string local = (folder.Path() / "20031206_1200Z.rdisnd").string();
    { std::ofstream(local) << "good copy\n"; }
    std::uint16_t port = 0;
    std::unique_ptr<LoopbackHttpServer> server;
    if (c.answer.empty()) {
      LoopbackHttpServer gone([](const SeenRequest&) { return HttpAnswer(200, ""); });
      port = gone.Port();
    } else {
      server = std::make_unique<LoopbackHttpServer>([&c](const SeenRequest&) { return c.answer; });
      port = server->Port();
    }
    CURLDownloader downloader;
    downloader.m_bSaveOnlyOk = c.saveOnlyOk;
    EXPECT_EQ(downloader.DownloadToFile("http://localhost:" + std::to_string(port) + "/a", local), c.result);
    EXPECT_EQ(downloader.m_nStatusCode, c.status);
    EXPECT_EQ(ReadText(local), c.replaced ? fresh : "good copy\n");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
      names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"20031206_1200Z.rdisnd"});
  }
}

TEST_F(DownloadTest, RequestCarriesTheFixedHeadersAndStatusGoesToStandardError) {
  LoopbackHttpServer server([](const SeenRequest&) { return HttpAnswer(404, "gone\n"); });
  CURLDownloader downloader;
  ::testing::internal::CaptureStderr();
  const int result = downloader.DownloadToFile("http://" + server.HostPort() + "/x/y.metar", LocalPath("f.txt"));
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, 0);
  EXPECT_NE(err.find("Status Code is 404\n"), std::string::npos) << err;
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/x/y.metar");
  EXPECT_EQ(requests[0].Header("Accept"), "text/*");
  // The session's agent is already the User-Agent, so the block's one is not added.
  EXPECT_EQ(requests[0].Header("User-Agent"), "Altivane/0.1");
}

TEST_F(DownloadTest, UnusableUrlsGiveResultOneWithoutTouchingTheNetwork) {
  for (const std::string url : {"gopher://localhost/a", "file:///etc/hosts", "no url at all", "http://",
                                "http://host:99999/a", "http://host:/a"}) {
    SCOPED_TRACE(url);
    CURLDownloader downloader;
    EXPECT_EQ(downloader.DownloadToFile(url, LocalPath("u.txt")), 1);
    EXPECT_EQ(downloader.m_strError, "Could not parse the URL: " + url);
    EXPECT_FALSE(std::filesystem::exists(LocalPath("u.txt")));
  }
}

TEST_F(DownloadTest, FailureTextSurvivesALaterSuccess) {
  LoopbackHttpServer server([](const SeenRequest& request) {
    return request.target == "/bad" ? HttpAnswer(302, "") : HttpAnswer(200, "fine\n");
  });
  CURLDownloader downloader;
  EXPECT_EQ(downloader.DownloadToFile("http://" + server.HostPort() + "/bad", LocalPath("a.txt")), 2);
  EXPECT_EQ(downloader.DownloadToFile("http://" + server.HostPort() + "/good", LocalPath("b.txt")), 0);
  EXPECT_EQ(downloader.m_strError, "Error: Site redirects with no new location");
  EXPECT_EQ(ReadText(LocalPath("b.txt")), "fine\n");
}

TEST_F(DownloadTest, LocalFileThatCannotBeCreatedGivesResultTwo) {
  LoopbackHttpServer server([](const SeenRequest&) { return HttpAnswer(200, "data\n"); });
  const std::string local = LocalPath("missing-folder/f.txt");
  CURLDownloader downloader;
  EXPECT_EQ(downloader.DownloadToFile("http://" + server.HostPort() + "/a", local), 2);
  EXPECT_EQ(downloader.m_strError, "Error: cannot create the local file " + local);
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(DownloadTest, ServerThatIsNotThereGivesTheLayersErrorText) {
  std::uint16_t port = 0;
  {
    LoopbackHttpServer gone([](const SeenRequest&) { return HttpAnswer(200, ""); });
    port = gone.Port();
  }
  CURLDownloader downloader;
  EXPECT_EQ(downloader.DownloadToFile("http://localhost:" + std::to_string(port) + "/a", LocalPath("c.txt")), 2);
  EXPECT_EQ(downloader.m_strError.rfind("Error: (", 0), 0u) << downloader.m_strError;
  EXPECT_GT(downloader.m_strError.size(), std::string("Error: (7) ").size());
  EXPECT_FALSE(std::filesystem::exists(LocalPath("c.txt")));
}

TEST_F(DownloadTest, FtpFetchCopiesTheFileAsIs) {
  const std::string contents = "binary\r\nas sent\n\x01\x02";
  LoopbackFtpServer server({{"/pub/a.txt", contents}, {"/empty.txt", ""}});
  CURLDownloader downloader;
  EXPECT_EQ(
      downloader.DownloadToFile("ftp://localhost:" + std::to_string(server.Port()) + "/pub/a.txt", LocalPath("a.txt")),
      0)
      << downloader.m_strError;
  EXPECT_EQ(ReadAll(LocalPath("a.txt")), contents);
  EXPECT_EQ(
      downloader.DownloadToFile("ftp://localhost:" + std::to_string(server.Port()) + "/empty.txt", LocalPath("e.txt")),
      0);
  EXPECT_TRUE(std::filesystem::exists(LocalPath("e.txt")));
  EXPECT_EQ(
      downloader.DownloadToFile("ftp://localhost:" + std::to_string(server.Port()) + "/none.txt", LocalPath("n.txt")),
      2);
  EXPECT_EQ(downloader.m_strError.rfind("Error: (", 0), 0u) << downloader.m_strError;
  EXPECT_FALSE(std::filesystem::exists(LocalPath("n.txt")));
}

TEST_F(DownloadTest, FailedFtpFetchIsAnInternetErrorAndLeavesNoFile) {
  std::uint16_t port = 0;
  {
    LoopbackHttpServer gone([](const SeenRequest&) { return HttpAnswer(200, ""); });
    port = gone.Port();
  }
  CURLDownloader downloader;
  EXPECT_EQ(downloader.DownloadToFile("ftp://localhost:" + std::to_string(port) + "/pub/a.txt", LocalPath("f.txt")), 2);
  EXPECT_EQ(downloader.m_strError.rfind("Error: (", 0), 0u) << downloader.m_strError;
  EXPECT_FALSE(std::filesystem::exists(LocalPath("f.txt")));
}

TEST_F(DownloadTest, LongLinesAndLargeBodiesArriveWhole) {
  std::string body(3000, 'a');  // one line longer than the copy buffer
  body += "\n";
  for (int i = 0; i < 20000; ++i) body += "KXYZ 061400Z 27010KT 10SM CLR 12/04 A2992 line " + std::to_string(i) + "\n";
  body += "no line end at the end";
  LoopbackHttpServer server([&body](const SeenRequest&) { return HttpAnswer(200, body); });
  CURLDownloader downloader;
  EXPECT_EQ(downloader.DownloadToFile("http://" + server.HostPort() + "/big", LocalPath("big.txt")), 0);
  EXPECT_EQ(ReadText(LocalPath("big.txt")), body);
}

TEST_F(DownloadTest, DottedHostsGoThroughTheProxyAndPlainNamesDirect) {
  LoopbackHttpServer proxy([](const SeenRequest& request) { return HttpAnswer(200, "via proxy " + request.target); });
  LoopbackHttpServer direct([](const SeenRequest& request) { return HttpAnswer(200, "direct " + request.target); });
  SetSetting("HttpProxyPort", std::to_string(proxy.Port()));

  CURLDownloader downloader;
  EXPECT_EQ(downloader.DownloadToFile("http://weather.example.test/obs/03120614.metar", LocalPath("p.txt")), 0);
  std::string viaProxy = ReadText(LocalPath("p.txt"));
  // Wine's WinInet names the default port in the proxied URL; the same request.
  if (viaProxy == "via proxy http://weather.example.test:80/obs/03120614.metar") {
    viaProxy = "via proxy http://weather.example.test/obs/03120614.metar";
  }
  EXPECT_EQ(viaProxy, "via proxy http://weather.example.test/obs/03120614.metar");
  EXPECT_EQ(downloader.DownloadToFile("http://" + direct.HostPort() + "/obs/x", LocalPath("d.txt")), 0);
  EXPECT_EQ(ReadText(LocalPath("d.txt")), "direct /obs/x");

  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0].Header("Host"), "weather.example.test");
  EXPECT_EQ(direct.Requests().size(), 1u);
}

TEST_F(DownloadTest, ProxyThatIsNotListeningIsAnInternetError) {
  std::uint16_t port = 0;
  {
    LoopbackHttpServer gone([](const SeenRequest&) { return HttpAnswer(200, ""); });
    port = gone.Port();
  }
  SetSetting("HttpProxyPort", std::to_string(port));
  CURLDownloader downloader;
  EXPECT_EQ(downloader.DownloadToFile("http://weather.example.test/a", LocalPath("n.txt")), 2);
  EXPECT_EQ(downloader.m_strError.rfind("Error: (", 0), 0u) << downloader.m_strError;
}

#ifndef _WIN32
// Without proxy settings the environment's proxy applies, as for other programs of the system;
// with a proxy port of the program's own, the environment is not looked at.
TEST_F(DownloadTest, SystemProxyUnlessTheLocalProxiesAreAskedFor) {
  LoopbackHttpServer systemProxy([](const SeenRequest& r) { return HttpAnswer(200, "system " + r.target); });
  LoopbackHttpServer localProxy([](const SeenRequest& r) { return HttpAnswer(200, "local " + r.target); });
  const ScopedEnv variable("http_proxy", "http://127.0.0.1:" + std::to_string(systemProxy.Port()));
  const ScopedEnv none("no_proxy", std::nullopt);
  const ScopedEnv noneUpper("NO_PROXY", std::nullopt);
  struct Case {
    const char* name;
    std::vector<std::pair<const char*, std::string>> settings;
    std::string body;
  };
  const Case cases[] = {
      {"no settings", {}, "system http://weather.example.test/obs/a"},
      {"a proxy port",
       {{"HttpProxyPort", std::to_string(localProxy.Port())}},
       "local http://weather.example.test/obs/a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& [name, value] : c.settings) SetSetting(name, value);
    CURLDownloader downloader;
    EXPECT_EQ(downloader.DownloadToFile("http://weather.example.test/obs/a", LocalPath("p.txt")), 0);
    EXPECT_EQ(ReadText(LocalPath("p.txt")), c.body);
  }
}
#endif

#ifndef _WIN32
// https with certificates checked: the test's own authority is trusted only through the test
// variable; a certificate no trusted authority signed is a failed download that says so.
TEST_F(DownloadTest, HttpsIsVerifiedAndARedirectMayLeadFromHttpToHttps) {
  const TestTlsIdentity identity = TestTlsIdentity::Make();
  const TestTlsIdentity stranger = TestTlsIdentity::Make(true);
  const std::string caFile = m_Dir.Write("ca.pem", identity.caPem).string();
  LoopbackTlsServer good(identity, [](const SeenRequest&) { return HttpAnswer(200, "secure\n"); });
  LoopbackTlsServer wrong(stranger, [](const SeenRequest&) { return HttpAnswer(200, "never\n"); });
  LoopbackHttpServer plain([&](const SeenRequest& request) {
    return request.target == "/up" ? HttpAnswer(302, "", "Location: https://" + good.HostPort() + "/x\r\n")
                                   : HttpAnswer(200, "plain\n");
  });
  LoopbackTlsServer down(identity, [&](const SeenRequest&) {
    return HttpAnswer(302, "", "Location: http://" + plain.HostPort() + "/x\r\n");
  });
  struct Case {
    const char* name;
    std::string url;
    bool trustTestAuthority;
    int result;
    std::string content;  // of the file, when the result is 0
    std::string reasonStart;
  };
  const std::string refused = "the certificate of localhost was not accepted (";
  const Case cases[] = {
      {"trusted", "https://" + good.HostPort() + "/x", true, 0, "secure\n", ""},
      {"http to https", "http://" + plain.HostPort() + "/up", true, 0, "secure\n", ""},
      {"the system's authorities only", "https://" + good.HostPort() + "/x", false, 2, "", refused},
      {"signed by no one trusted", "https://" + wrong.HostPort() + "/x", true, 2, "", refused},
      {"https to http", "https://" + down.HostPort() + "/x", true, 2, "",
       "the redirected URL does not reference a HTTP resource."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv trust(kTestCaFileVariable, c.trustTestAuthority ? std::optional<std::string>(caFile) : std::nullopt);
    const std::string local = LocalPath("tls.txt");
    std::filesystem::remove(local);
    CURLDownloader downloader;
    EXPECT_EQ(downloader.DownloadToFile(c.url, local), c.result) << downloader.m_strError;
    EXPECT_EQ(std::filesystem::exists(local), c.result == 0);
    if (c.result == 0) {
      EXPECT_EQ(ReadText(local), c.content);
    }
    EXPECT_EQ(downloader.m_strReason.rfind(c.reasonStart, 0), 0u) << downloader.m_strReason;
    if (c.result != 0) std::cout << c.name << ": " << downloader.m_strReason << "\n";
  }
  ASSERT_FALSE(good.Requests().empty());
  EXPECT_EQ(good.Requests()[0].Header("User-Agent"), "Altivane/0.1");
  EXPECT_TRUE(wrong.Requests().empty());
}
#endif
}  // namespace
}  // namespace altivane::test
