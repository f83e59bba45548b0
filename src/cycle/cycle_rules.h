#pragma once
// The rules of the update cycle that need no simulator: the fixed settings, the position
// scaling, which candidates a pass sets, the radius steps and the monitor's movement threshold.
// The pass (update_cycle.h) runs them against the simulator link; tests run them against a
// recording sink.
#include <cstdint>

class CandidateList;
class METAR_Station;

inline constexpr double kSearchRadius = 150.0;                                 // nautical miles
inline constexpr double kSearchRadiusSquared = kSearchRadius * kSearchRadius;  // 22500
// The walk goes on up to index kMinimumStationCount inclusive: the 51 nearest are always set.
inline constexpr int kMinimumStationCount = 50;
inline constexpr int kFirstRadiusStep = 20;  // nautical miles
inline constexpr std::int32_t kCycleMessageLevel = 5;
inline constexpr int kMonitorPeriodMs = 1000;
// A new pass once the aircraft has moved more than a tenth of the search radius (15 nm).
inline constexpr double kMoveThresholdSquared = kSearchRadiusSquared * 0.01;  // 225

// The aircraft position as FSUIPC gives it (0x0564 latitude, 0x056C longitude, 32-bit signed).
inline constexpr double kLatitudeScale = 90.0 / 10001750.0;      // 8.998425275576774e-6
inline constexpr double kLongitudeScale = 360.0 / 4294967296.0;  // 8.381903171539307e-8

inline double LatitudeFromRaw(std::int32_t raw) { return raw * kLatitudeScale; }
inline double LongitudeFromRaw(std::int32_t raw) { return raw * kLongitudeScale; }

// The walk's condition for the entry at index: within the minimum count, or within the radius
// (a station exactly on it, 22500, is still set).
inline bool CandidateSelected(int index, double squaredDistance) {
  return index <= kMinimumStationCount || kSearchRadiusSquared >= squaredDistance;
}

// Radius steps 20, 40, 60, 80, 100, 200, 300, ...: at most one increment per station.
class RadiusSteps {
 public:
  int Current() const { return m_Step; }
  // True when a station at this squared distance lies beyond the current step.
  bool Passed(double squaredDistance) const { return static_cast<double>(m_Step * m_Step) < squaredDistance; }
  void Advance() { m_Step += m_Step < 100 ? 20 : 100; }

 private:
  int m_Step = kFirstRadiusStep;
};

// True when the aircraft has moved far enough for a new pass.
inline bool MovedFarEnough(double squaredDistance) { return squaredDistance > kMoveThresholdSquared; }

// What the walk does to the simulator. The pass implements it over the link.
class StationWalkSink {
 public:
  virtual ~StationWalkSink() = default;
  // A station in state 1: prepare its weather and send it set-pending.
  virtual void SendNew(METAR_Station& station) = 0;
  // A station in state 2: send its block again as a refresh.
  virtual void SendRefresh(METAR_Station& station) = 0;
  // The lone 0x0100 command and "Weather Stations in %d nm radius set!".
  virtual void CommitRadius(int radius) = 0;
  // The closing 0x0100 command and "%d Weather stations set!".
  virtual void CommitAll(int stationsSet) = 0;
  // Looked at before the walk and after every station.
  virtual bool StopRequested() = 0;
  // False for a station in state 1 that would get no value at all: it is skipped (not sent,
  // not counted, left in state 1 for weather that comes later).
  virtual bool HasWeather(const METAR_Station& /*station*/) { return true; }
};

struct StationWalkResult {
  int m_StationsSet = 0;
  bool m_Stopped = false;  // left early on a stop request: no closing commit
};

// Walks a sorted candidate list nearest first, sending each selected station and committing at
// every radius step and at the end. Stations set move to state 2.
StationWalkResult WalkStations(const CandidateList& candidates, StationWalkSink& sink);
