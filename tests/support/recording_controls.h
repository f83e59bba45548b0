#pragma once
// Test double of the main window's controls: records every status text and button change,
// and installs itself in the process-wide references for the lifetime of the object.
#include <mutex>
#include <string>
#include <vector>

#include "platform/controls.h"

namespace altivane::test {

class RecordingStatusField : public IStatusField {
 public:
  void SetText(const std::string& text) override;
  std::string GetText() const override;
  std::vector<std::string> History() const;
  bool Saw(const std::string& text) const;

 private:
  mutable std::mutex m_Mutex;
  std::string m_Text;
  std::vector<std::string> m_History;
};

class RecordingButton : public IButton {
 public:
  explicit RecordingButton(bool enabled = false) : m_Enabled(enabled) {}
  void Enable(bool enabled) override;
  bool IsEnabled() const override;

 private:
  mutable std::mutex m_Mutex;
  bool m_Enabled;
};

class RecordingTimeField : public ITimeField {
 public:
  void SetText(const std::string& text) override;
  std::string GetText() const override;

 private:
  mutable std::mutex m_Mutex;
  std::string m_Text;
};

// Installs the recording controls as g_pStatusField & co; restores the previous ones on exit.
class RecordingControls {
 public:
  RecordingControls();
  ~RecordingControls();
  RecordingControls(const RecordingControls&) = delete;
  RecordingControls& operator=(const RecordingControls&) = delete;

  RecordingStatusField status;
  RecordingButton start;
  RecordingButton end;
  RecordingTimeField time;

 private:
  IStatusField* m_PrevStatus;
  IButton* m_PrevStart;
  IButton* m_PrevEnd;
  ITimeField* m_PrevTime;
};

}  // namespace altivane::test
