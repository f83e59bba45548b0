#include "model/neighbour_index.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "base/units.h"
#include "stations/metar_stations.h"

namespace {

// Slack of the bounds, far above the rounding of SquaredDistance (a few units in the last
// place of a double): a cell is left out only when even its slackened bound is beyond the
// tenth neighbour.
constexpr double kDegreeSlack = 2e-9;    // a position against its cell's edges
constexpr double kCosineSlack = 1e-9;    // the cosine of the mean latitude
constexpr double kLatitudeSlack = 1e-6;  // the mean latitude against the larger of the two
constexpr double kRelativeSlack = 1e-9;  // the squared distance as a whole

bool Inside(double latitude, double longitude) {
  return latitude >= -90.0 && latitude <= 90.0 && longitude >= -180.0 && longitude <= 180.0;
}

// Lower bound of the squared distance for a latitude gap and a longitude gap (degrees, both
// already lower bounds) where the cosine of the mean latitude is at least cosine.
double Bound(double latitudeGap, double longitudeGap, double cosine) {
  const double y = 60.0 * latitudeGap;
  const double x = 60.0 * cosine * longitudeGap;
  return (x * x + y * y) * (1.0 - kRelativeSlack);
}

}  // namespace

// The ten best stations looked at so far by (distance, key order): the walk's slots, whatever
// order the stations are looked at in.
class ReportingStationGrid::Best {
 public:
  bool Full() const { return m_Filled == kNeighbourCount; }
  double Worst() const { return m_Distance[kNeighbourCount - 1]; }

  void Consider(const Entry& entry, double latitude, double longitude, const METAR_Station& station) {
    const double d = static_cast<double>(SquaredDistance(entry.m_Latitude, entry.m_Longitude, latitude, longitude));
    // The walk never takes a distance that is not a number or not below an empty slot's.
    if (!(d < kEmptySlotDistance)) return;
    if (Full() && !Before(d, entry.m_Rank, kNeighbourCount - 1)) return;
    const METAR_Station* candidate = entry.m_Station;
    if (candidate->m_ReportValid == 0 || candidate == &station) return;
    int slot = m_Filled < kNeighbourCount ? m_Filled : kNeighbourCount - 1;
    while (slot > 0 && Before(d, entry.m_Rank, slot - 1)) {
      m_Distance[slot] = m_Distance[slot - 1];
      m_Rank[slot] = m_Rank[slot - 1];
      m_Station[slot] = m_Station[slot - 1];
      --slot;
    }
    m_Distance[slot] = d;
    m_Rank[slot] = entry.m_Rank;
    m_Station[slot] = candidate;
    if (m_Filled < kNeighbourCount) ++m_Filled;
  }

  void CopyTo(NeighbourSlots& slots) const {
    slots = NeighbourSlots();
    for (int i = 0; i < m_Filled; ++i) {
      slots.m_Distance[i] = m_Distance[i];
      slots.m_Station[i] = m_Station[i];
    }
    slots.m_Filled = m_Filled;
  }

 private:
  bool Before(double d, std::uint32_t rank, int slot) const {
    return d < m_Distance[slot] || (d == m_Distance[slot] && rank < m_Rank[slot]);
  }

  std::array<double, kNeighbourCount> m_Distance{};
  std::array<std::uint32_t, kNeighbourCount> m_Rank{};
  std::array<const METAR_Station*, kNeighbourCount> m_Station{};
  int m_Filled = 0;
};

ReportingStationGrid::ReportingStationGrid(const METAR_Stations& stations) {
  std::vector<Entry> inside;
  std::uint32_t rank = 0;
  for (const auto& [key, record] : stations.Records()) {
    const auto* report = dynamic_cast<const METAR_Station*>(record.get());
    const std::uint32_t place = rank++;
    if (!report) continue;
    const Entry entry{report->m_Latitude, report->m_Longitude, report, place};
    (Inside(entry.m_Latitude, entry.m_Longitude) ? inside : m_Outside).push_back(entry);
  }
  // About three stations a cell, cells about as wide as high at the equator.
  const double cells = std::max(1.0, static_cast<double>(inside.size()) / 3.0);
  m_Rows = std::clamp(static_cast<int>(std::lround(std::sqrt(cells / 2.0))), 1, 360);
  m_Columns = 2 * m_Rows;
  m_RowHeight = 180.0 / m_Rows;
  m_ColumnWidth = 360.0 / m_Columns;
  auto cellOf = [this](const Entry& e) {
    const int row = std::clamp(static_cast<int>((e.m_Latitude + 90.0) / m_RowHeight), 0, m_Rows - 1);
    const int column = std::clamp(static_cast<int>((e.m_Longitude + 180.0) / m_ColumnWidth), 0, m_Columns - 1);
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(m_Columns) + static_cast<std::size_t>(column);
  };
  m_CellStart.assign(static_cast<std::size_t>(m_Rows) * static_cast<std::size_t>(m_Columns) + 1, 0);
  for (const Entry& e : inside) ++m_CellStart[cellOf(e) + 1];
  for (std::size_t i = 1; i < m_CellStart.size(); ++i) m_CellStart[i] += m_CellStart[i - 1];
  m_Entries.resize(inside.size());
  std::vector<std::uint32_t> next(m_CellStart.begin(), m_CellStart.end() - 1);
  for (const Entry& e : inside) m_Entries[next[cellOf(e)]++] = e;
}

void ReportingStationGrid::Search(double latitude, double longitude, const METAR_Station& station, Best& best) const {
  for (const Entry& e : m_Outside) best.Consider(e, latitude, longitude, station);

  const int homeRow = std::clamp(static_cast<int>((latitude + 90.0) / m_RowHeight), 0, m_Rows - 1);
  const int homeColumn = std::clamp(static_cast<int>((longitude + 180.0) / m_ColumnWidth), 0, m_Columns - 1);

  // One row, its columns outward from the home column. A station of the column k steps away
  // either way lies at least (k - 1) column widths away in longitude (the short way round,
  // since at most half the columns are gone through each way).
  auto scanRow = [&](int row, double latitudeGap) {
    const double rowSouth = -90.0 + row * m_RowHeight, rowNorth = rowSouth + m_RowHeight;
    // The mean latitude of the distance is never further from the equator than the farther of
    // the two positions.
    const double farthest =
        std::min(90.0, std::max({std::fabs(latitude), std::fabs(rowSouth), std::fabs(rowNorth)}) + kLatitudeSlack);
    const double cosine = std::max(0.0, std::cos(RadiansFromDegrees(farthest)) - kCosineSlack);
    const std::size_t rowStart = static_cast<std::size_t>(row) * static_cast<std::size_t>(m_Columns);
    auto scanCell = [&](int column) {
      const std::size_t cell = rowStart + static_cast<std::size_t>(column);
      for (std::uint32_t i = m_CellStart[cell]; i < m_CellStart[cell + 1]; ++i)
        best.Consider(m_Entries[i], latitude, longitude, station);
    };
    scanCell(homeColumn);
    for (int k = 1; 2 * k <= m_Columns; ++k) {
      const double longitudeGap = std::max(0.0, (k - 1) * m_ColumnWidth - kDegreeSlack);
      if (best.Full() && Bound(latitudeGap, longitudeGap, cosine) > best.Worst()) return;
      const int east = (homeColumn + k) % m_Columns;
      const int west = (homeColumn - k + m_Columns) % m_Columns;
      scanCell(east);
      if (west != east) scanCell(west);
    }
  };

  scanRow(homeRow, 0.0);
  // Rows outward north and south; each way ends at the first row whose latitude gap alone is
  // beyond the tenth neighbour, as every row after it is farther still.
  bool north = true, south = true;
  for (int k = 1; north || south; ++k) {
    if (north) {
      const int row = homeRow + k;
      const double gap = std::max(0.0, -90.0 + row * m_RowHeight - latitude - kDegreeSlack);
      if (row >= m_Rows || (best.Full() && Bound(gap, 0.0, 0.0) > best.Worst()))
        north = false;
      else
        scanRow(row, gap);
    }
    if (south) {
      const int row = homeRow - k;
      const double gap = std::max(0.0, latitude - (-90.0 + (row + 1) * m_RowHeight) - kDegreeSlack);
      if (row < 0 || (best.Full() && Bound(gap, 0.0, 0.0) > best.Worst()))
        south = false;
      else
        scanRow(row, gap);
    }
  }
}

bool ReportingStationGrid::Nearest(const METAR_Station& station, NeighbourSlots& slots) const {
  const double latitude = station.m_Latitude, longitude = station.m_Longitude;
  if (!Inside(latitude, longitude)) return false;
  Best best;
  Search(latitude, longitude, station, best);
  best.CopyTo(slots);
  return true;
}

NeighbourSlots NearestReportingStationsByWalk(const METAR_Stations& stations, const METAR_Station& station) {
  NeighbourSlots slots;
  for (const auto& [key, record] : stations.Records()) {
    const Weather_Station* candidate = record.get();
    const double d = static_cast<double>(
        SquaredDistance(candidate->m_Latitude, candidate->m_Longitude, station.m_Latitude, station.m_Longitude));
    if (!(slots.m_Distance[kNeighbourCount - 1] > d)) continue;
    if (candidate->m_ReportValid == 0 || candidate == &station || !dynamic_cast<const METAR_Station*>(candidate))
      continue;
    slots.Insert(d, candidate);
  }
  return slots;
}

NeighbourSlots NearestReportingStations(const METAR_Stations& stations, const METAR_Station& station) {
  // One grid per thread, for the catalogue and the records it was last built from.
  struct Cache {
    const METAR_Stations* m_Catalogue = nullptr;
    std::uint64_t m_Generation = 0;
    std::unique_ptr<ReportingStationGrid> m_Grid;
  };
  thread_local Cache cache;
  if (cache.m_Catalogue != &stations || cache.m_Generation != stations.Generation() || !cache.m_Grid) {
    cache.m_Grid = std::make_unique<ReportingStationGrid>(stations);
    cache.m_Catalogue = &stations;
    cache.m_Generation = stations.Generation();
  }
  NeighbourSlots slots;
  if (!cache.m_Grid->Nearest(station, slots)) return NearestReportingStationsByWalk(stations, station);
  return slots;
}
