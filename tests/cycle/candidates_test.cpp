#include "cycle/candidates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "stations/station_records.h"

namespace {

void ExpectSortedWithStableTies(const CandidateList& list) {
  for (int i = 1; i < list.Count(); ++i) {
    const Candidate& a = list[i - 1];
    const Candidate& b = list[i];
    ASSERT_LE(a.m_SquaredDistance, b.m_SquaredDistance) << "at " << i;
    if (a.m_SquaredDistance == b.m_SquaredDistance) {
      ASSERT_LT(a.m_Order, b.m_Order) << "at " << i;
    }
  }
}

TEST(CandidateList, FullListOfNearEqualDistancesSortsExactly) {
  // Thousands of entries within 1 square nm of each other (where a comparison by the truncated
  // difference calls them all equal) plus exact duplicates and a spread of far ones.
  std::mt19937 random(7);
  std::uniform_real_distribution<double> jitter(0.0, 0.999);
  std::uniform_real_distribution<double> far(0.0, 1.0e6);
  std::vector<double> distances;
  for (int i = 0; i < kMaxCandidates; ++i) {
    switch (i % 4) {
      case 0: distances.push_back(22500.0 + jitter(random)); break;
      case 1: distances.push_back(400.0); break;
      case 2: distances.push_back(std::nextafter(400.0, 500.0) + jitter(random) * 1e-12); break;
      default: distances.push_back(far(random)); break;
    }
  }
  CandidateList list;
  for (double d : distances) ASSERT_TRUE(list.Add(d, nullptr));
  list.Sort();
  ASSERT_EQ(list.Count(), kMaxCandidates);
  ExpectSortedWithStableTies(list);
  std::sort(distances.begin(), distances.end());
  for (int i = 0; i < list.Count(); ++i) ASSERT_EQ(list[i].m_SquaredDistance, distances[static_cast<std::size_t>(i)]);
}

TEST(CandidateList, BoundedAtCapacityAndRefilledAfterClear) {
  CandidateList list;
  for (int i = 0; i < kMaxCandidates; ++i) ASSERT_TRUE(list.Add(kMaxCandidates - i, nullptr));
  EXPECT_FALSE(list.Add(0.0, nullptr));
  EXPECT_EQ(list.Count(), kMaxCandidates);
  list.Sort();
  EXPECT_EQ(list[0].m_SquaredDistance, 1.0);  // the refused entry left no trace
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  list.Sort();  // an empty list sorts to nothing
  EXPECT_TRUE(list.Add(5.0, nullptr));
  EXPECT_EQ(list[0].m_Order, 0);
}

TEST(CandidateList, NanDistanceSortsLastWithoutBreakingTheOrder) {
  CandidateList list;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double d : {3.0, nan, 1.0, nan, 2.0, std::numeric_limits<double>::infinity()}) list.Add(d, nullptr);
  list.Sort();
  ExpectSortedWithStableTies(list);
  EXPECT_EQ(list[0].m_SquaredDistance, 1.0);
  EXPECT_EQ(list[2].m_SquaredDistance, 3.0);
  for (int i = 3; i < 6; ++i) EXPECT_TRUE(std::isinf(list[i].m_SquaredDistance));
  EXPECT_EQ(list[3].m_Order, 1);  // NaN and infinity tie, in the order they came
  EXPECT_EQ(list[4].m_Order, 3);
  EXPECT_EQ(list[5].m_Order, 5);
}

}  // namespace

namespace {

TEST(BuildCandidateList, ActiveStationsOnlyBoundedAtCapacity) {
  // 22000 active stations, every third one idle; the aircraft at 0,0 and the map listing them
  // farthest first (station i at (33000 - i) / 100 nm north).
  const int total = 33000;
  std::vector<std::unique_ptr<METAR_Station>> records;
  std::vector<METAR_Station*> sim;
  for (int i = 0; i < total; ++i) {
    auto s = std::make_unique<METAR_Station>();
    s->m_Latitude = (total - i) / 6000.0;  // listed farthest first
    s->m_State = i % 3 == 0 ? kStateIdle : (i % 3 == 1 ? kStateToSend : kStateSent);
    sim.push_back(s.get());
    records.push_back(std::move(s));
  }
  CandidateList list;
  int active = 0;
  for (auto* s : sim) active += s->m_State != kStateIdle;
  ASSERT_GT(active, kMaxCandidates);
  EXPECT_EQ(BuildCandidateList(list, sim, 0.0, 0.0), active - kMaxCandidates);
  ASSERT_EQ(list.Count(), kMaxCandidates);
  for (int i = 0; i < list.Count(); ++i) ASSERT_NE(list[i].m_Station->m_State, kStateIdle);
  // The stations kept are the first 20000 active ones in the map's order: the 20000th active
  // one (index 29999) is the nearest of them.
  EXPECT_EQ(list[0].m_Station, sim[29999]);
  EXPECT_EQ(list[kMaxCandidates - 1].m_Station, sim[1]);
  for (int i = 1; i < list.Count(); ++i) ASSERT_LE(list[i - 1].m_SquaredDistance, list[i].m_SquaredDistance);

  // Refilled from scratch: an empty map gives an empty list.
  EXPECT_EQ(BuildCandidateList(list, {}, 0.0, 0.0), 0);
  EXPECT_EQ(list.Count(), 0);
}

}  // namespace
