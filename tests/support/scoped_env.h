#pragma once
// Sets (or with nullopt removes) an environment variable for the lifetime of the object and puts
// the previous state back afterwards; works with the C runtime of every target.
#include <optional>
#include <string>

namespace altivane::test {

void SetEnv(const std::string& name, const std::optional<std::string>& value);

class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_Name;
  std::optional<std::string> m_Previous;
};

}  // namespace altivane::test
