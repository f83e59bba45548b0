#include "support/test_data.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

namespace altivane::test {

std::filesystem::path SharedDataDir() {
  if (const char* env = std::getenv("ALTIVANE_SHARED_DATA"); env && *env) return env;
  return ALTIVANE_SHARED_DATA;
}

bool HaveSharedData() { return std::filesystem::is_directory(SharedDataDir()); }

std::filesystem::path SourceDir() { return ALTIVANE_SOURCE_DIR; }

unsigned TestSeed() {
  unsigned seed = 0;
  if (const char* env = std::getenv("ALTIVANE_TEST_SEED"); env && *env)
    seed = static_cast<unsigned>(std::strtoul(env, nullptr, 10));
  else
    seed = std::random_device{}();
  ::testing::Test::RecordProperty("seed", std::to_string(seed));
  std::printf("seed %u (ALTIVANE_TEST_SEED=%u replays this sample)\n", seed, seed);
  return seed;
}

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = base / ("altivane-test-" + std::to_string(rd()) + "-" + std::to_string(counter.fetch_add(1)));
    if (std::filesystem::create_directory(candidate)) {
      m_Path = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(m_Path, ec);
}

std::filesystem::path TempDir::Write(const std::string& relative, const std::string& bytes) const {
  auto path = m_Path / relative;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
  return path;
}

}  // namespace altivane::test
