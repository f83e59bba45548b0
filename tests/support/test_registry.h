#pragma once
// A private, empty registry for one test, so tests never touch the machine's own entries.
// Elsewhere: a fresh stand-in file through $ALTIVANE_REGISTRY. On Windows: HKLM, HKCU and HKCR
// of this process are redirected to scratch keys, deleted again at the end.
#include <memory>

#include "support/test_data.h"

namespace altivane::test {

class TestRegistry {
 public:
  TestRegistry();
  ~TestRegistry();
  TestRegistry(const TestRegistry&) = delete;
  TestRegistry& operator=(const TestRegistry&) = delete;

 private:
  struct State;
  std::unique_ptr<State> m_State;
};

}  // namespace altivane::test
