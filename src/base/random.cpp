#include "base/random.h"

#include <atomic>

namespace {
// Atomic so that draws from the weather writer's thread and the readers never race; the
// sequence is the same as a plain variable's when one thread draws at a time.
std::atomic<std::uint32_t> g_RandomState{1};
}  // namespace

void SeedRandom(std::uint32_t seed) { g_RandomState.store(seed); }

int NextRandom() {
  std::uint32_t state = g_RandomState.load();
  std::uint32_t next;
  do {
    next = state * 214013u + 2531011u;
  } while (!g_RandomState.compare_exchange_weak(state, next));
  return static_cast<int>((next >> 16) & 0x7FFFu);
}
