#pragma once
// The nearest reporting stations of a position without walking the whole catalogue: a grid of
// latitude rows and longitude columns over the report stations. The grid only picks which
// stations to look at; every one looked at is ranked with SquaredDistance and the catalogue's
// key order exactly as the walk ranks them, and the cells left out are provably farther than
// the tenth neighbour found, so the slots come out as the walk's, ties included.
#include <cstdint>
#include <vector>

#include "model/neighbours.h"

class METAR_Stations;
class METAR_Station;

class ReportingStationGrid {
 public:
  // Every report station of the catalogue at its position when built; whether its report is
  // usable is asked at each search.
  explicit ReportingStationGrid(const METAR_Stations& stations);

  // The slots of the walk: the ten nearest stations other than station with a usable report,
  // nearest first, the earlier key first at equal distances. False (slots untouched) for a
  // position the grid cannot bound (outside -90..90 / -180..180, or not a number).
  bool Nearest(const METAR_Station& station, NeighbourSlots& slots) const;

 private:
  struct Entry {
    double m_Latitude;
    double m_Longitude;
    const METAR_Station* m_Station;
    std::uint32_t m_Rank;  // place in the catalogue's key order
  };
  class Best;
  void Search(double latitude, double longitude, const METAR_Station& station, Best& best) const;

  int m_Rows = 1;
  int m_Columns = 1;
  double m_RowHeight = 180.0;
  double m_ColumnWidth = 360.0;
  std::vector<std::uint32_t> m_CellStart;  // m_Rows * m_Columns + 1 offsets into m_Entries
  std::vector<Entry> m_Entries;            // cell by cell
  std::vector<Entry> m_Outside;            // positions no cell holds: looked at by every search
};

// The slots of BlendSurface: the grid of the catalogue (rebuilt on this thread whenever a
// record was stored since it was built), or the walk where the grid cannot answer.
NeighbourSlots NearestReportingStations(const METAR_Stations& stations, const METAR_Station& station);
// The walk over every record in key order: the reference the grid must agree with.
NeighbourSlots NearestReportingStationsByWalk(const METAR_Stations& stations, const METAR_Station& station);
