#include "base/random.h"

#include <gtest/gtest.h>

namespace {

TEST(Random, FixedSequenceFromASeed) {
  // The generator's first outcomes for seed 1, known from the same LCG's published sequence.
  SeedRandom(1);
  const int expected[] = {41, 18467, 6334, 26500, 19169};
  for (int want : expected) EXPECT_EQ(NextRandom(), want);
  SeedRandom(1);
  EXPECT_EQ(NextRandom(), 41);  // reseeding restarts the sequence
}

TEST(Random, OutcomesStayInRange) {
  SeedRandom(0xDEADBEEF);
  for (int i = 0; i < 100000; ++i) {
    int r = NextRandom();
    ASSERT_GE(r, 0);
    ASSERT_LE(r, kRandomMax);
  }
}

}  // namespace
