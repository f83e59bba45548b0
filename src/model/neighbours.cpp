#include "model/neighbours.h"

#include <algorithm>
#include <cmath>

#include "base/units.h"

long double SquaredDistance(double lat1, double lon1, double lat2, double lon2) {
  if (lat1 == lat2 && lon1 == lon2) return 0.0L;
  long double lonDiff =
      lon1 * lon2 > 0 ? std::max(lon1, lon2) - std::min(lon1, lon2) : std::fabs(lon1) + std::fabs(lon2);
  if (lonDiff > 180.0L) lonDiff = 360.0L - lonDiff;
  const double absLat1 = std::fabs(lat1), absLat2 = std::fabs(lat2);
  const double meanLat =
      lat1 * lat2 > 0 ? (lat1 + lat2) * 0.5 : (std::max(absLat1, absLat2) - std::min(absLat1, absLat2)) * 0.5;
  const long double x = std::cos(RadiansFromDegrees(meanLat)) * lonDiff * 60.0L;
  const long double latDiff = lat1 * lat2 > 0 ? std::max(lat1, lat2) - std::min(lat1, lat2) : absLat1 + absLat2;
  const long double y = latDiff * 60.0L;
  return x * x + y * y;
}

NeighbourSlots::NeighbourSlots() {
  m_Distance.fill(kEmptySlotDistance);
  m_Station.fill(nullptr);
}

void NeighbourSlots::Insert(double squaredDistance, const Weather_Station* station) {
  int slot = 0;
  while (slot < kNeighbourCount && !(m_Distance[slot] > squaredDistance)) ++slot;
  if (slot == kNeighbourCount) return;  // farther than all ten (or not a number)
  for (int i = kNeighbourCount - 1; i > slot; --i) {
    m_Distance[i] = m_Distance[i - 1];
    m_Station[i] = m_Station[i - 1];
  }
  m_Distance[slot] = squaredDistance;
  m_Station[slot] = station;
  if (m_Filled < kNeighbourCount) ++m_Filled;
}
