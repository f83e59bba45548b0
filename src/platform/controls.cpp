#include "platform/controls.h"

#include <cstdarg>

#include "platform/progress.h"
#include "base/text.h"

std::atomic<IStatusField*> g_pStatusField{nullptr};
std::atomic<IButton*> g_pStartButton{nullptr};
std::atomic<IButton*> g_pEndButton{nullptr};
std::atomic<ITimeField*> g_pTimeField{nullptr};

void SetStatusText(const std::string& text) {
  if (IStatusField* field = g_pStatusField.load()) field->SetText(text);
}

static std::string FormatV(const char* format, va_list args) {
  std::string text;
  AppendFormatV(text, format, args);
  return text;
}

void SetStatusTextF(const char* format, int value) { SetStatusTextV(format, value); }

void SetStatusTextV(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  SetStatusText(text);
}

void ProgressSink::ShowF(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  Show(text);
}

ProgressSink& StatusFieldProgress() {
  class StatusFieldSink final : public ProgressSink {
   public:
    void Show(const std::string& text) override { SetStatusText(text); }
  };
  static StatusFieldSink sink;
  return sink;
}

void EnableStartButton(bool enabled) {
  if (IButton* button = g_pStartButton.load()) button->Enable(enabled);
}

void EnableEndButton(bool enabled) {
  if (IButton* button = g_pEndButton.load()) button->Enable(enabled);
}
