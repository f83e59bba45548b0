#include "model/layers.h"

#include <array>
#include <cmath>
#include <cstdlib>

#include "model/numeric.h"
#include "model/weather_block_fields.h"
#include "base/random.h"
#include "base/units.h"
#include "stations/station_records.h"

namespace {

constexpr int kTopLevel = kLevelSlots - 1;  // 12
constexpr std::int32_t kNoUpperBase = 32767;

// Whole metres of a height given in feet, truncated as the block's integer fields hold it:
// WholeMetresFromFeet(2500) is 762, WholeMetresFromFeet(500) is 152.
constexpr int WholeMetresFromFeet(int feet) { return feet * 3048 / 10000; }

// Heights of the rules, in metres above sea level unless said otherwise.
constexpr std::uint16_t kMaxUpperAltitude = 30000;  // a cloud top above this is impossible
constexpr int kFallbackCloudDepth = 1000;           // depth of a layer whose top was impossible
constexpr int kLowCloudTop = 150;                   // tops up to 150 / 0.95 m never cap the visibility
constexpr int kPrecipBelowGround = 250;             // precipitation falls to this far below the station
constexpr double kHighLayerBaseFeet = 25100;        // the high thin layer's top: 25,100 ft
constexpr int kHighLayerTopSpreadFeet = 10000;      // ... to 35,100 ft
constexpr int kHighLayerDepthSpread = 1000;         // and 0 to 1000 m deep
constexpr int kStormTopLow = 7000;                  // a cumulonimbus or towering top: from 7000 m
constexpr int kCumulonimbusTopSpread = 2000;        // cumulonimbus: up to 9000 m
constexpr int kToweringTopSpread = 16000;           // towering cumulus: up to 23000 m
constexpr int kToweringBaseSpread = 7000;           // below a high towering top: a base 7000-14000 m above ground
constexpr int kLowBaseTop = 2000;                   // turbulence bands by cloud base: low up to 2000 m,
constexpr int kMiddleBaseTop = 6000;                //   middle up to 6000 m,
constexpr int kHighBaseTop = 7500;                  //   high up to 7500 m, very high above
constexpr int kFogBaseAboveGround = 100;            // a lowest layer this low (above ground) is fog
constexpr std::int16_t kFogPrecipBase = -450;
constexpr int kFogDepthMin = WholeMetresFromFeet(500);      // fog reaches 500 ft above the station
constexpr int kFogDepthSpread = WholeMetresFromFeet(2500);  // plus up to 2500 ft
constexpr int kLevelRounding = 500;                         // wind and temperature levels: nearest 500 m
constexpr std::uint16_t kSurfaceWindTop = 150;              // the surface wind layer reaches 150 m
constexpr int kVariationTop = 1100;                         // temperature variation falls to 0 at 1100 m
static_assert(kFogDepthMin == 152 && kFogDepthSpread == 762);

// r * k / 32767 for the next random r.
double U(int k) { return NextRandom() * static_cast<double>(k) / kRandomMax; }

bool UsableTemperature(std::int32_t t) { return std::abs(t) < 100; }

// A level whose height can be used: present, and not a copy of its pressure value.
bool UsableHeight(const Weather_Station& p, int k) {
  return p.m_LevelHeight[k] != kMissing && p.m_LevelHeight[k] != p.m_LevelPressure[k];
}

// Degrees as the block's 16-bit direction: degrees * 65535 / 360, integer division.
std::uint16_t BlockDirection(std::int64_t degrees) { return Low16(degrees * 65535 / 360); }

// Raises an upper altitude that wrapped below the lower one, and replaces an impossible one.
// Lower 3000 m, upper 500 m (a 16-bit top that wrapped): 3500 m. Upper 0 or 31000 m: lower + 1000.
void FixUpperAltitude(CloudLayer& layer, bool allowWrap) {
  if (allowWrap && layer.upperAltitude < layer.lowerAltitude)
    layer.upperAltitude = Low16(std::int32_t{layer.upperAltitude} + layer.lowerAltitude);
  if (layer.upperAltitude == 0 || layer.upperAltitude > kMaxUpperAltitude)
    layer.upperAltitude = Low16(std::int32_t{layer.lowerAltitude} + kFallbackCloudDepth);
}

// A low layer below the visibility's upper altitude brings that altitude down to its middle.
// Both altitudes are above sea level already, and the cap never raises the ceiling.
// A layer from 400 to 800 m under a visibility reaching 1500 m: the visibility reaches 600 m.
void CapVisibility(SimWeatherBlock& block, const CloudLayer& layer) {
  const std::uint16_t visibilityUpper = ReadVisibility(block.bytes).upperAltitude;
  if (layer.upperAltitude * 0.95 > kLowCloudTop && layer.upperAltitude < visibilityUpper) {
    const std::int32_t middle = (std::int32_t{layer.upperAltitude} - layer.lowerAltitude) / 2 + layer.lowerAltitude;
    if (middle < visibilityUpper) SetVisibilityUpperAltitude(block, Low16(middle));
  }
}

// Precipitation of the report on a layer: it falls from the layer to below the ground.
// Rain of intensity 1.0 at a 100 m station: base -150 m, type 1 (rain), rate 5, stratus;
// light rain of intensity 0.05: rate 1.
void SetPrecipitation(CloudLayer& layer, const METAR_Station& s) {
  layer.precipBase = Low16Signed(TruncateToInt(s.m_Elevation - kPrecipBelowGround));
  layer.precipType = s.m_Weather.find("SN") != std::string::npos ? 2 : 1;
  layer.type = kCloudTypeStratus;
  // Light rain is still rain: a rate of 0 would send a rain type that does not fall.
  layer.precipRate = Low8(std::max(1, TruncateToInt(s.m_PrecipIntensity * 5 + 0.5)));
}

// A high thin layer where the air cools slowly with height: at most 0.85 C over the first
// 100 m and at most 30.25 C up to 5000 m. 15 C at the ground, 14.5 C at 100 m, -10 C at
// 5000 m: a cirrus layer with its top between 25,100 and 35,100 ft (7650-10698 m), 0 to
// 1000 m deep, 1 to 3 octas.
void AddHighThinLayer(METAR_Station& station, const Weather_Station& profile, double referenceHeight) {
  const double t0 = ProfileTemperatureAt(profile, referenceHeight, 0.0);
  const double t100 = ProfileTemperatureAt(profile, referenceHeight, 100.0);
  const double t5000 = ProfileTemperatureAt(profile, referenceHeight, 5000.0);
  // Without temperatures there is no lapse rate to judge.
  if (t0 == kMissingReal || t100 == kMissingReal || t5000 == kMissingReal) return;
  if (!(t0 - 0.6 - t100 <= 0.25 && t0 - 30.0 - t5000 <= 0.25)) return;
  CloudLayer layer;
  layer.upperAltitude = Low16(TruncateToInt(MetresFromFeet(kHighLayerBaseFeet + U(kHighLayerTopSpreadFeet))));
  layer.lowerAltitude = Low16(TruncateToInt(layer.upperAltitude - U(kHighLayerDepthSpread)));
  layer.deviation = 50;
  layer.coverage = Low8(TruncateToInt(1 + U(2)));
  layer.type = kCloudTypeCirrus;
  if (layer.upperAltitude < layer.lowerAltitude) return;
  FixUpperAltitude(layer, false);
  AppendCloudLayer(station.m_WeatherBlock, layer);
}

// One report layer (l = 4 .. 0); nextHigherBase is the lower altitude of the layer above.
// A layer 914 m above a 100 m station, cover 0.75, thickness 1.2, nothing above: from 1014 m
// to 1200 + 914 + 100 = 2214 m, deviation 60 m, 6 octas, cumulus (thinner than 2),
// turbulence 1.2 * 2 = 2 (base up to 2000 m).
void AddReportLayer(METAR_Station& s, int l, std::int32_t& nextHigherBase) {
  double& thickness = s.m_CloudThickness[l];
  const double elevation = s.m_Elevation;
  std::int16_t top = Low16Signed(TruncateToInt(thickness * 1000 + s.m_CloudBase[l] + elevation + 0.5));

  if (s.m_CloudType[l] == kMarkCumulonimbus) {
    // A cumulonimbus reaches 7000-9000 m; when its top already does, the layer below becomes
    // the towering part instead.
    if (top < kStormTopLow || l == 0) {
      top = Low16Signed(TruncateToInt(kStormTopLow + U(kCumulonimbusTopSpread)));
      thickness = 1.0;
    } else {
      s.m_CloudBase[l - 1] = TruncateToInt(kStormTopLow + U(kCumulonimbusTopSpread));
      s.m_CloudThickness[l - 1] = 1.0;
    }
  }
  if (s.m_CloudType[l] == kMarkToweringCumulus) {
    if (top < kStormTopLow || l == 0)
      top = Low16Signed(TruncateToInt(kStormTopLow + U(kToweringTopSpread)));
    else
      s.m_CloudBase[l - 1] = TruncateToInt(kStormTopLow + U(kToweringBaseSpread));
  }
  if (top > nextHigherBase) top = Low16Signed(nextHigherBase - 50);

  CloudLayer layer;
  layer.upperAltitude = static_cast<std::uint16_t>(top);
  layer.lowerAltitude = Low16(TruncateToInt(s.m_CloudBase[l] + elevation + 0.5));
  nextHigherBase = static_cast<std::int16_t>(layer.lowerAltitude);
  layer.deviation = Low16(TruncateToInt(thickness * 50 + 0.5));
  layer.coverage = Low8(TruncateToInt(s.m_CloudCover[l] * 8 + 0.5));
  layer.type = thickness < 2 ? kCloudTypeCumulus : kCloudTypeStratus;

  double j;
  // Turbulence by base and kind: a low cumulus twice its thickness, a very high stratus its
  // thickness, a high cirrus none.
  if (layer.lowerAltitude <= kLowBaseTop) {
    j = layer.type == kCloudTypeCumulus ? thickness * 2 : thickness * 0.5;
  } else if (layer.lowerAltitude <= kMiddleBaseTop) {
    j = layer.type == kCloudTypeCumulus ? thickness : thickness * 0.25;
  } else if (layer.lowerAltitude <= kHighBaseTop) {
    layer.type = thickness < 1 ? kCloudTypeCirrus : kCloudTypeStratus;
    j = layer.type == kCloudTypeStratus ? thickness * 0.25 : 0.0;
  } else {
    layer.type = thickness < 2 ? kCloudTypeCirrus : kCloudTypeStratus;
    j = layer.type == kCloudTypeStratus ? thickness : thickness * 0.25;
  }
  layer.turbulence = layer.turbulence2 = Low8(TruncateToInt(j));
  const std::uint8_t stormTurbulence = Low8(TruncateToInt(layer.coverage * 0.125 + 3));

  if (l == 0) {
    if (s.m_Thunderstorm) {
      layer.type = kCloudTypeThunderstorm;
      layer.turbulence = layer.turbulence2 = stormTurbulence;
    }
    if (s.m_PrecipIntensity != 0.0) SetPrecipitation(layer, s);
  }
  if (s.m_CloudType[l] == kMarkToweringCumulus || s.m_Thunderstorm) {
    layer.type = kCloudTypeThunderstorm;
    layer.turbulence = layer.turbulence2 = stormTurbulence;
  }
  FixUpperAltitude(layer, true);
  if (l == 0) CapVisibility(s.m_WeatherBlock, layer);
  AppendCloudLayer(s.m_WeatherBlock, layer);
}

// Fog in the lowest slot (base up to 100 m, cover 3/4 or more, thickness 0.5 or more); true
// when a layer was appended. Fog with cover 1.0 at a 100 m station: from 100 m up to
// 252-1014 m (500 ft, plus up to 2500 ft), 8 octas, stratus.
bool AddGroundFog(METAR_Station& s) {
  const bool fog = s.m_CloudBase[0] <= kFogBaseAboveGround && s.m_CloudCover[0] >= 0.75 && s.m_CloudThickness[0] >= 0.5;
  if (!fog) return false;
  CloudLayer layer;
  layer.precipBase = kFogPrecipBase;
  layer.upperAltitude = Low16(TruncateToInt(U(kFogDepthSpread) + s.m_Elevation + kFogDepthMin));
  layer.lowerAltitude = Low16(TruncateToInt(s.m_Elevation));
  layer.deviation = 0;
  layer.coverage = Low8(TruncateToInt(s.m_CloudCover[0] * 8 + 0.5));
  layer.type = kCloudTypeStratus;
  FixUpperAltitude(layer, false);
  CapVisibility(s.m_WeatherBlock, layer);
  return AppendCloudLayer(s.m_WeatherBlock, layer);
}

}  // namespace

// The levels' heights are above sea level, h is a height above the profile's ground (its
// reference height): the temperature is read at h + reference. Levels at 1500 m (10 C) and
// 3000 m (-2 C), reference 0, h 2000 m: 10 - 12 / 1500 * 500 = 6 C. Levels a high station reports
// below its ground (Denver's extrapolated 1000 hPa) are passed over; below the first level above
// the ground the surface temperature holds.
double ProfileTemperatureAt(const Weather_Station& p, double referenceHeight, double height) {
  const double target = height + referenceHeight;
  int k = 0;
  for (int level = kTopLevel; level >= 1; --level) {
    // A level without a height cannot be placed below h.
    if (UsableTemperature(p.m_LevelTemperature[level]) && UsableHeight(p, level) &&
        p.m_LevelHeight[level] > referenceHeight && p.m_LevelHeight[level] < target) {
      k = level;
      break;
    }
  }
  const double tk = p.m_LevelTemperature[k];
  if (!UsableTemperature(p.m_LevelTemperature[k])) return kMissingReal;
  if (k == 0) return tk;
  const double hk = p.m_LevelHeight[k];
  // The next level above with a temperature and a distinct height to interpolate towards.
  for (int above = k + 1; above <= kTopLevel; ++above) {
    if (!UsableTemperature(p.m_LevelTemperature[above]) || !UsableHeight(p, above) ||
        p.m_LevelHeight[above] == p.m_LevelHeight[k])
      continue;
    const double ta = p.m_LevelTemperature[above], ha = p.m_LevelHeight[above];
    return tk - (tk - ta) / (ha - hk) * (target - hk);
  }
  return tk;
}

void AddCloudLayers(METAR_Station& station, const Weather_Station& profile, double referenceHeight) {
  SimWeatherBlock& block = station.m_WeatherBlock;
  AddHighThinLayer(station, profile, referenceHeight);
  const int highLayer = ReadCloudCount(block.bytes) - 1;
  int lowestReportLayer = -1, fogLayer = -1;
  bool precipitationPlaced = false;
  std::int32_t nextHigherBase = kNoUpperBase;
  for (int l = kCloudSlots - 1; l >= 0; --l) {
    if (station.m_CloudBase[l] > kFogBaseAboveGround && station.m_CloudCover[l] > 0) {
      AddReportLayer(station, l, nextHigherBase);
      lowestReportLayer = ReadCloudCount(block.bytes) - 1;
      precipitationPlaced = l == 0;
    } else if (l == 0 && AddGroundFog(station)) {
      fogLayer = ReadCloudCount(block.bytes) - 1;
    }
  }
  // Mist or fog in the lowest slot: the rain or snow falls from the lowest cloud written
  // instead (the lowest report layer, else the fog, else the high layer), not nowhere.
  if (precipitationPlaced || station.m_PrecipIntensity == 0.0) return;
  const int target = lowestReportLayer >= 0 ? lowestReportLayer : fogLayer >= 0 ? fogLayer : highLayer;
  if (target < 0) return;
  CloudLayer layer = ReadCloudLayer(block.bytes, target);
  const std::uint8_t type = layer.type;
  SetPrecipitation(layer, station);
  if (type == kCloudTypeThunderstorm) layer.type = type;
  ReplaceCloudLayer(block, target, layer);
}

void AddWindAndTemperatureLayers(METAR_Station& station, const Weather_Station& profile, std::int32_t cycleFileRead) {
  if (profile.m_UpperAirValid == 0 || cycleFileRead != 1) return;
  SimWeatherBlock& block = station.m_WeatherBlock;
  const auto& height = profile.m_LevelHeight;
  const auto& temperature = profile.m_LevelTemperature;
  const auto& dewPoint = profile.m_LevelDewPoint;
  const auto& direction = profile.m_LevelWindDirection;
  const auto& speed = profile.m_LevelWindSpeed;

  // The surface wind is the first wind layer, reaching kSurfaceWindTop above the station's
  // ground, and the surface temperature the first temperature layer. A level whose layer would
  // end at or below the surface wind gives no wind layer, one at or below the ground no
  // temperature layer: KBFI at 5 m with its 1000 hPa level at 110 m (rounded to 0 m) would
  // otherwise have had that level's wind as its surface wind.
  const std::int64_t ground = std::max<std::int64_t>(0, TruncateToInt(station.m_Elevation));
  const std::int64_t surfaceWindTop = std::max<std::int64_t>(kSurfaceWindTop, ground + kSurfaceWindTop);
  std::array<TemperatureLayer, kLevelSlots> aloft{};
  int aloftCount = 0;
  // Each level above the station, at its height rounded to 500 m (1450 m: 1500, 1240 m: 1000).
  // Wind turbulence is a fifth of the dew-point spread (10 and 2 C: 1), shear a sixtieth of the
  // turn from the level below (270 to 330 degrees: 1; 350 to 20: 30 degrees, 0); temperature
  // variation falls from 4 at the ground to 0 at 1100 m (500 m: 4 - 2 = 2).
  for (int k = kTopLevel; k >= 1; --k) {
    if (!UsableHeight(profile, k) || !(height[k] > station.m_Elevation)) continue;
    const std::int64_t rounded = kLevelRounding * std::int64_t{TruncateToInt(height[k] * (1.0 / kLevelRounding) + 0.5)};
    if (rounded <= ground) continue;
    const std::uint16_t altitude = Low16(rounded);

    if (rounded > surfaceWindTop) {
      WindLayer wind;
      wind.upperAltitude = altitude;
      // A speed without a direction cannot be placed: the level is written calm.
      if (speed[k] > 0 && direction[k] != kMissing) {
        wind.speed = Low16(speed[k]);
        wind.direction = BlockDirection(direction[k]);
      }
      if (temperature[k] != kMissing && dewPoint[k] != kMissing)
        wind.turbulence = Low8(TruncateToInt(std::fabs((std::int64_t{temperature[k]} - dewPoint[k]) * 0.2)));
      if (direction[k] != kMissing && direction[k - 1] != kMissing) {
        std::int64_t d = std::llabs(std::int64_t{direction[k]} - direction[k - 1]);
        if (d > 180) d = 360 - d;
        wind.shear = Low8(d / 60);
      }
      AppendWindLayer(block, wind);
    }

    if (UsableTemperature(temperature[k])) {
      TemperatureLayer layer;
      layer.altitude = altitude;
      layer.temperature = Low16Signed(temperature[k]);
      layer.dewPoint = Low16Signed(dewPoint[k]);
      layer.variation =
          altitude < kVariationTop ? Low16Signed(4 - TruncateToInt(altitude * 4 / double{kVariationTop} + 0.5)) : 0;
      aloft[aloftCount++] = layer;
    }
  }

  WindLayer surface;
  surface.upperAltitude = kSurfaceWindTop;
  surface.speed = station.m_WindSpeed > 0 ? Low16(station.m_WindSpeed) : 0;
  surface.direction = BlockDirection(station.m_WindDirection);  // kept also for a calm wind
  surface.gust = Low16(station.m_WindGust);
  surface.turbulence = Low8(TruncateToInt(station.m_CloudThickness[0]));
  surface.shear = Low8(TruncateToInt(station.m_CloudThickness[0] * 0.75));
  surface.variance = BlockDirection(station.m_WindVariation);
  AppendWindLayer(block, surface);
  SortWindLayers(block);

  AppendTemperatureLayer(block,
                         TemperatureLayer{0, Low16Signed(station.m_Temperature), 4, Low16Signed(station.m_DewPoint)});
  for (int i = 0; i < aloftCount; ++i) AppendTemperatureLayer(block, aloft[i]);
  SortTemperatureLayers(block);

  // A report without pressure would give the simulator 3097 hPa; the pressure words keep
  // what they held instead.
  if (station.m_Pressure != kMissing) WritePressure(block, Low16(std::int64_t{station.m_Pressure} * 16));
}
