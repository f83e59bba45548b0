#pragma once
#include <filesystem>
#include <string>

namespace altivane::test {

// Folder of the real-world weather data (shared/data beside the clone).
std::filesystem::path SharedDataDir();
// True when the real-world data folder is present.
bool HaveSharedData();
// The repository's own folder (for data/sample and tests/data).
std::filesystem::path SourceDir();

// The seed of a test's random sample: $ALTIVANE_TEST_SEED when set (to replay a failure), else a
// new one each run. Recorded as the test's property "seed" and printed, so a failure names it.
unsigned TestSeed();

// A fresh empty folder, removed when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return m_Path; }
  // Writes bytes to a file below the folder (creating sub-folders) and returns its path.
  std::filesystem::path Write(const std::string& relative, const std::string& bytes) const;

 private:
  std::filesystem::path m_Path;
};

}  // namespace altivane::test

// Skips the current test when the shared data folder is absent.
#define ALTIVANE_REQUIRE_SHARED_DATA()                                                                    \
  do {                                                                                                    \
    if (!::altivane::test::HaveSharedData())                                                              \
      GTEST_SKIP() << "real-world data folder not found: " << ::altivane::test::SharedDataDir().string(); \
  } while (0)

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kUnderAddressSanitizer = true;
#else
inline constexpr bool kUnderAddressSanitizer = false;
#endif
#else
inline constexpr bool kUnderAddressSanitizer = false;
#endif
