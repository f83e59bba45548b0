#pragma once
// Copies the resource behind one http, https or ftp URL into one local file.
#include <exception>
#include <functional>
#include <string>

// What DownloadToFile did. The number is the one the status field shows ("Error 2 at ...").
enum DownloadResult : int {
  // The transfer ran to its end (for http whatever the final status was: a 404 page is saved
  // like any other).
  kDownloadDone = 0,
  // The URL is not http, https or ftp, or the server refused the password.
  kDownloadRefused = 1,
  // A redirection could not be followed, the redirected request did not answer 200, the
  // internet layer failed (a certificate not accepted too), the body was refused by the
  // check, or the local file could not be created or written.
  kDownloadFailed = 2,
};

// Leaves a failed step of DownloadToFile; never escapes it. m_nCode is the result it stands for.
class CURLDown2FileException : public std::exception {
 public:
  CURLDown2FileException() = default;
  explicit CURLDown2FileException(DownloadResult code) : m_nCode(code) {}
  const char* what() const noexcept override { return "URL download failed"; }

  DownloadResult m_nCode = kDownloadDone;
};

// One object per download. Not for use by two threads at once; separate objects may download
// on separate threads.
class CURLDownloader {
 public:
  CURLDownloader() = default;
  virtual ~CURLDownloader() = default;

  // Follows one redirection (301/302/303) itself, from http to http or https, from https only
  // to https. The body goes to a temporary file in the
  // same folder, which replaces the local file only when the transfer ran to its end: a
  // failed or cut-short download leaves an earlier copy as it was, and leaves no file where
  // there was none.
  DownloadResult DownloadToFile(std::string url, std::string localPath);

  // The text of the last failure; a later success leaves it alone.
  std::string m_strError;
  // The final HTTP status of the last call (0 when none came, and for ftp).
  unsigned m_nStatusCode = 0;
  // When set, only a 200 answer is saved: any other leaves the local file as it was, with
  // the result unchanged (m_nStatusCode tells the caller what came).
  bool m_bSaveOnlyOk = false;

  // Through the proxies on the local machine, whatever the settings say (else only when they
  // ask for them).
  bool m_bLocalProxies = false;
  // Looks at a complete http body (the temporary file) before it replaces the local file:
  // false, with the reason in why, refuses it (result 2, the local file left as it was).
  std::function<bool(const std::string& path, std::string& why)> m_fnCheckBody;

  // The same failure as one sentence for the status field, naming what failed:
  // "proxy localhost:9202 refused the connection.". Set and kept like m_strError.
  std::string m_strReason;

 private:
  void KeepAs(const std::string& partPath, const std::string& localPath);
};
