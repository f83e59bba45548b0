#pragma once
// Where a reader of outside input tells how far it has come: one text at a time, each replacing
// the one before ("%d METAR Stations read and valid."). The program's own sink is the main
// window's status field; tests and tools pass their own.
#include <string>

class ProgressSink {
 public:
  virtual void Show(const std::string& text) = 0;

  // printf-style text with any arguments.
  void ShowF(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

 protected:
  ~ProgressSink() = default;
};

// The status field (SetStatusText); nothing is shown while there is none.
ProgressSink& StatusFieldProgress();
