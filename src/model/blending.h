#pragma once
// Blending between stations: the upper-air profile of a position from the nearest upper-air
// stations, and the surface report of a station without one from the nearest reporting
// stations. Both weight a neighbour by 1 / (squared distance)^2, so the nearest dominate.
#include <array>
#include <string>
#include <vector>

#include "model/neighbours.h"
#include "stations/station_records.h"

class METAR_Stations;

// Reporting stations closer than this (square nautical miles) give their report whole.
inline constexpr double kTakeOverSquaredDistance = 1.0;
// Upper-air stations farther than this (nautical miles) take no part in a profile. Soundings
// are launched some 150 to 300 nm apart where the network is dense (Europe, North America) and
// up to about 800 nm apart where it is sparse (Africa, Siberia, ocean islands). No point of a
// network lies farther than 0.71 spacings from its nearest sounding, so 600 nm reaches one from
// anywhere inside either kind (Seattle: Quillayute 100, Salem 160, Port Hardy 280, Annette
// Island 570 nm), while winds from another continent (Frankfurt to Newfoundland: 2,000 nm)
// never come in.
inline constexpr double kUpperAirReach = 600.0;
// The visibility of a station when neither its report nor any neighbour's gives one: clear air,
// as a 9999 or CAVOK group gives it (statute miles).
inline constexpr double kClearAirVisibility = 10.0;

// Inverse-square weighting of two neighbours' values p (squared distance s) and q (t).
// -999, and -999/360 for a direction fraction, are missing: both missing give nothing,
// one missing gives the other unweighted; a neighbour within 1 nm is taken as it is.
struct PairWeighting {
  double m_Value = 0.0;
  bool m_Counts = false;
};
PairWeighting WeighPair(double p, double s, double q, double t);
// The same for two directions in degrees (-999 missing), weighed the short way round the
// circle: 350 and 10 at equal weights give 0.
PairWeighting WeighPairDirection(double p, double s, double q, double t);

// What a blend used, for explaining a station's weather (filled only when asked for).
struct NeighbourNote {
  std::string m_Key;
  double m_SquaredDistance = 0.0;
  // The weight the neighbour's values entered with where every neighbour has the value (a
  // field some lack is renormalised over the others). Upper air: its share in each pair of
  // consecutive neighbours it belongs to, averaged over the pairs.
  double m_Weight = 0.0;
  std::string m_ObsDate;  // report date and time, when the neighbour carries a report
  std::string m_ObsTime;
};
// Where one blended surface value came from.
enum class ValueOrigin { kBlend, kNearest, kMissing };
struct FieldNote {
  std::string m_Field;  // member name; the cloud fields are told for the first layer
  ValueOrigin m_Origin = ValueOrigin::kBlend;
  int m_Neighbours = 0;  // how many neighbours' values went in
  std::string m_From;    // kNearest: the key of that neighbour
};
struct BlendTrace {
  std::vector<NeighbourNote> m_UpperAir;
  std::vector<NeighbourNote> m_Surface;
  std::vector<FieldNote> m_Fields;  // a blended surface report only (not own, not taken over)
  bool m_SurfaceBlended = false;    // the station had no usable report of its own
  std::string m_TakenOverFrom;      // key of the station whose whole report was taken over
};

// The process-wide blended profile: rewritten by every upper-air blend, read by the layers.
extern Weather_Station g_BlendedProfile;

// Blends the 13-level tables of the 10 nearest upper-air stations of the catalogue within
// kUpperAirReach of a position into profile (its whole base-record part is replaced). With no
// upper-air station within reach every level is missing and the profile is not valid, so the
// station gets no winds or temperatures aloft; with exactly one, its tables are taken unchanged.
void BlendUpperAir(const METAR_Stations& stations, double latitude, double longitude, Weather_Station& profile,
                   BlendTrace* trace = nullptr);

// True when an upper-air station of the catalogue lies within kUpperAirReach of the position.
bool UpperAirWithinReach(const METAR_Stations& stations, double latitude, double longitude);

// The visibility of a station whose report has no visibility group: the blend of the nearest
// reporting stations that have one (the one within 1 nm alone), or kClearAirVisibility.
double VisibilityFromNeighbours(const METAR_Stations& stations, const METAR_Station& station);

// Builds the surface report of a station without a usable one from the 10 nearest reporting
// stations and composes its report text; a reporting station within 1 nm gives its report
// whole instead (see TakeOverReport). The station's m_ReportValid stays as it is (0).
void BlendSurface(const METAR_Stations& stations, METAR_Station& station, BlendTrace* trace = nullptr);

// Makes station a copy of source's weather: upper-air tables, significant levels and their
// flags, the whole report, the weather block and its staging records. The station keeps its
// identity (position, names, key, WMO number, state, elevations, upper-air position).
void TakeOverReport(METAR_Station& station, const METAR_Station& source);
