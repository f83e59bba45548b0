#pragma once
// The nearest stations of a position: the distance they are ranked by and the ten slots they
// are kept in. The walk of blending and the grid of neighbour_index both rank with these.
#include <array>

class Weather_Station;

inline constexpr int kNeighbourCount = 10;
// Distance of an empty neighbour slot: beyond any real squared distance.
inline constexpr double kEmptySlotDistance = 9.9999e103;

// Squared distance in square nautical miles, flat earth with 60 nm to the degree: the
// longitude difference goes the short way round the 180 degree meridian, and across the
// equator the mean latitude is half the difference of the absolute latitudes.
//   (0, 179) to (0, -179) -> 120^2 = 14400;   (10, 20) to (11, 20) -> 3600
long double SquaredDistance(double lat1, double lon1, double lat2, double lon2);

// The nearest stations seen so far, ascending. A station goes before the first slot that is
// strictly farther (so after any at the same distance); the last one drops out.
struct NeighbourSlots {
  NeighbourSlots();
  void Insert(double squaredDistance, const Weather_Station* station);
  int Filled() const { return m_Filled; }

  std::array<double, kNeighbourCount> m_Distance;
  std::array<const Weather_Station*, kNeighbourCount> m_Station;
  int m_Filled = 0;
};
