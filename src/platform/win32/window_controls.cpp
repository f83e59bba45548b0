#include "platform/win32/window_controls.h"

#include "platform/win32/wide.h"

void WindowText::SetText(const std::string& text) {
  {
    std::lock_guard lock(m_Mutex);
    m_Text = text;
    m_Changed = true;
  }
  PostMessageW(m_Dialog, kApplyControls, 0, 0);
}

std::string WindowText::GetText() const {
  // On the window's own thread the control holds what the user typed; elsewhere the last text.
  if (GetWindowThreadProcessId(m_Dialog, nullptr) == GetCurrentThreadId()) {
    HWND control = GetDlgItem(m_Dialog, m_Id);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
  }
  std::lock_guard lock(m_Mutex);
  return m_Text;
}

void WindowText::Apply() {
  std::wstring text;
  {
    std::lock_guard lock(m_Mutex);
    if (!m_Changed) return;
    m_Changed = false;
    text = Widen(m_Text);
  }
  SetDlgItemTextW(m_Dialog, m_Id, text.c_str());
}

void WindowButton::Enable(bool enabled) {
  m_Enabled.store(enabled);
  PostMessageW(m_Dialog, kApplyControls, 0, 0);
}

void WindowButton::Apply() {
  HWND button = GetDlgItem(m_Dialog, m_Id);
  const bool enabled = m_Enabled.load();
  if ((IsWindowEnabled(button) != FALSE) != enabled) EnableWindow(button, enabled);
}
