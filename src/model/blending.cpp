#include "model/blending.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "model/neighbour_index.h"
#include "model/numeric.h"
#include "model/report_text.h"
#include "base/units.h"
#include "stations/metar_stations.h"

Weather_Station g_BlendedProfile;

namespace {

// A direction fraction (degrees / 360) of a missing direction.
constexpr double kMissingDirectionFraction = kMissing / 360.0;

bool IsMissing(double value) { return value == kMissing || value == kMissingDirectionFraction; }

// The whole base-record part: identity, position, state, upper-air data and flags.
void AssignBaseRecord(Weather_Station& to, const Weather_Station& from) {
  ForEachIdentityField([&](auto field) { to.*field = from.*field; });
  to.CopyUpperAirData(from);
}

const METAR_Station* ReportOf(const Weather_Station* station) { return dynamic_cast<const METAR_Station*>(station); }

NeighbourNote NoteFor(const Weather_Station& station, double squaredDistance, double weight) {
  NeighbourNote note;
  note.m_Key = station.m_Key;
  note.m_SquaredDistance = squaredDistance;
  note.m_Weight = weight;
  if (const METAR_Station* report = ReportOf(&station)) {
    note.m_ObsDate = report->m_ObsDate;
    note.m_ObsTime = report->m_ObsTime;
  }
  return note;
}

// Sum of the inverse-square weights of the slots farther than 1 nm.
double TotalWeight(const NeighbourSlots& slots) {
  double total = 0.0;
  for (int i = 0; i < slots.Filled(); ++i) {
    const double d = slots.m_Distance[i];
    if (std::fabs(d) >= kTakeOverSquaredDistance) total += 1.0 / (d * d);
  }
  return total;
}

// Degrees into [0, 360).
double NormaliseDegrees(double degrees) {
  const double d = std::fmod(degrees, 360.0);
  return d < 0 ? d + 360.0 : d;
}

// Whole degrees 0..359 of a direction in degrees (359.6 -> 0).
std::int32_t WholeDegrees(double degrees) { return RoundToInt(NormaliseDegrees(degrees)) % 360; }

// Difference b - a the short way round, -180..180 (10 - 350 -> 20).
double AngleBetween(double a, double b) {
  double d = std::fmod(b - a, 360.0);
  if (d > 180.0) d -= 360.0;
  if (d < -180.0) d += 360.0;
  return d;
}

// A weighted mean of one field over the neighbours that have a value for it.
struct WeightedMean {
  double m_Sum = 0.0;
  double m_Weight = 0.0;
  int m_Count = 0;
  void Add(double weight, double value) {
    m_Sum += weight * value;
    m_Weight += weight;
    ++m_Count;
  }
  void AddUnlessMissing(double weight, double value) {
    if (value != kMissing) Add(weight, value);
  }
  bool Empty() const { return m_Count == 0 || !(m_Weight > 0.0); }
  double Mean() const { return m_Sum / m_Weight; }
  // Rounded once, or missing when no neighbour had the field.
  std::int32_t Whole() const { return Empty() ? kMissing : RoundToInt(Mean()); }
};

// Directions summed as vectors (east, north components).
struct DirectionSum {
  double m_East = 0.0;
  double m_North = 0.0;
  void Add(double weight, double degrees) {
    const double r = RadiansFromDegrees(degrees);
    m_East += weight * std::sin(r);
    m_North += weight * std::cos(r);
  }
  // Too short to point anywhere (calm, or exactly opposed winds).
  bool Empty(double scale) const { return std::hypot(m_East, m_North) <= 1e-9 * scale; }
  double Degrees() const { return NormaliseDegrees(std::atan2(m_East, m_North) * 180.0 / g_Pi); }
};

// The share of each of two neighbours in a pair weighting where both have the value.
std::pair<double, double> PairShares(double s, double t) {
  if (std::fabs(s) <= 1.0) return {1.0, 0.0};
  if (std::fabs(t) <= 1.0) return {0.0, 1.0};
  const double ws = 1.0 / (s * s), wt = 1.0 / (t * t);
  return {ws / (ws + wt), wt / (ws + wt)};
}

// Cloud layers blend as layers, not slot by slot: a slot of one report (mist in slot 0, the
// next layer in slot 1) has nothing to do with the same slot of another, and a report without a
// layer at some height says nothing about how high or thick a layer there is.
//   - The ground layer (fog, mist, or cloud within 100 m of the ground) blends only with ground
//     layers, and the blend has one when at least half the weight reports one, or when the
//     blended ceiling lies that low.
//   - The ceiling (each report's lowest layer above that covering more than half the sky) is the
//     weighted median of the reports' ceilings, a report without one counting as higher than
//     any: the blend has one when at least half the weight reports one, at the height where
//     half the weight reports a lower or equal one, blended with the ceilings that match it.
//     So it is never below the lowest ceiling reported.
//   - Every other layer is matched by base height with the other reports' layers (within 300 m
//     or 30 % of the base, one layer per report), and a group of matched layers is kept when at
//     least half the weight reports it. Such a layer below the lowest reported ceiling, or below
//     the blended one, covers at most half the sky: a ceiling is never invented under them.
// Base, cover and thickness of a blended layer are means over the reports that have it, so one
// without it pulls neither the base towards the ground nor the cover towards zero; its type is
// that of its heaviest report.
// Example, S50 between KSEA (weight 0.7: mist, FEW008, BKN015, OVC030) and KBFI (0.3: FEW010,
// BKN018, OVC035): mist has 0.7 of the weight and stays mist; the median ceiling is KSEA's
// 1500 ft, KBFI's 1800 ft matches it: BKN at 0.7 * 1500 + 0.3 * 1800 = 1590 ft; FEW008 and
// FEW010 match (860 ft, FEW), OVC030 and OVC035 too (3150 ft, OVC). The slot walk gave BKN001
// from mist averaged with FEW010.
constexpr std::int32_t kGroundLayerTop = 100;  // metres above the ground, as the fog rule has it
constexpr double kCeilingCover = 0.5;          // more than half the sky: broken or overcast
constexpr double kLayerMatch = 300.0;          // metres, or
constexpr double kLayerMatchShare = 0.3;       // this share of the lower base, whichever is more
constexpr double kMajority = 0.5;              // share of the weight that must report a layer

struct CloudNeighbour {
  const METAR_Station* m_Station = nullptr;
  double m_Weight = 0.0;
};

// One blended layer: weighted sums over the reports that have it, at most one layer of each.
struct CloudSum {
  double m_Weight = 0.0, m_Base = 0.0, m_Cover = 0.0, m_Thickness = 0.0;
  double m_FirstBase = 0.0;  // the lowest member's base, which later ones are matched against
  double m_TypeWeight = -1.0;
  std::int32_t m_Type = 0;
  std::uint32_t m_Members = 0;  // a bit per neighbour
  int m_Count = 0;
  void Add(int neighbour, double weight, const METAR_Station& r, int slot) {
    if (m_Count++ == 0) m_FirstBase = r.m_CloudBase[slot];
    m_Weight += weight;
    m_Base += weight * r.m_CloudBase[slot];
    m_Cover += weight * r.m_CloudCover[slot];
    m_Thickness += weight * r.m_CloudThickness[slot];
    if (weight > m_TypeWeight) {
      m_TypeWeight = weight;
      m_Type = r.m_CloudType[slot];
    }
    m_Members |= 1u << neighbour;
  }
  bool Has(int neighbour) const { return (m_Members >> neighbour) & 1u; }
  double Base() const { return m_Base / m_Weight; }
  double Cover() const { return m_Cover / m_Weight; }
};

bool HasCover(const METAR_Station& r, int slot) {
  const double cover = r.m_CloudCover[slot];
  return cover != kMissingReal && cover > 0.0;
}

// The slot of a report's ceiling: its lowest cloud layer with more than half the sky (the slots
// are in cover order, not height order), or -1. Mist and fog lie at 0 and are no ceiling;
// OVC003 is one.
int CeilingSlot(const METAR_Station& r) {
  int found = -1;
  for (int c = 0; c < kCloudSlots; ++c) {
    if (!HasCover(r, c) || r.m_CloudBase[c] <= 0 || !(r.m_CloudCover[c] > kCeilingCover)) continue;
    if (found < 0 || r.m_CloudBase[c] < r.m_CloudBase[found]) found = c;
  }
  return found;
}

// A report without a ceiling counts as one higher than any.
constexpr double kNoCeiling = 1e9;
// Room for every layer of every neighbour, and one more.
constexpr int kLayerRoom = kNeighbourCount * kCloudSlots + 1;
using CloudNeighbours = std::array<CloudNeighbour, kNeighbourCount>;
using CloudLayers = std::array<CloudSum, kLayerRoom>;

// Each report's ceiling slot, the lowest ceiling, and the weighted median the ceiling blends at.
struct Ceilings {
  std::array<int, kNeighbourCount> m_Slot{};
  double m_Total = 0.0;  // the weight of all the reports
  double m_Lowest = kNoCeiling;
  double m_Median = kNoCeiling;
};

Ceilings FindCeilings(const CloudNeighbours& neighbours, int count) {
  Ceilings found;
  std::array<int, kNeighbourCount> byCeiling{};
  auto ceilingOf = [&](int i) {
    return found.m_Slot[i] < 0 ? kNoCeiling
                               : static_cast<double>(neighbours[i].m_Station->m_CloudBase[found.m_Slot[i]]);
  };
  for (int i = 0; i < count; ++i) {
    found.m_Total += neighbours[i].m_Weight;
    found.m_Slot[i] = CeilingSlot(*neighbours[i].m_Station);
    found.m_Lowest = std::min(found.m_Lowest, ceilingOf(i));
    byCeiling[i] = i;
  }
  std::sort(byCeiling.begin(), byCeiling.begin() + count,
            [&](int a, int b) { return ceilingOf(a) != ceilingOf(b) ? ceilingOf(a) < ceilingOf(b) : a < b; });
  double below = 0.0;
  for (int k = 0; k < count && found.m_Median == kNoCeiling; ++k) {
    below += neighbours[byCeiling[k]].m_Weight;
    if (below >= kMajority * found.m_Total) found.m_Median = ceilingOf(byCeiling[k]);
  }
  return found;
}

// The reports' layers sorted out: those that match the median ceiling, each report's ground
// layer, and every other layer (by base, for matching).
struct SortedLayers {
  struct Other {
    std::int32_t m_Base;
    int m_Neighbour;
    int m_Slot;
  };
  CloudSum m_Ground, m_Ceiling;
  std::array<Other, kNeighbourCount * kCloudSlots> m_Others{};
  int m_OtherCount = 0;
};

void SortReportLayers(const CloudNeighbours& neighbours, int i, const Ceilings& ceilings, SortedLayers& sorted) {
  const METAR_Station& r = *neighbours[i].m_Station;
  const double w = neighbours[i].m_Weight;
  const double median = ceilings.m_Median;
  const double ceilingMatch = std::max(kLayerMatch, kLayerMatchShare * median);
  int groundSlot = -1;  // mist with an overcast at 300 ft: the overcast
  for (int c = 0; c < kCloudSlots; ++c) {
    if (!HasCover(r, c)) continue;
    if (c == ceilings.m_Slot[i] && median < kNoCeiling && std::fabs(r.m_CloudBase[c] - median) <= ceilingMatch) {
      sorted.m_Ceiling.Add(i, w, r, c);
    } else if (r.m_CloudBase[c] <= kGroundLayerTop) {
      if (groundSlot < 0 || r.m_CloudCover[c] > r.m_CloudCover[groundSlot]) groundSlot = c;
    } else {
      sorted.m_Others[sorted.m_OtherCount++] = {r.m_CloudBase[c], i, c};
    }
  }
  if (groundSlot >= 0) sorted.m_Ground.Add(i, w, r, groundSlot);
}

SortedLayers SortLayers(const CloudNeighbours& neighbours, int count, const Ceilings& ceilings) {
  SortedLayers sorted;
  for (int i = 0; i < count; ++i) SortReportLayers(neighbours, i, ceilings, sorted);
  std::sort(sorted.m_Others.begin(), sorted.m_Others.begin() + sorted.m_OtherCount,
            [](const SortedLayers::Other& a, const SortedLayers::Other& b) {
              if (a.m_Base != b.m_Base) return a.m_Base < b.m_Base;
              if (a.m_Neighbour != b.m_Neighbour) return a.m_Neighbour < b.m_Neighbour;
              return a.m_Slot < b.m_Slot;
            });
  return sorted;
}

// Groups the other layers, lowest first: a layer joins the group below when its base lies within
// the match of the group's lowest base and its report has no layer in the group yet.
int MatchLayers(const SortedLayers& sorted, const CloudNeighbours& neighbours, CloudLayers& layers) {
  int layerCount = 0;
  for (int i = 0; i < sorted.m_OtherCount; ++i) {
    const SortedLayers::Other& in = sorted.m_Others[i];
    CloudSum* last = layerCount > 0 ? &layers[layerCount - 1] : nullptr;
    if (!last || in.m_Base > last->m_FirstBase + std::max(kLayerMatch, kLayerMatchShare * last->m_FirstBase) ||
        last->Has(in.m_Neighbour))
      last = &layers[layerCount++];
    last->Add(in.m_Neighbour, neighbours[in.m_Neighbour].m_Weight, *neighbours[in.m_Neighbour].m_Station, in.m_Slot);
  }
  return layerCount;
}

// The layers kept above the ground, the ceiling among them, in base order; a matched layer
// under a ceiling is no ceiling. Returns how many.
int KeepLayers(const CloudLayers& layers, int layerCount, const CloudSum* ceiling, const Ceilings& ceilings, int room,
               CloudLayers& keep) {
  int kept = 0;
  if (ceiling) keep[kept++] = *ceiling;
  for (int i = 0; i < layerCount; ++i) {
    CloudSum layer = layers[i];
    if (layer.m_Weight < kMajority * ceilings.m_Total) continue;
    const bool underCeiling = layer.Base() < ceilings.m_Lowest || (ceiling && layer.Base() < ceiling->Base());
    if (underCeiling && layer.Cover() > kCeilingCover) layer.m_Cover = kCeilingCover * layer.m_Weight;
    keep[kept++] = layer;
  }
  if (kept > room) {
    // The layers most of the weight agrees on.
    std::sort(keep.begin(), keep.begin() + kept,
              [](const CloudSum& a, const CloudSum& b) { return a.m_Weight > b.m_Weight; });
    kept = room;
  }
  std::sort(keep.begin(), keep.begin() + kept,
            [](const CloudSum& a, const CloudSum& b) { return a.Base() < b.Base(); });
  return kept;
}

void PlaceLayer(METAR_Station& station, int slot, const CloudSum& layer) {
  station.m_CloudBase[slot] = RoundToInt(layer.Base());
  station.m_CloudCover[slot] = layer.Cover();
  station.m_CloudThickness[slot] = layer.m_Thickness / layer.m_Weight;
  station.m_CloudType[slot] = layer.m_Type;
}

// Fills the station's five cloud slots from its neighbours' layers (see above); returns how many
// reports the first slot's layer came from.
int BlendCloudLayers(METAR_Station& station, const CloudNeighbours& neighbours, int count) {
  const Ceilings ceilings = FindCeilings(neighbours, count);
  SortedLayers sorted = SortLayers(neighbours, count, ceilings);
  CloudLayers layers{};
  const int layerCount = MatchLayers(sorted, neighbours, layers);
  CloudSum& ground = sorted.m_Ground;
  const CloudSum& ceiling = sorted.m_Ceiling;
  bool hasCeiling = ceiling.m_Count > 0;
  bool hasGround = ground.m_Count > 0 && ground.m_Weight >= kMajority * ceilings.m_Total;
  if (hasCeiling && ceiling.Base() <= kGroundLayerTop) {
    // A ceiling within the fog height is one the simulator shows only as fog.
    ground = ceiling;
    hasGround = true;
    hasCeiling = false;
  }
  CloudLayers keep{};
  const int room = kCloudSlots - (hasGround ? 1 : 0);
  const int kept = KeepLayers(layers, layerCount, hasCeiling ? &ceiling : nullptr, ceilings, room, keep);
  int slot = 0;
  if (hasGround) PlaceLayer(station, slot++, ground);
  for (int i = 0; i < kept; ++i) PlaceLayer(station, slot++, keep[i]);
  return hasGround ? ground.m_Count : kept > 0 ? keep[0].m_Count : 0;
}

// The upper-air stations of the catalogue within reach of a position, nearest first.
NeighbourSlots UpperAirNeighbours(const METAR_Stations& stations, double latitude, double longitude) {
  NeighbourSlots slots;
  for (const Weather_Station* station : stations.m_UpperAirStations) {
    const double d =
        static_cast<double>(SquaredDistance(station->m_Latitude, station->m_Longitude, latitude, longitude));
    if (d <= kUpperAirReach * kUpperAirReach) slots.Insert(d, station);
  }
  return slots;
}

// Each table and level: the pair results summed in full precision (directions as unit vectors),
// rounded once at the end.
struct LevelSums {
  std::array<std::array<double, kLevelSlots>, kLevelTableCount> m_Sum{};
  std::array<std::array<std::int32_t, kLevelSlots>, kLevelTableCount> m_Count{};
  std::array<DirectionSum, kLevelSlots> m_Directions{};
  std::array<double, kLevelSlots> m_FirstDirection{};

  void AddValue(int table, int level, double p, double s, double q, double t) {
    PairWeighting r;
    if (table == kWindDirectionTable) {
      r = WeighPairDirection(p, s, q, t);
      if (r.m_Counts) AddDirection(level, r.m_Value);
    } else {
      r = WeighPair(p, s, q, t);
      m_Sum[table][level] += r.m_Value;
    }
    if (r.m_Counts) ++m_Count[table][level];
  }
  void AddDirection(int level, double degrees) {
    if (m_Count[kWindDirectionTable][level] == 0) m_FirstDirection[level] = degrees;
    m_Directions[level].Add(1.0, degrees);
  }
  // The pair of consecutive neighbours i and i + 1.
  void AddPair(const NeighbourSlots& slots, int i) {
    const auto near = slots.m_Station[i]->LevelTables();
    const auto far = slots.m_Station[i + 1]->LevelTables();
    const double s = slots.m_Distance[i], t = slots.m_Distance[i + 1];
    for (int level = 0; level < kLevelSlots; ++level)
      for (int table = 0; table < kLevelTableCount; ++table)
        AddValue(table, level, (*near[table])[level], s, (*far[table])[level], t);
  }
  std::int32_t Result(int table, int level) const {
    const std::int32_t n = m_Count[table][level];
    if (n == 0) return kMissing;
    if (table != kWindDirectionTable) return RoundToInt(m_Sum[table][level] / n);
    // Directions that cancel out exactly keep the nearest pair's.
    const DirectionSum& d = m_Directions[level];
    return WholeDegrees(d.Empty(n) ? m_FirstDirection[level] : d.Degrees());
  }
};

// The level tables of two or more neighbours, weighed pair by pair.
void BlendLevelTables(const NeighbourSlots& slots, Weather_Station& result) {
  LevelSums sums;
  for (int i = 0; i + 1 < slots.Filled(); ++i) sums.AddPair(slots, i);
  result.m_UpperAirValid = 1;
  result.m_SigLevelsValid = 0;
  result.m_SigLevelCount = 0;
  result.m_ReportValid = 0;
  const auto out = result.LevelTables();
  for (int table = 0; table < kLevelTableCount; ++table)
    for (int level = 0; level < kLevelSlots; ++level) (*out[table])[level] = sums.Result(table, level);
}

// The weight each neighbour's values entered with where every neighbour has the value: its share
// in each pair it belongs to, averaged over the pairs.
void RecordUpperAirNeighbours(const NeighbourSlots& slots, BlendTrace& trace) {
  trace.m_UpperAir.clear();
  std::array<double, kNeighbourCount> weight{};
  if (slots.Filled() == 1) weight[0] = 1.0;
  const int pairs = slots.Filled() - 1;
  for (int i = 0; i < pairs; ++i) {
    const auto [near, far] = PairShares(slots.m_Distance[i], slots.m_Distance[i + 1]);
    weight[i] += near / pairs;
    weight[i + 1] += far / pairs;
  }
  for (int i = 0; i < slots.Filled(); ++i)
    trace.m_UpperAir.push_back(NoteFor(*slots.m_Station[i], slots.m_Distance[i], weight[i]));
}

const METAR_Station& ReportAt(const NeighbourSlots& slots, int i) {
  return static_cast<const METAR_Station&>(*slots.m_Station[i]);
}

void RecordSurfaceNeighbours(const NeighbourSlots& slots, double totalWeight, BlendTrace& trace) {
  trace.m_SurfaceBlended = true;
  trace.m_Surface.clear();
  trace.m_Fields.clear();
  trace.m_TakenOverFrom.clear();
  for (int i = 0; i < slots.Filled(); ++i) {
    const double d = slots.m_Distance[i];
    const double weight = std::fabs(d) <= kTakeOverSquaredDistance ? 1.0 : 1.0 / (d * d) / totalWeight;
    trace.m_Surface.push_back(NoteFor(*slots.m_Station[i], d, weight));
  }
}

// The blend's starting values: what stays when no neighbour reports at all.
void ClearBlendedFields(METAR_Station& station) {
  station.m_WindSpeed = 0;
  station.m_WindDirection = 0;
  station.m_WindGust = 0;
  station.m_WindVariation = 0;
  station.m_Visibility = 0.0;
  station.m_PrecipIntensity = 0.0;
  station.m_Temperature = 0;
  station.m_DewPoint = 0;
  station.m_SeaLevelTemperature = 0.0;
  station.m_SeaLevelDewPoint = 0.0;
  station.m_Pressure = 0;
  station.m_CloudThickness.fill(0.0);
  station.m_CloudCover.fill(0.0);
  station.m_CloudBase.fill(0);
  station.m_CloudType[0] = 0;
}

// The reporting station within 1 nm whose whole report is taken over, or none.
const METAR_Station* TakeOverSource(const NeighbourSlots& slots) {
  for (int i = 0; i < slots.Filled(); ++i)
    if (std::fabs(slots.m_Distance[i]) <= kTakeOverSquaredDistance) return &ReportAt(slots, i);
  return nullptr;
}

// Each field is summed over the neighbours that have it and rounded once at the end; a missing
// value (-999) leaves the neighbour out of that field, a report without a visibility group out of
// the visibility, a report without cloud information out of the clouds.
struct SurfaceSums {
  WeightedMean m_Speed, m_Gust, m_Temperature, m_DewPoint, m_Pressure, m_Visibility, m_Precipitation;
  std::array<CloudNeighbour, kNeighbourCount> m_Clouds{};
  int m_CloudCount = 0;
  DirectionSum m_Wind, m_Direction;
  double m_Lowest = 999.0, m_Highest = -999.0;   // wind directions
  const METAR_Station* m_CloudSource = nullptr;  // the nearest with cloud information

  void Add(const METAR_Station& neighbour, double w) {
    m_Speed.Add(w, neighbour.m_WindSpeed);
    m_Gust.Add(w, neighbour.m_WindGust);
    m_Temperature.AddUnlessMissing(w, neighbour.m_Temperature);
    m_DewPoint.AddUnlessMissing(w, neighbour.m_DewPoint);
    m_Pressure.AddUnlessMissing(w, neighbour.m_Pressure);
    if (!neighbour.m_VisibilityMissing) m_Visibility.Add(w, neighbour.m_Visibility);
    m_Precipitation.Add(w, neighbour.m_PrecipIntensity);
    // Heights above each neighbour's own ground: the blend is a height above this one's.
    if (neighbour.m_CloudCover[0] != kMissingReal) {
      if (!m_CloudSource) m_CloudSource = &neighbour;
      m_Clouds[m_CloudCount++] = {&neighbour, w};
    }
    // The wind as vectors: 350 and 10 degrees make north, not south. Calm winds point nowhere.
    m_Wind.Add(w * std::max(0, neighbour.m_WindSpeed), neighbour.m_WindDirection);
    m_Direction.Add(w, neighbour.m_WindDirection);
    m_Lowest = std::min<double>(m_Lowest, neighbour.m_WindDirection);
    m_Highest = std::max<double>(m_Highest, neighbour.m_WindDirection);
  }
};

void SetBlendedWind(METAR_Station& station, const METAR_Station& nearest, const SurfaceSums& sums) {
  station.m_WindSpeed = RoundToInt(sums.m_Speed.Mean());
  // A gust no stronger than the mean wind is no gust.
  station.m_WindGust = RoundToInt(sums.m_Gust.Mean());
  if (station.m_WindGust <= station.m_WindSpeed) station.m_WindGust = 0;
  const DirectionSum& chosen = sums.m_Wind.Empty(1.0) ? sums.m_Direction : sums.m_Wind;
  station.m_WindDirection = WholeDegrees(chosen.Empty(1.0) ? nearest.m_WindDirection : chosen.Degrees());
  // The distance, the short way round, to the nearer of the lowest and highest direction.
  const double toLowest = std::fabs(AngleBetween(station.m_WindDirection, WholeDegrees(sums.m_Lowest)));
  const double toHighest = std::fabs(AngleBetween(station.m_WindDirection, WholeDegrees(sums.m_Highest)));
  station.m_WindVariation = RoundToInt(std::min(toLowest, toHighest));
}

// Sets the blended values from at least one neighbour; returns how many reports the first cloud
// slot's layer came from.
int SetBlendedValues(METAR_Station& station, const METAR_Station& nearest, const SurfaceSums& sums) {
  SetBlendedWind(station, nearest, sums);
  station.m_Temperature = sums.m_Temperature.Whole();
  station.m_DewPoint = sums.m_DewPoint.Whole();
  station.m_Pressure = sums.m_Pressure.Whole();
  // In hundredths of a mile, the block's unit, so that six miles stay 600 and not 599.
  if (!sums.m_Visibility.Empty()) station.m_Visibility = RoundToInt(sums.m_Visibility.Mean() * 100.0) / 100.0;
  // The present weather is the nearest report's: rain or snow comes with it, or not at all
  // (a far shower at a weight of a millionth made rain of rate 0 under a clear text).
  station.m_PrecipIntensity = nearest.m_PrecipIntensity != 0.0 ? sums.m_Precipitation.Mean() : 0.0;
  if (!sums.m_CloudSource) station.m_CloudCover[0] = kMissingReal;
  return sums.m_CloudCount > 0 ? BlendCloudLayers(station, sums.m_Clouds, sums.m_CloudCount) : 0;
}

// A layer below the one before it cannot be; the next one is then compared against 0.
void DropLayersBelowPrevious(METAR_Station& station) {
  std::int32_t previousBase = 0;
  for (int c = 0; c < kCloudSlots; ++c) {
    if (station.m_CloudBase[c] < previousBase) {
      station.m_CloudBase[c] = 0;
      station.m_CloudThickness[c] = 0.0;
      station.m_CloudCover[c] = 0.0;
      station.m_CloudType[c] = 0;
    }
    previousBase = station.m_CloudBase[c];
  }
}

// The present weather, thunderstorm and report time are the nearest report's.
void ComposeBlendedReport(METAR_Station& station, const NeighbourSlots& slots) {
  std::string obsDate, obsTime;
  if (slots.Filled() > 0) {
    const METAR_Station& nearest = ReportAt(slots, 0);
    station.m_Weather = nearest.m_Weather;
    station.m_Thunderstorm = nearest.m_Thunderstorm;
    obsDate = nearest.m_ObsDate;
    obsTime = nearest.m_ObsTime;
  } else {
    station.m_Weather.clear();
    station.m_Thunderstorm = 0;
  }
  station.m_ReportText = ComposeReportText(station, obsDate, obsTime);
}

void RecordSurfaceFields(const SurfaceSums& sums, int cloudReports, const std::string& nearestKey, BlendTrace& trace) {
  const METAR_Station* cloudSource = sums.m_CloudSource;
  const std::string cloudKey = cloudSource ? cloudSource->m_Key : std::string();
  auto blended = [&](const char* name, const WeightedMean& mean) {
    trace.m_Fields.push_back({name, mean.Empty() ? ValueOrigin::kMissing : ValueOrigin::kBlend, mean.m_Count, ""});
  };
  blended("m_WindSpeed", sums.m_Speed);
  blended("m_WindDirection", sums.m_Speed);
  blended("m_WindGust", sums.m_Gust);
  blended("m_Visibility", sums.m_Visibility);
  blended("m_PrecipIntensity", sums.m_Precipitation);
  blended("m_Temperature", sums.m_Temperature);
  blended("m_DewPoint", sums.m_DewPoint);
  blended("m_Pressure", sums.m_Pressure);
  for (const char* name : {"m_CloudCover", "m_CloudBase", "m_CloudThickness"})
    trace.m_Fields.push_back({name, cloudReports ? ValueOrigin::kBlend : ValueOrigin::kMissing, cloudReports, ""});
  trace.m_Fields.push_back(
      {"m_CloudType", cloudSource ? ValueOrigin::kNearest : ValueOrigin::kMissing, cloudSource ? 1 : 0, cloudKey});
  trace.m_Fields.push_back({"m_Weather", ValueOrigin::kNearest, 1, nearestKey});
  trace.m_Fields.push_back({"m_Thunderstorm", ValueOrigin::kNearest, 1, nearestKey});
}

}  // namespace

PairWeighting WeighPair(double p, double s, double q, double t) {
  const bool pMissing = IsMissing(p), qMissing = IsMissing(q);
  if (pMissing && qMissing) return {0.0, false};
  if (pMissing) return {q, true};
  if (qMissing) return {p, true};
  const auto [sp, sq] = PairShares(s, t);
  return {p * sp + q * sq, true};
}

PairWeighting WeighPairDirection(double p, double s, double q, double t) {
  const bool pMissing = p == kMissing, qMissing = q == kMissing;
  if (pMissing && qMissing) return {0.0, false};
  if (pMissing) return {q, true};
  if (qMissing) return {p, true};
  return {NormaliseDegrees(p + PairShares(s, t).second * AngleBetween(p, q)), true};
}

void BlendUpperAir(const METAR_Stations& stations, double latitude, double longitude, Weather_Station& profile,
                   BlendTrace* trace) {
  const NeighbourSlots slots = UpperAirNeighbours(stations, latitude, longitude);
  Weather_Station result;
  if (slots.Filled() == 1) {
    // No pair to weigh: the one station's profile is the best there is.
    result.CopyLevelTables(*slots.m_Station[0]);
    result.m_UpperAirValid = 1;
  } else if (slots.Filled() > 1) {
    BlendLevelTables(slots, result);
  }
  AssignBaseRecord(profile, result);
  if (trace) RecordUpperAirNeighbours(slots, *trace);
}

bool UpperAirWithinReach(const METAR_Stations& stations, double latitude, double longitude) {
  for (const Weather_Station* station : stations.m_UpperAirStations)
    if (SquaredDistance(station->m_Latitude, station->m_Longitude, latitude, longitude) <=
        kUpperAirReach * kUpperAirReach)
      return true;
  return false;
}

double VisibilityFromNeighbours(const METAR_Stations& stations, const METAR_Station& station) {
  const NeighbourSlots slots = NearestReportingStations(stations, station);
  WeightedMean visibility;
  for (int i = 0; i < slots.Filled(); ++i) {
    const auto& neighbour = static_cast<const METAR_Station&>(*slots.m_Station[i]);
    if (neighbour.m_VisibilityMissing) continue;
    const double d = slots.m_Distance[i];
    if (std::fabs(d) <= kTakeOverSquaredDistance) return neighbour.m_Visibility;
    visibility.Add(1.0 / (d * d), neighbour.m_Visibility);
  }
  return visibility.Empty() ? kClearAirVisibility : RoundToInt(visibility.Mean() * 100.0) / 100.0;
}

void TakeOverReport(METAR_Station& station, const METAR_Station& source) {
  if (&station == &source) return;
  station.CopyUpperAirData(source);
  ForEachReportField([&](auto field) { station.*field = source.*field; });
  station.m_WeatherBlock = source.m_WeatherBlock;
}

void BlendSurface(const METAR_Stations& stations, METAR_Station& station, BlendTrace* trace) {
  const NeighbourSlots slots = NearestReportingStations(stations, station);
  const double totalWeight = TotalWeight(slots);
  if (trace) RecordSurfaceNeighbours(slots, totalWeight, *trace);
  ClearBlendedFields(station);
  if (const METAR_Station* source = TakeOverSource(slots)) {
    TakeOverReport(station, *source);
    if (trace) trace->m_TakenOverFrom = source->m_Key;
    return;
  }

  SurfaceSums sums;
  for (int i = 0; i < slots.Filled(); ++i) {
    const double d = slots.m_Distance[i];
    sums.Add(ReportAt(slots, i), 1.0 / (d * d) / totalWeight);
  }
  // No neighbour with a visibility: clear air, never a visibility of 0.
  station.m_Visibility = kClearAirVisibility;
  station.m_VisibilityMissing = false;
  const int cloudReports = slots.Filled() > 0 ? SetBlendedValues(station, ReportAt(slots, 0), sums) : 0;
  DropLayersBelowPrevious(station);
  ComposeBlendedReport(station, slots);
  if (trace && slots.Filled() > 0) RecordSurfaceFields(sums, cloudReports, slots.m_Station[0]->m_Key, *trace);
}
