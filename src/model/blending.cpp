#include "model/blending.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "model/neighbour_index.h"
#include "model/numeric.h"
#include "model/report_text.h"
#include "reports/tokenizer.h"
#include "stations/metar_stations.h"

Weather_Station g_BlendedProfile;

namespace {

// A direction fraction (degrees / 360) of a missing direction.
constexpr double kMissingDirectionFraction = kMissing / 360.0;

bool IsMissing(double value) { return value == kMissing || value == kMissingDirectionFraction; }

// The whole base-record part: identity, position, state, upper-air data and flags.
void AssignBaseRecord(Weather_Station& to, const Weather_Station& from) {
  to.m_Latitude = from.m_Latitude;
  to.m_Longitude = from.m_Longitude;
  to.m_Name = from.m_Name;
  to.m_Region = from.m_Region;
  to.m_Key = from.m_Key;
  to.m_WmoNumber = from.m_WmoNumber;
  to.m_State = from.m_State;
  to.m_UpperAirLatitude = from.m_UpperAirLatitude;
  to.m_UpperAirLongitude = from.m_UpperAirLongitude;
  to.m_Elevation = from.m_Elevation;
  to.m_UpperAirElevation = from.m_UpperAirElevation;
  CopyUpperAirData(to, from);
  to.m_ReportValid = from.m_ReportValid;
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

}  // namespace

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

void CopyUpperAirData(Weather_Station& to, const Weather_Station& from) {
  to.CopyLevelTables(from);
  auto copy = [](const std::unique_ptr<SigLevelBuffer>& buffer) {
    return buffer ? std::make_unique<SigLevelBuffer>(*buffer) : nullptr;
  };
  to.m_SigPressure = copy(from.m_SigPressure);
  to.m_SigHeight = copy(from.m_SigHeight);
  to.m_SigTemperature = copy(from.m_SigTemperature);
  to.m_SigDewPoint = copy(from.m_SigDewPoint);
  to.m_UpperAirValid = from.m_UpperAirValid;
  to.m_SigLevelsValid = from.m_SigLevelsValid;
  to.m_SigLevelCount = from.m_SigLevelCount;
}

void BlendUpperAir(const METAR_Stations& stations, double latitude, double longitude, Weather_Station& profile,
                   BlendTrace* trace) {
  NeighbourSlots slots;
  for (const Weather_Station* station : stations.m_UpperAirStations)
    slots.Insert(static_cast<double>(SquaredDistance(station->m_Latitude, station->m_Longitude, latitude, longitude)),
                 station);

  Weather_Station result;
  if (slots.Filled() == 1) {
    // No pair to weigh: the one station's profile is the best there is.
    const Weather_Station& only = *slots.m_Station[0];
    result.CopyLevelTables(only);
    result.m_UpperAirValid = 1;
  } else if (slots.Filled() > 1) {
    constexpr int kTables = kLevelTableCount, kDirection = kWindDirectionTable;
    // Each table and level: the pair results summed in full precision (directions as unit
    // vectors), rounded once at the end.
    std::array<std::array<double, kLevelSlots>, kTables> sum{};
    std::array<std::array<std::int32_t, kLevelSlots>, kTables> count{};
    std::array<DirectionSum, kLevelSlots> directions{};
    std::array<double, kLevelSlots> firstDirection{};
    for (int i = 0; i + 1 < slots.Filled(); ++i) {
      const auto near = slots.m_Station[i]->LevelTables();
      const auto far = slots.m_Station[i + 1]->LevelTables();
      const double s = slots.m_Distance[i], t = slots.m_Distance[i + 1];
      for (int level = 0; level < kLevelSlots; ++level) {
        for (int table = 0; table < kTables; ++table) {
          const double p = (*near[table])[level], q = (*far[table])[level];
          PairWeighting r;
          if (table == kDirection) {
            r = WeighPairDirection(p, s, q, t);
            if (r.m_Counts) {
              if (count[table][level] == 0) firstDirection[level] = r.m_Value;
              directions[level].Add(1.0, r.m_Value);
            }
          } else {
            r = WeighPair(p, s, q, t);
            sum[table][level] += r.m_Value;
          }
          if (r.m_Counts) ++count[table][level];
        }
      }
      result.m_UpperAirValid = 1;
      result.m_SigLevelsValid = 0;
      result.m_SigLevelCount = 0;
      result.m_ReportValid = 0;
    }
    const auto out = result.LevelTables();
    for (int table = 0; table < kTables; ++table) {
      for (int level = 0; level < kLevelSlots; ++level) {
        const std::int32_t n = count[table][level];
        std::int32_t& value = (*out[table])[level];
        if (n == 0) {
          value = kMissing;
        } else if (table == kDirection) {
          // Directions that cancel out exactly keep the nearest pair's.
          const DirectionSum& d = directions[level];
          value = WholeDegrees(d.Empty(n) ? firstDirection[level] : d.Degrees());
        } else {
          value = RoundToInt(sum[table][level] / n);
        }
      }
    }
  }
  AssignBaseRecord(profile, result);

  if (trace) {
    // The weight each neighbour's values entered with where every neighbour has the value:
    // its share in each pair it belongs to, averaged over the pairs.
    trace->m_UpperAir.clear();
    std::array<double, kNeighbourCount> weight{};
    if (slots.Filled() == 1) weight[0] = 1.0;
    const int pairs = slots.Filled() - 1;
    for (int i = 0; i < pairs; ++i) {
      const auto [near, far] = PairShares(slots.m_Distance[i], slots.m_Distance[i + 1]);
      weight[i] += near / pairs;
      weight[i + 1] += far / pairs;
    }
    for (int i = 0; i < slots.Filled(); ++i)
      trace->m_UpperAir.push_back(NoteFor(*slots.m_Station[i], slots.m_Distance[i], weight[i]));
  }
}

void TakeOverReport(METAR_Station& station, const METAR_Station& source) {
  if (&station == &source) return;
  CopyUpperAirData(station, source);
  station.m_ReportText = source.m_ReportText;
  station.m_ObsDate = source.m_ObsDate;
  station.m_ObsTime = source.m_ObsTime;
  station.m_WindSpeed = source.m_WindSpeed;
  station.m_WindDirection = source.m_WindDirection;
  station.m_WindGust = source.m_WindGust;
  station.m_WindVariation = source.m_WindVariation;
  station.m_Visibility = source.m_Visibility;
  station.m_Weather = source.m_Weather;
  station.m_PrecipIntensity = source.m_PrecipIntensity;
  station.m_CloudThickness = source.m_CloudThickness;
  station.m_CloudCover = source.m_CloudCover;
  station.m_CloudBase = source.m_CloudBase;
  station.m_CloudType = source.m_CloudType;
  station.m_Temperature = source.m_Temperature;
  station.m_DewPoint = source.m_DewPoint;
  station.m_SeaLevelTemperature = source.m_SeaLevelTemperature;
  station.m_SeaLevelDewPoint = source.m_SeaLevelDewPoint;
  station.m_Pressure = source.m_Pressure;
  station.m_Thunderstorm = source.m_Thunderstorm;
  station.m_WeatherBlock = source.m_WeatherBlock;
}

void BlendSurface(const METAR_Stations& stations, METAR_Station& station, BlendTrace* trace) {
  const NeighbourSlots slots = NearestReportingStations(stations, station);
  const double totalWeight = TotalWeight(slots);

  if (trace) {
    trace->m_SurfaceBlended = true;
    trace->m_Surface.clear();
    trace->m_Fields.clear();
    trace->m_TakenOverFrom.clear();
    for (int i = 0; i < slots.Filled(); ++i) {
      const double d = slots.m_Distance[i];
      const double weight = std::fabs(d) <= kTakeOverSquaredDistance ? 1.0 : 1.0 / (d * d) / totalWeight;
      trace->m_Surface.push_back(NoteFor(*slots.m_Station[i], d, weight));
    }
  }

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

  // Each field is summed over the neighbours that have it and rounded once at the end; a
  // missing value (-999) leaves the neighbour out of that field, a report without cloud
  // information out of every cloud field.
  WeightedMean speed, gust, temperature, dewPoint, pressure, visibility, precipitation;
  std::array<WeightedMean, kCloudSlots> cover, thickness, base;
  DirectionSum wind, direction;
  double lowest = 999.0, highest = -999.0;
  const METAR_Station* cloudSource = nullptr;  // the nearest with cloud information
  for (int i = 0; i < slots.Filled(); ++i) {
    const METAR_Station& neighbour = static_cast<const METAR_Station&>(*slots.m_Station[i]);
    const double d = slots.m_Distance[i];
    if (std::fabs(d) <= kTakeOverSquaredDistance) {
      TakeOverReport(station, neighbour);
      if (trace) trace->m_TakenOverFrom = neighbour.m_Key;
      return;
    }
    const double w = 1.0 / (d * d) / totalWeight;
    speed.Add(w, neighbour.m_WindSpeed);
    gust.Add(w, neighbour.m_WindGust);
    temperature.AddUnlessMissing(w, neighbour.m_Temperature);
    dewPoint.AddUnlessMissing(w, neighbour.m_DewPoint);
    pressure.AddUnlessMissing(w, neighbour.m_Pressure);
    visibility.Add(w, neighbour.m_Visibility);
    precipitation.Add(w, neighbour.m_PrecipIntensity);
    if (neighbour.m_CloudCover[0] != kMissingReal) {
      if (!cloudSource) cloudSource = &neighbour;
      for (int c = 0; c < kCloudSlots; ++c) {
        if (neighbour.m_CloudCover[c] == kMissingReal) continue;
        cover[c].Add(w, neighbour.m_CloudCover[c]);
        thickness[c].Add(w, neighbour.m_CloudThickness[c]);
        // Heights above each neighbour's own ground: the blend is a height above this one's.
        base[c].AddUnlessMissing(w, neighbour.m_CloudBase[c]);
      }
    }
    // The wind as vectors: 350 and 10 degrees make north, not south. Calm winds point nowhere.
    wind.Add(w * std::max(0, neighbour.m_WindSpeed), neighbour.m_WindDirection);
    direction.Add(w, neighbour.m_WindDirection);
    lowest = std::min<double>(lowest, neighbour.m_WindDirection);
    highest = std::max<double>(highest, neighbour.m_WindDirection);
  }

  if (slots.Filled() > 0) {
    station.m_WindSpeed = RoundToInt(speed.Mean());
    // A gust no stronger than the mean wind is no gust.
    station.m_WindGust = RoundToInt(gust.Mean());
    if (station.m_WindGust <= station.m_WindSpeed) station.m_WindGust = 0;
    station.m_Temperature = temperature.Whole();
    station.m_DewPoint = dewPoint.Whole();
    station.m_Pressure = pressure.Whole();
    // In hundredths of a mile, the block's unit, so that six miles stay 600 and not 599.
    station.m_Visibility = RoundToInt(visibility.Mean() * 100.0) / 100.0;
    station.m_PrecipIntensity = precipitation.Mean();
    const DirectionSum& chosen = wind.Empty(1.0) ? direction : wind;
    const auto& nearest = static_cast<const METAR_Station&>(*slots.m_Station[0]);
    station.m_WindDirection = WholeDegrees(chosen.Empty(1.0) ? nearest.m_WindDirection : chosen.Degrees());
    // The distance, the short way round, to the nearer of the lowest and highest direction.
    const double toLowest = std::fabs(AngleBetween(station.m_WindDirection, WholeDegrees(lowest)));
    const double toHighest = std::fabs(AngleBetween(station.m_WindDirection, WholeDegrees(highest)));
    station.m_WindVariation = RoundToInt(std::min(toLowest, toHighest));
    if (!cloudSource) station.m_CloudCover[0] = kMissingReal;
    for (int c = 0; c < kCloudSlots; ++c) {
      if (cover[c].Empty()) continue;
      station.m_CloudCover[c] = cover[c].Mean();
      station.m_CloudThickness[c] = thickness[c].Mean();
      station.m_CloudBase[c] = base[c].Empty() ? 0 : RoundToInt(base[c].Mean());
    }
    // Cloud kinds do not average: they come from the nearest report with clouds, like the
    // present weather and the thunderstorm from the nearest report.
    for (int c = 0; c < kCloudSlots; ++c) station.m_CloudType[c] = cloudSource ? cloudSource->m_CloudType[c] : 0;
  }

  // A layer below the one before it cannot be; the next one is then compared against 0.
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

  std::string obsDate, obsTime;
  if (slots.Filled() > 0) {
    const METAR_Station& nearest = static_cast<const METAR_Station&>(*slots.m_Station[0]);
    station.m_Weather = nearest.m_Weather;
    station.m_Thunderstorm = nearest.m_Thunderstorm;
    obsDate = nearest.m_ObsDate;
    obsTime = nearest.m_ObsTime;
  } else {
    station.m_Weather.clear();
    station.m_Thunderstorm = 0;
  }
  station.m_ReportText = ComposeReportText(station, obsDate, obsTime);

  if (trace && slots.Filled() > 0) {
    const std::string nearestKey = slots.m_Station[0]->m_Key;
    const std::string cloudKey = cloudSource ? cloudSource->m_Key : std::string();
    auto blended = [&](const char* name, const WeightedMean& mean) {
      trace->m_Fields.push_back({name, mean.Empty() ? ValueOrigin::kMissing : ValueOrigin::kBlend, mean.m_Count, ""});
    };
    blended("m_WindSpeed", speed);
    blended("m_WindDirection", speed);
    blended("m_WindGust", gust);
    blended("m_Visibility", visibility);
    blended("m_PrecipIntensity", precipitation);
    blended("m_Temperature", temperature);
    blended("m_DewPoint", dewPoint);
    blended("m_Pressure", pressure);
    blended("m_CloudCover", cover[0]);
    blended("m_CloudBase", base[0]);
    blended("m_CloudThickness", thickness[0]);
    trace->m_Fields.push_back(
        {"m_CloudType", cloudSource ? ValueOrigin::kNearest : ValueOrigin::kMissing, cloudSource ? 1 : 0, cloudKey});
    trace->m_Fields.push_back({"m_Weather", ValueOrigin::kNearest, 1, nearestKey});
    trace->m_Fields.push_back({"m_Thunderstorm", ValueOrigin::kNearest, 1, nearestKey});
  }
}
