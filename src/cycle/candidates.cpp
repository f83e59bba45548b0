#include "cycle/candidates.h"

#include "model/blending.h"
#include "stations/station_records.h"

#include <algorithm>
#include <cmath>
#include <limits>

CandidateList::CandidateList() : m_Entries(std::make_unique<std::array<Candidate, kMaxCandidates>>()) {}

bool CandidateList::Add(double squaredDistance, METAR_Station* station) {
  if (m_Count >= kMaxCandidates) return false;
  if (std::isnan(squaredDistance)) squaredDistance = std::numeric_limits<double>::infinity();
  (*m_Entries)[static_cast<std::size_t>(m_Count)] = Candidate{squaredDistance, station, m_Count};
  ++m_Count;
  return true;
}

void CandidateList::Sort() {
  // Exact distances with the insertion order as tie-break: a strict weak ordering (no NaN can
  // be stored), and the same order on every run for stations at the same distance.
  std::sort(m_Entries->begin(), m_Entries->begin() + m_Count, [](const Candidate& a, const Candidate& b) {
    if (a.m_SquaredDistance != b.m_SquaredDistance) return a.m_SquaredDistance < b.m_SquaredDistance;
    return a.m_Order < b.m_Order;
  });
}

int BuildCandidateList(CandidateList& list, const std::vector<METAR_Station*>& simStations, double latitude,
                       double longitude) {
  list.Clear();
  int leftOut = 0;
  for (METAR_Station* station : simStations) {
    if (station->m_State == kStateIdle) continue;
    const double distance =
        static_cast<double>(SquaredDistance(latitude, longitude, station->m_Latitude, station->m_Longitude));
    if (!list.Add(distance, station)) ++leftOut;
  }
  list.Sort();
  return leftOut;
}
