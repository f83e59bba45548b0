#pragma once
// The main window's controls for every thread. A worker never calls into the window itself
// (the window's thread may be waiting for that worker in StopUpdateCycle): it records the new
// state and posts kApplyControls; the window's thread applies it with Apply().
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "platform/controls.h"

inline constexpr UINT kApplyControls = WM_APP + 0x20;

class WindowText : public IStatusField, public ITimeField {
 public:
  WindowText(HWND dialog, int id) : m_Dialog(dialog), m_Id(id) {}
  void SetText(const std::string& text) override;
  std::string GetText() const override;
  // On the window's thread: shows the latest text.
  void Apply();

 private:
  HWND m_Dialog;
  int m_Id;
  mutable std::mutex m_Mutex;
  std::string m_Text;
  bool m_Changed = false;
};

class WindowButton : public IButton {
 public:
  WindowButton(HWND dialog, int id, bool enabled) : m_Dialog(dialog), m_Id(id), m_Enabled(enabled) {}
  void Enable(bool enabled) override;
  bool IsEnabled() const override { return m_Enabled.load(); }
  void Apply();

 private:
  HWND m_Dialog;
  int m_Id;
  std::atomic<bool> m_Enabled;
};
