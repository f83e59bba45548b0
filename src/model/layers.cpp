#include "model/layers.h"

#include <array>
#include <cmath>
#include <cstdlib>

#include "model/numeric.h"
#include "model/weather_block_fields.h"
#include "reports/random.h"
#include "reports/tokenizer.h"
#include "stations/station_records.h"

namespace {

constexpr int kTopLevel = kLevelSlots - 1;  // 12
constexpr std::int32_t kNoUpperBase = 32767;
constexpr std::uint16_t kMaxUpperAltitude = 30000;

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
void FixUpperAltitude(CloudLayer& layer, bool allowWrap) {
  if (allowWrap && layer.upperAltitude < layer.lowerAltitude)
    layer.upperAltitude = Low16(std::int32_t{layer.upperAltitude} + layer.lowerAltitude);
  if (layer.upperAltitude == 0 || layer.upperAltitude > kMaxUpperAltitude)
    layer.upperAltitude = Low16(std::int32_t{layer.lowerAltitude} + 1000);
}

// A low layer below the visibility's upper altitude brings that altitude down to its middle.
// Both altitudes are above sea level already, and the cap never raises the ceiling.
void CapVisibility(SimWeatherBlock& block, const CloudLayer& layer) {
  const std::uint16_t visibilityUpper = ReadVisibility(block.bytes).upperAltitude;
  if (layer.upperAltitude * 0.95 > 150 && layer.upperAltitude < visibilityUpper) {
    const std::int32_t middle = (std::int32_t{layer.upperAltitude} - layer.lowerAltitude) / 2 + layer.lowerAltitude;
    if (middle < visibilityUpper) SetVisibilityUpperAltitude(block, Low16(middle));
  }
}

// Precipitation of the report on a layer: it falls from the layer to below the ground.
void SetPrecipitation(CloudLayer& layer, const METAR_Station& s) {
  layer.precipBase = Low16Signed(TruncateToInt(s.m_Elevation - 250));
  layer.precipType = s.m_Weather.find("SN") != std::string::npos ? 2 : 1;
  layer.type = kCloudTypeStratus;
  layer.precipRate = Low8(TruncateToInt(s.m_PrecipIntensity * 5 + 0.5));
}

void AddHighThinLayer(METAR_Station& station, const Weather_Station& profile, double referenceHeight) {
  const double t0 = ProfileTemperatureAt(profile, referenceHeight, 0.0);
  const double t100 = ProfileTemperatureAt(profile, referenceHeight, 100.0);
  const double t5000 = ProfileTemperatureAt(profile, referenceHeight, 5000.0);
  // Without temperatures there is no lapse rate to judge.
  if (t0 == kMissingReal || t100 == kMissingReal || t5000 == kMissingReal) return;
  if (!(t0 - 0.6 - t100 <= 0.25 && t0 - 30.0 - t5000 <= 0.25)) return;
  CloudLayer layer;
  layer.upperAltitude = Low16(TruncateToInt(MetresFromFeet(25100 + U(10000))));
  layer.lowerAltitude = Low16(TruncateToInt(layer.upperAltitude - U(1000)));
  layer.deviation = 50;
  layer.coverage = Low8(TruncateToInt(1 + U(2)));
  layer.type = kCloudTypeCirrus;
  if (layer.upperAltitude < layer.lowerAltitude) return;
  FixUpperAltitude(layer, false);
  AppendCloudLayer(station.m_WeatherBlock, layer);
}

// One report layer (l = 4 .. 0); nextHigherBase is the lower altitude of the layer above.
void AddReportLayer(METAR_Station& s, int l, std::int32_t& nextHigherBase) {
  double& thickness = s.m_CloudThickness[l];
  const double elevation = s.m_Elevation;
  std::int16_t top = Low16Signed(TruncateToInt(thickness * 1000 + s.m_CloudBase[l] + elevation + 0.5));

  if (s.m_CloudType[l] == kMarkCumulonimbus) {
    // A cumulonimbus reaches 7000-9000 m; when its top already does, the layer below becomes
    // the towering part instead.
    if (top < 7000 || l == 0) {
      top = Low16Signed(TruncateToInt(7000 + U(2000)));
      thickness = 1.0;
    } else {
      s.m_CloudBase[l - 1] = TruncateToInt(7000 + U(2000));
      s.m_CloudThickness[l - 1] = 1.0;
    }
  }
  if (s.m_CloudType[l] == kMarkToweringCumulus) {
    if (top < 7000 || l == 0)
      top = Low16Signed(TruncateToInt(7000 + U(16000)));
    else
      s.m_CloudBase[l - 1] = TruncateToInt(7000 + U(7000));
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
  if (layer.lowerAltitude <= 2000) {
    j = layer.type == kCloudTypeCumulus ? thickness * 2 : thickness * 0.5;
  } else if (layer.lowerAltitude <= 6000) {
    j = layer.type == kCloudTypeCumulus ? thickness : thickness * 0.25;
  } else if (layer.lowerAltitude <= 7500) {
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

// True when a layer was appended.
bool AddGroundFog(METAR_Station& s) {
  if (!(s.m_CloudBase[0] <= 100 && s.m_CloudCover[0] >= 0.75 && s.m_CloudThickness[0] >= 0.5)) return false;
  CloudLayer layer;
  layer.precipBase = -450;
  layer.upperAltitude = Low16(TruncateToInt(U(762) + s.m_Elevation + 152));
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
// reference height): the temperature is read at h + reference. Levels a high station reports
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
    if (station.m_CloudBase[l] > 100 && station.m_CloudCover[l] > 0) {
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

  // The report's own surface temperature goes in before the profile's, so that a level that
  // rounds to 0 m sorts after it.
  std::array<TemperatureLayer, kLevelSlots> aloft{};
  int aloftCount = 0;
  for (int k = kTopLevel; k >= 1; --k) {
    if (!UsableHeight(profile, k) || !(height[k] > station.m_Elevation)) continue;
    const std::uint16_t altitude = Low16(500 * std::int64_t{TruncateToInt(height[k] * 0.002 + 0.5)});

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

    if (UsableTemperature(temperature[k])) {
      TemperatureLayer layer;
      layer.altitude = altitude;
      layer.temperature = Low16Signed(temperature[k]);
      layer.dewPoint = Low16Signed(dewPoint[k]);
      layer.variation = altitude < 1100 ? Low16Signed(4 - TruncateToInt(altitude * 4 / 1100.0 + 0.5)) : 0;
      aloft[aloftCount++] = layer;
    }
  }

  WindLayer surface;
  surface.upperAltitude = 150;
  surface.speed = station.m_WindSpeed > 0 ? Low16(station.m_WindSpeed) : 0;
  surface.direction = BlockDirection(station.m_WindDirection);  // kept also for a calm wind
  surface.gust = Low16(station.m_WindGust);
  surface.turbulence = Low8(TruncateToInt(station.m_CloudThickness[0]));
  surface.shear = Low8(TruncateToInt(station.m_CloudThickness[0] * 0.75));
  surface.variance = BlockDirection(station.m_WindVariation);
  AppendWindLayer(block, surface);
  SortWindLayers(block);

  AppendTemperatureLayer(block, TemperatureLayer{0, Low16Signed(station.m_Temperature), 4,
                                                 Low16Signed(station.m_DewPoint)});
  for (int i = 0; i < aloftCount; ++i) AppendTemperatureLayer(block, aloft[i]);
  SortTemperatureLayers(block);

  // A report without pressure would give the simulator 3097 hPa; the pressure words keep
  // what they held instead.
  if (station.m_Pressure != kMissing) WritePressure(block, Low16(std::int64_t{station.m_Pressure} * 16));
}
