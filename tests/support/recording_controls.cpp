#include "support/recording_controls.h"

#include <algorithm>

namespace altivane::test {

void RecordingStatusField::SetText(const std::string& text) {
  std::lock_guard lock(m_Mutex);
  m_Text = text;
  m_History.push_back(text);
}

std::string RecordingStatusField::GetText() const {
  std::lock_guard lock(m_Mutex);
  return m_Text;
}

std::vector<std::string> RecordingStatusField::History() const {
  std::lock_guard lock(m_Mutex);
  return m_History;
}

bool RecordingStatusField::Saw(const std::string& text) const {
  std::lock_guard lock(m_Mutex);
  return std::find(m_History.begin(), m_History.end(), text) != m_History.end();
}

void RecordingButton::Enable(bool enabled) {
  std::lock_guard lock(m_Mutex);
  m_Enabled = enabled;
}

bool RecordingButton::IsEnabled() const {
  std::lock_guard lock(m_Mutex);
  return m_Enabled;
}

void RecordingTimeField::SetText(const std::string& text) {
  std::lock_guard lock(m_Mutex);
  m_Text = text;
}

std::string RecordingTimeField::GetText() const {
  std::lock_guard lock(m_Mutex);
  return m_Text;
}

RecordingControls::RecordingControls()
    : m_PrevStatus(g_pStatusField.exchange(&status)),
      m_PrevStart(g_pStartButton.exchange(&start)),
      m_PrevEnd(g_pEndButton.exchange(&end)),
      m_PrevTime(g_pTimeField.exchange(&time)) {}

RecordingControls::~RecordingControls() {
  g_pStatusField.store(m_PrevStatus);
  g_pStartButton.store(m_PrevStart);
  g_pEndButton.store(m_PrevEnd);
  g_pTimeField.store(m_PrevTime);
}

}  // namespace altivane::test
