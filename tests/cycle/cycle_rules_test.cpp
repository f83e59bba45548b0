#include "cycle/cycle_rules.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cycle/candidates.h"
#include "stations/station_records.h"

namespace {

// Records what the walk does, one line per action: "new K", "refresh K", "radius N", "all N".
class RecordingSink : public StationWalkSink {
 public:
  void SendNew(METAR_Station& s) override { Log("new " + s.m_Key); }
  void SendRefresh(METAR_Station& s) override { Log("refresh " + s.m_Key); }
  void CommitRadius(int radius) override { Log("radius " + std::to_string(radius)); }
  void CommitAll(int n) override { Log("all " + std::to_string(n)); }
  bool StopRequested() override { return m_StopAfter >= 0 && m_Sent >= m_StopAfter; }
  bool HasWeather(const METAR_Station& s) override { return s.m_Key != m_Empty; }

  std::vector<std::string> m_Log;
  int m_StopAfter = -1;  // stop once this many stations were sent
  std::string m_Empty;   // the station that would get no value

 private:
  void Log(const std::string& line) {
    if (line.rfind("new", 0) == 0 || line.rfind("refresh", 0) == 0) ++m_Sent;
    m_Log.push_back(line);
  }
  int m_Sent = 0;
};

// Stations named S0, S1, ... at the given squared distances, all in one state.
struct Walk {
  Walk(const std::vector<double>& distances, std::int32_t state = kStateToSend) {
    for (std::size_t i = 0; i < distances.size(); ++i) {
      auto station = std::make_unique<METAR_Station>();
      station->m_Key = "S" + std::to_string(i);
      station->m_State = state;
      list.Add(distances[i], station.get());
      stations.push_back(std::move(station));
    }
    list.Sort();
  }
  std::vector<std::unique_ptr<METAR_Station>> stations;
  CandidateList list;
  RecordingSink sink;
};

std::vector<double> Distances(int count, double squared) {
  return std::vector<double>(static_cast<std::size_t>(count), squared);
}

int CountPrefix(const std::vector<std::string>& log, const std::string& prefix) {
  int n = 0;
  for (const auto& line : log) n += line.rfind(prefix, 0) == 0;
  return n;
}

TEST(WalkStations, HowManyStationsAreSet) {
  struct Case {
    const char* name;
    std::vector<double> distances;
    int expectSet;
  };
  std::vector<Case> cases = {
      {"empty list sets nothing", {}, 0},
      {"51 stations however far are all set", Distances(51, 1.0e8), 51},
      {"the 52nd far station is not set", Distances(60, 1.0e8), 51},
      {"a station exactly on the radius is still set",
       [] {
         auto d = Distances(51, 100.0);
         d.push_back(22500.0);
         d.push_back(22500.000001);
         return d;
       }(),
       52},
      {"everything within the radius beyond the minimum",
       [] {
         auto d = Distances(80, 10000.0);
         d.push_back(30000.0);
         d.push_back(40000.0);
         return d;
       }(),
       80},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    Walk walk(c.distances);
    StationWalkResult result = WalkStations(walk.list, walk.sink);
    EXPECT_EQ(result.m_StationsSet, c.expectSet);
    EXPECT_FALSE(result.m_Stopped);
    EXPECT_EQ(CountPrefix(walk.sink.m_Log, "new "), c.expectSet);
    if (c.expectSet > 0) {
      EXPECT_EQ(walk.sink.m_Log.back(), "all " + std::to_string(c.expectSet));
    } else {
      EXPECT_TRUE(walk.sink.m_Log.empty());
    }
    int inState2 = 0;
    for (auto& s : walk.stations) inState2 += s->m_State == kStateSent;
    EXPECT_EQ(inState2, c.expectSet);
  }
}

TEST(WalkStations, SendsNearestFirstAndCommitsAtEachRadiusStep) {
  // Distances in nm, sorted: 5, 21 (beyond 20), 22, 41 (beyond 40), 101 (beyond 60 and 80, but
  // the step grows once per station), 150 (beyond 80), 150 (beyond 100).
  std::vector<double> nm = {150, 21, 5, 41, 22, 101, 150};
  std::vector<double> squared;
  for (double d : nm) squared.push_back(d * d);
  Walk walk(squared);
  WalkStations(walk.list, walk.sink);
  std::vector<std::string> expect = {"new S2",    "new S1", "radius 20", "new S4", "new S3",     "radius 40", "new S5",
                                     "radius 60", "new S0", "radius 80", "new S6", "radius 100", "all 7"};
  EXPECT_EQ(walk.sink.m_Log, expect);
}

TEST(WalkStations, RadiusStepsGrowBy20ThenBy100) {
  RadiusSteps steps;
  std::vector<int> seen;
  for (int i = 0; i < 9; ++i) {
    seen.push_back(steps.Current());
    steps.Advance();
  }
  EXPECT_EQ(seen, (std::vector<int>{20, 40, 60, 80, 100, 200, 300, 400, 500}));
  RadiusSteps first;
  EXPECT_FALSE(first.Passed(400.0));  // exactly on the step is inside it
  EXPECT_TRUE(first.Passed(400.0001));
}

TEST(WalkStations, StateDecidesWhatIsSent) {
  Walk walk({1.0, 4.0, 9.0});
  walk.stations[1]->m_State = kStateSent;
  walk.stations[2]->m_State = kStateIdle;
  StationWalkResult result = WalkStations(walk.list, walk.sink);
  EXPECT_EQ(result.m_StationsSet, 2);
  EXPECT_EQ(walk.sink.m_Log, (std::vector<std::string>{"new S0", "refresh S1", "all 2"}));
  EXPECT_EQ(walk.stations[2]->m_State, kStateIdle);
}

TEST(WalkStations, StationWithoutAnyValueIsNeitherSentNorCounted) {
  Walk walk({1.0, 4.0, 9.0});
  walk.sink.m_Empty = "S1";
  StationWalkResult result = WalkStations(walk.list, walk.sink);
  EXPECT_EQ(result.m_StationsSet, 2);
  EXPECT_EQ(walk.sink.m_Log, (std::vector<std::string>{"new S0", "new S2", "all 2"}));
  EXPECT_EQ(walk.stations[1]->m_State, kStateToSend);  // sent once weather for it comes
}

TEST(WalkStations, PassWithNothingActiveSendsNothing) {
  Walk walk(Distances(5, 1.0), kStateIdle);
  StationWalkResult result = WalkStations(walk.list, walk.sink);
  EXPECT_EQ(result.m_StationsSet, 0);
  EXPECT_TRUE(walk.sink.m_Log.empty());
}

TEST(WalkStations, StopLeavesAfterTheCurrentStationWithoutClosingCommit) {
  struct Case {
    int stopAfter;
    int expectSet;
  };
  for (Case c : {Case{0, 0}, Case{1, 1}, Case{3, 3}}) {
    SCOPED_TRACE(c.stopAfter);
    Walk walk(Distances(10, 1.0));
    walk.sink.m_StopAfter = c.stopAfter;
    StationWalkResult result = WalkStations(walk.list, walk.sink);
    EXPECT_TRUE(result.m_Stopped);
    EXPECT_EQ(result.m_StationsSet, c.expectSet);
    EXPECT_EQ(CountPrefix(walk.sink.m_Log, "new "), c.expectSet);
    EXPECT_EQ(CountPrefix(walk.sink.m_Log, "all "), 0);
  }
}

TEST(CycleRules, PositionScaling) {
  EXPECT_DOUBLE_EQ(kLatitudeScale, 8.998425275576774e-6);
  EXPECT_DOUBLE_EQ(kLongitudeScale, 8.381903171539307e-8);
  EXPECT_DOUBLE_EQ(LatitudeFromRaw(10001750), 90.0);
  EXPECT_DOUBLE_EQ(LatitudeFromRaw(-10001750), -90.0);
  EXPECT_DOUBLE_EQ(LongitudeFromRaw(INT32_MIN), -180.0);
  EXPECT_DOUBLE_EQ(LongitudeFromRaw(1 << 30), 90.0);
}

TEST(CycleRules, MovementThresholdIsStrictlyMoreThan15Nm) {
  EXPECT_FALSE(MovedFarEnough(0.0));
  EXPECT_FALSE(MovedFarEnough(225.0));
  EXPECT_TRUE(MovedFarEnough(225.0001));
  EXPECT_TRUE(MovedFarEnough(16.0 * 16.0));
}

}  // namespace
