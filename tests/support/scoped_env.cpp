#include "support/scoped_env.h"

#include <cstdlib>

namespace altivane::test {

void SetEnv(const std::string& name, const std::optional<std::string>& value) {
#if defined(_WIN32)
  // An empty value removes the variable here.
  _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
  if (value)
    setenv(name.c_str(), value->c_str(), 1);
  else
    unsetenv(name.c_str());
#endif
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value) : m_Name(std::move(name)) {
  if (const char* previous = std::getenv(m_Name.c_str())) m_Previous = previous;
  SetEnv(m_Name, value);
}

ScopedEnv::~ScopedEnv() { SetEnv(m_Name, m_Previous); }

}  // namespace altivane::test
