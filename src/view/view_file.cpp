#include "view/view_file.h"

#include <fstream>
#include <mutex>
#include <system_error>

#include "platform/paths.h"

namespace {

std::mutex g_ListenerMutex;
std::function<void(const std::string&)> g_Listener;

}  // namespace

std::filesystem::path WeatherViewPath(const std::string& weatherFolder) {
  return NativePath(weatherFolder + kWeatherViewFileName);
}

bool WriteWeatherView(const std::filesystem::path& target, const std::string& html) {
  std::filesystem::path temporary = target;
  temporary += ".tmp";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(html.data(), static_cast<std::streamsize>(html.size()));
    file.close();
    if (!file) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, target, ec);
  if (ec) {
    std::filesystem::remove(temporary, ec);
    return false;
  }
  return true;
}

void SetWeatherViewListener(std::function<void(const std::string&)> listener) {
  std::lock_guard lock(g_ListenerMutex);
  g_Listener = std::move(listener);
}

void NotifyWeatherViewWritten(const std::string& path) {
  std::function<void(const std::string&)> listener;
  {
    std::lock_guard lock(g_ListenerMutex);
    listener = g_Listener;
  }
  if (listener) listener(path);
}
