#pragma once
// The main window's controls as the rest of the program sees them. Worker threads write
// through these too, so every implementation must be safe to call from any thread and must
// not block on the window's own thread.
#include <atomic>
#include <string>

class IStatusField {
 public:
  virtual ~IStatusField() = default;
  // Replaces the whole one-line text.
  virtual void SetText(const std::string& text) = 0;
  virtual std::string GetText() const = 0;
};

class IButton {
 public:
  virtual ~IButton() = default;
  virtual void Enable(bool enabled) = 0;
  virtual bool IsEnabled() const = 0;
};

class ITimeField {
 public:
  virtual ~ITimeField() = default;
  virtual void SetText(const std::string& text) = 0;
  virtual std::string GetText() const = 0;
};

// Set by the main window when it initialises; none before that (and in tools and tests
// that have no window). The objects they point to outlive every thread that uses them.
extern std::atomic<IStatusField*> g_pStatusField;
extern std::atomic<IButton*> g_pStartButton;
extern std::atomic<IButton*> g_pEndButton;
extern std::atomic<ITimeField*> g_pTimeField;

// Writes the status text when there is a status field; no-op otherwise.
void SetStatusText(const std::string& text);
// printf-style status text with one integer, e.g. "%d METAR Stations read and valid.".
void SetStatusTextF(const char* format, int value);
// printf-style status text with any arguments.
void SetStatusTextV(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// Enables or disables "Start" / "End" when the buttons exist.
void EnableStartButton(bool enabled);
void EnableEndButton(bool enabled);
