#pragma once
// Copies the resource behind one http or ftp URL into one local file.
#include <exception>
#include <string>

// Leaves a failed step of DownloadToFile; never escapes it. m_nCode is the result it stands for.
class CURLDown2FileException : public std::exception {
 public:
  CURLDown2FileException() = default;
  explicit CURLDown2FileException(int code) : m_nCode(code) {}
  const char* what() const noexcept override { return "URL download failed"; }

  int m_nCode = 0;
};

// One object per download. Not for use by two threads at once; separate objects may download
// on separate threads.
class CURLDownloader {
 public:
  CURLDownloader() = default;
  virtual ~CURLDownloader() = default;

  // 0: the transfer ran to its end (for http whatever the final status was: a 404 page is
  //    saved like any other);
  // 1: the URL is not http or ftp, or the server refused the password;
  // 2: a redirection could not be followed, the redirected request did not answer 200, the
  //    internet layer failed, or the local file could not be created or written.
  // Follows one redirection (301/302/303) itself. The local file is created only once the
  // answer is known to be saved.
  int DownloadToFile(std::string url, std::string localPath);

  // The text of the last failure; a later success leaves it alone.
  std::string m_strError;
};
