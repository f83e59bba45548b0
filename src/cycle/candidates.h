#pragma once
// The candidate list of the update pass: the active simulator stations with their squared
// distance from the aircraft, nearest first. A fixed array filled anew by every pass.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class METAR_Station;

inline constexpr int kMaxCandidates = 20000;

struct Candidate {
  double m_SquaredDistance = 0.0;  // square nautical miles
  METAR_Station* m_Station = nullptr;
  std::int32_t m_Order = 0;  // position in the walk that built the list
};

class CandidateList {
 public:
  CandidateList();
  CandidateList(const CandidateList&) = delete;
  CandidateList& operator=(const CandidateList&) = delete;

  void Clear() { m_Count = 0; }
  // Appends an entry; false (and nothing stored) once the list holds kMaxCandidates.
  // A NaN distance (a station without a usable position) is kept as +infinity, so it sorts last.
  bool Add(double squaredDistance, METAR_Station* station);
  // Ascending squared distance; equal distances keep the order in which they were added.
  void Sort();

  int Count() const { return m_Count; }
  const Candidate& operator[](int index) const { return (*m_Entries)[static_cast<std::size_t>(index)]; }

 private:
  std::unique_ptr<std::array<Candidate, kMaxCandidates>> m_Entries;
  int m_Count = 0;
};

// Fills the list anew with the active stations (state not 0) of the simulator's stations, in
// their order, with their squared distance from the aircraft, and sorts it. Stations beyond
// the list's capacity are not candidates. Returns the number of active stations left out.
int BuildCandidateList(CandidateList& list, const std::vector<METAR_Station*>& simStations, double latitude,
                       double longitude);
