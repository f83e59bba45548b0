#include "model/layers.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "model/weather_block_fields.h"
#include "base/random.h"
#include "stations/station_records.h"

namespace {

// A station with a filled header: elevation, T/Td (spread sets the visibility upper altitude).
using StationPtr = std::unique_ptr<METAR_Station>;

StationPtr MakeStation(double elevation, int temperature = 10, int dewPoint = 0) {
  auto s = std::make_unique<METAR_Station>();
  s->m_Key = "TEST";
  s->m_Elevation = elevation;
  s->m_Temperature = temperature;
  s->m_DewPoint = dewPoint;
  s->m_CloudCover[0] = 0.0;
  s->m_Pressure = 1013;
  ClearWeatherBlock(s->m_WeatherBlock.bytes);
  FillBlockHeader(*s);
  return s;
}

void SetLevel(Weather_Station& p, int k, int pressure, int height, int temperature, int dewPoint = -999,
              int direction = -999, int speed = -999) {
  p.m_LevelPressure[k] = pressure;
  p.m_LevelHeight[k] = height;
  p.m_LevelTemperature[k] = temperature;
  p.m_LevelDewPoint[k] = dewPoint;
  p.m_LevelWindDirection[k] = direction;
  p.m_LevelWindSpeed[k] = speed;
}

std::vector<CloudLayer> Clouds(const METAR_Station& s) { return DecodeWeatherBlock(s.m_WeatherBlock.bytes).clouds; }

TEST(ProfileTemperatureAt, InterpolatesAndNeverUsesAnUnusableLevel) {
  struct Case {
    const char* name;
    int h1, t1, h2, t2, h3, t3;
    double height;
    double expected;
  } cases[] = {
      {"between levels 1 and 2", 1000, 10, 2000, 0, 3000, -10, 1500, 5},
      {"below every level: the surface", 1000, 10, 2000, 0, 3000, -10, 500, 15},
      {"missing temperature above: the next usable level", 1000, 10, 2000, -999, 3000, -10, 1500, 5},
      {"missing temperature at the same height above", 1000, 10, 1000, -999, 3000, -10, 1500, 5},
      {"missing height above: the next usable level", 1000, 10, -999, 0, 3000, -10, 1500, 5},
      {"nothing usable above: the level itself", 1000, 10, 2000, -999, 3000, 150, 1500, 10},
      {"a level without height is not placed below", -999, -50, 2000, 0, 3000, -10, 1000, 15},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Weather_Station p;
    SetLevel(p, 0, 1013, 0, 15);
    SetLevel(p, 1, 900, c.h1, c.t1);
    SetLevel(p, 2, 800, c.h2, c.t2);
    SetLevel(p, 3, 700, c.h3, c.t3);
    EXPECT_DOUBLE_EQ(ProfileTemperatureAt(p, 0.0, c.height), c.expected);
  }
  // The top level has no level above it: its own temperature.
  Weather_Station top;
  SetLevel(top, 0, 1013, 0, 15);
  SetLevel(top, 12, 50, 20000, -60);
  EXPECT_DOUBLE_EQ(ProfileTemperatureAt(top, 0.0, 25000), -60);
  // Heights are above sea level and h above the profile's ground at 600 m: 1000 m above the
  // ground is 1600 m, between the levels at 1000 and 2000 m. The level reported below the ground
  // (an extrapolated 1000 hPa at 500 m) is never used, not even at h = 0.
  Weather_Station lifted;
  SetLevel(lifted, 0, 940, 600, 15);
  SetLevel(lifted, 1, 1000, 500, 30);
  SetLevel(lifted, 2, 900, 1000, 10);
  SetLevel(lifted, 3, 800, 2000, 0);
  EXPECT_DOUBLE_EQ(ProfileTemperatureAt(lifted, 600.0, 1000), 10 - 10.0 / 1000 * 600);
  EXPECT_DOUBLE_EQ(ProfileTemperatureAt(lifted, 600.0, 300), 15);
  EXPECT_DOUBLE_EQ(ProfileTemperatureAt(lifted, 600.0, 0), 15);
  EXPECT_EQ(ProfileTemperatureAt(Weather_Station{}, 0.0, 100), -999.0);
}

// Profile with a surface temperature of 15 and T(5000) = t5000.
std::unique_ptr<Weather_Station> LapseProfile(int t5000) {
  auto owned = std::make_unique<Weather_Station>();
  Weather_Station& p = *owned;
  SetLevel(p, 0, 1013, 0, 15);
  SetLevel(p, 1, 850, 1500, 5);
  SetLevel(p, 2, 500, 5000, t5000);
  SetLevel(p, 3, 300, 9000, -50);
  p.m_UpperAirValid = 1;
  return owned;
}

TEST(CloudLayers, HighThinLayerWhenTheProfileCoolsSlowly) {
  for (std::uint32_t seed : {1u, 7u, 12345u, 99u, 2026u}) {
    SCOPED_TRACE(seed);
    SeedRandom(seed);
    StationPtr s = MakeStation(0);
    AddCloudLayers(*s, *LapseProfile(-14), 0.0);  // 15 - 30 - (-14) = -1: slow
    std::vector<CloudLayer> clouds = Clouds(*s);
    ASSERT_EQ(clouds.size(), 1u);
    EXPECT_GE(clouds[0].upperAltitude, 7650);
    EXPECT_LE(clouds[0].upperAltitude, 10698);
    EXPECT_LE(clouds[0].lowerAltitude, clouds[0].upperAltitude);
    EXPECT_GE(clouds[0].lowerAltitude + 1000, clouds[0].upperAltitude);
    EXPECT_GE(clouds[0].coverage, 1);
    EXPECT_LE(clouds[0].coverage, 2);
    EXPECT_EQ(clouds[0].type, kCloudTypeCirrus);
    EXPECT_EQ(clouds[0].deviation, 50);
    EXPECT_EQ(clouds[0].turbulence, 0);
  }
  StationPtr normal = MakeStation(0);
  AddCloudLayers(*normal, *LapseProfile(-20), 0.0);  // 15 - 30 + 20 = 5: normal lapse, no layer
  EXPECT_TRUE(Clouds(*normal).empty());
  StationPtr noProfile = MakeStation(0);
  AddCloudLayers(*noProfile, Weather_Station{}, -999.0);
  EXPECT_TRUE(Clouds(*noProfile).empty());
}

struct ReportLayer {
  int base;
  double cover, thickness;
  int mark;
};

StationPtr StationWithLayers(double elevation, std::initializer_list<ReportLayer> layers) {
  StationPtr s = MakeStation(elevation);
  int i = 0;
  for (const ReportLayer& l : layers) {
    s->m_CloudBase[i] = l.base;
    s->m_CloudCover[i] = l.cover;
    s->m_CloudThickness[i] = l.thickness;
    s->m_CloudType[i] = l.mark;
    ++i;
  }
  return s;
}

TEST(CloudLayers, ReportLayerAltitudesDeviationTypeAndTurbulence) {
  struct Case {
    const char* name;
    double elevation;
    ReportLayer layer;
    std::uint16_t upper, lower, deviation;
    std::uint8_t coverage, type, turbulence;
  } cases[] = {
      {"3000 m over a 200 m station", 200, {3000, 0.5, 1.0, 0}, 4200, 3200, 50, 4, 9, 1},
      {"low thin cumulus", 0, {600, 0.3, 1.5, 0}, 2100, 600, 75, 2, 9, 3},
      {"low thick stratus", 0, {600, 1.0, 3.0, 0}, 3600, 600, 150, 8, 8, 1},
      {"mid stratus", 0, {2500, 0.9, 4.0, 0}, 6500, 2500, 200, 7, 8, 1},
      {"6001-7500 thin becomes cirrus", 0, {6500, 0.2, 0.5, 0}, 7000, 6500, 25, 2, 1, 0},
      {"6001-7500 thick stays stratus", 0, {6500, 0.2, 4.0, 0}, 10500, 6500, 200, 2, 8, 1},
      {"above 7500 thin is cirrus", 0, {8000, 0.2, 1.0, 0}, 9000, 8000, 50, 2, 1, 0},
      {"above 7500 thick is stratus", 0, {8000, 0.2, 4.0, 0}, 12000, 8000, 200, 2, 8, 4},
      {"top above 30000 becomes base + 1000", 0, {600, 0.5, 30.0, 0}, 1600, 600, 1500, 4, 8, 15},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Second layer slot so the lowest-layer rules (visibility cap, precipitation) stay out.
    StationPtr s = StationWithLayers(c.elevation, {{0, 0, 0, 0}, c.layer});
    AddCloudLayers(*s, Weather_Station{}, -999.0);
    std::vector<CloudLayer> clouds = Clouds(*s);
    ASSERT_EQ(clouds.size(), 1u);
    EXPECT_EQ(clouds[0].upperAltitude, c.upper);
    EXPECT_EQ(clouds[0].lowerAltitude, c.lower);
    EXPECT_EQ(clouds[0].deviation, c.deviation);
    EXPECT_EQ(clouds[0].coverage, c.coverage);
    EXPECT_EQ(clouds[0].type, c.type);
    EXPECT_EQ(clouds[0].turbulence, c.turbulence);
    EXPECT_EQ(clouds[0].turbulence2, c.turbulence);
  }
}

TEST(CloudLayers, TopEndsFiftyMetresBelowTheNextBaseAndLayersGoHighestFirst) {
  StationPtr s = StationWithLayers(100, {{0, 0, 0, 0}, {1000, 0.5, 3.0, 0}, {3000, 0.8, 1.0, 0}});
  AddCloudLayers(*s, Weather_Station{}, -999.0);
  std::vector<CloudLayer> clouds = Clouds(*s);
  ASSERT_EQ(clouds.size(), 2u);
  EXPECT_EQ(clouds[0].lowerAltitude, 3100);
  EXPECT_EQ(clouds[0].upperAltitude, 4100);
  EXPECT_EQ(clouds[1].lowerAltitude, 1100);
  EXPECT_EQ(clouds[1].upperAltitude, 3050);
}

TEST(CloudLayers, ThunderstormMakesEveryLayerTypeTen) {
  StationPtr s = StationWithLayers(0, {{500, 0.5, 1.0, 0}, {1500, 1.0, 1.0, 0}, {4000, 0.25, 1.0, 0}});
  s->m_Thunderstorm = 1;
  AddCloudLayers(*s, Weather_Station{}, -999.0);
  std::vector<CloudLayer> clouds = Clouds(*s);
  ASSERT_EQ(clouds.size(), 3u);
  const std::uint8_t turbulence[] = {3, 4, 3};  // 2, 8 and 4 octas
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(clouds[i].type, kCloudTypeThunderstorm) << i;
    EXPECT_EQ(clouds[i].turbulence, turbulence[i]) << i;
    EXPECT_EQ(clouds[i].turbulence2, turbulence[i]) << i;
  }
}

TEST(CloudLayers, CumulonimbusAndToweringCumulusReachUpAndChangeTheReport) {
  SeedRandom(5);
  // A cumulonimbus with a low top is raised to 7000-9000 m and its thickness becomes 1 km.
  StationPtr cb = StationWithLayers(0, {{0, 0, 0, 0}, {800, 0.5, 0.5, kMarkCumulonimbus}});
  AddCloudLayers(*cb, Weather_Station{}, -999.0);
  std::vector<CloudLayer> clouds = Clouds(*cb);
  ASSERT_EQ(clouds.size(), 1u);
  EXPECT_GE(clouds[0].upperAltitude, 7000);
  EXPECT_LE(clouds[0].upperAltitude, 9000);
  EXPECT_EQ(cb->m_CloudThickness[1], 1.0);
  EXPECT_EQ(clouds[0].deviation, 50);

  // A cumulonimbus whose top is already high lifts the layer below instead.
  StationPtr high = StationWithLayers(0, {{0, 0, 0, 0}, {600, 0.5, 0.2, 0}, {2000, 0.5, 6.0, kMarkCumulonimbus}});
  AddCloudLayers(*high, Weather_Station{}, -999.0);
  EXPECT_GE(high->m_CloudBase[1], 7000);
  EXPECT_LE(high->m_CloudBase[1], 9000);
  EXPECT_EQ(high->m_CloudThickness[1], 1.0);
  clouds = Clouds(*high);
  ASSERT_EQ(clouds.size(), 2u);
  EXPECT_EQ(clouds[0].upperAltitude, 8000);
  // The lifted layer's top is held 50 m under the cumulonimbus base, which puts it below the
  // layer's own base: the top then becomes top + base.
  EXPECT_EQ(clouds[1].lowerAltitude, high->m_CloudBase[1]);
  EXPECT_EQ(clouds[1].upperAltitude, 1950 + clouds[1].lowerAltitude);

  // A towering cumulus: type 10, top 7000-23000 m.
  StationPtr tcu = StationWithLayers(0, {{0, 0, 0, 0}, {900, 1.0, 1.0, kMarkToweringCumulus}});
  AddCloudLayers(*tcu, Weather_Station{}, -999.0);
  clouds = Clouds(*tcu);
  ASSERT_EQ(clouds.size(), 1u);
  EXPECT_EQ(clouds[0].type, kCloudTypeThunderstorm);
  EXPECT_EQ(clouds[0].turbulence, 4);
  EXPECT_GE(clouds[0].upperAltitude, 7000);
  EXPECT_LE(clouds[0].upperAltitude, 23000);
}

TEST(CloudLayers, PrecipitationOnTheLowestLayerAndTheVisibilityCap) {
  struct Case {
    const char* name;
    std::string weather;
    std::uint8_t precipType;
  } cases[] = {{"rain", "-RA", 1}, {"snow", "SHSN", 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StationPtr s = StationWithLayers(400, {{300, 0.6, 0.2, 0}});
    s->m_PrecipIntensity = 0.5;
    s->m_Weather = c.weather;
    ASSERT_EQ(ReadVisibility(s->m_WeatherBlock.bytes).upperAltitude, 1650);  // spread 10 over 400 m
    AddCloudLayers(*s, Weather_Station{}, -999.0);
    std::vector<CloudLayer> clouds = Clouds(*s);
    ASSERT_EQ(clouds.size(), 1u);
    EXPECT_EQ(clouds[0].type, kCloudTypeStratus);
    EXPECT_EQ(clouds[0].precipType, c.precipType);
    EXPECT_EQ(clouds[0].precipRate, 3);
    EXPECT_EQ(clouds[0].precipBase, 150);
    // Layer 700-900 m lies below 1650: the altitude becomes its middle, (900 - 700) / 2 + 700.
    EXPECT_EQ(ReadVisibility(s->m_WeatherBlock.bytes).upperAltitude, 800);
  }
  // A layer above the visibility's upper altitude leaves it alone.
  StationPtr high = StationWithLayers(0, {{3000, 0.6, 0.2, 0}});
  AddCloudLayers(*high, Weather_Station{}, -999.0);
  EXPECT_EQ(ReadVisibility(high->m_WeatherBlock.bytes).upperAltitude, 1250);
}

TEST(CloudLayers, VisibilityCapOnlyLowersToTheLayersMiddle) {
  struct Case {
    const char* name;
    double elevation;
    int dewPoint;  // temperature 10: the ceiling is elevation + spread * 125
    ReportLayer layer;
    std::uint16_t expected;
  } cases[] = {
      {"layer 700-900 m under a 1650 m ceiling", 400, 0, {300, 0.6, 0.2, 0}, 800},
      // Adding the elevation again gave 1200, above the 1025 m ceiling.
      {"never above the ceiling", 400, 5, {300, 0.6, 0.2, 0}, 800},
      {"a layer above the ceiling leaves it", 0, 0, {3000, 0.6, 0.2, 0}, 1250},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StationPtr s = MakeStation(c.elevation, 10, c.dewPoint);
    s->m_CloudBase[0] = c.layer.base;
    s->m_CloudCover[0] = c.layer.cover;
    s->m_CloudThickness[0] = c.layer.thickness;
    const std::uint16_t before = ReadVisibility(s->m_WeatherBlock.bytes).upperAltitude;
    AddCloudLayers(*s, Weather_Station{}, -999.0);
    const std::uint16_t after = ReadVisibility(s->m_WeatherBlock.bytes).upperAltitude;
    EXPECT_EQ(after, c.expected);
    EXPECT_LE(after, before);
  }
}

TEST(CloudLayers, PrecipitationUnderMistOrFogFallsFromTheLowestLayerWritten) {
  struct Case {
    const char* name;
    std::vector<ReportLayer> layers;
    int thunderstorm;
    int expectedLayer;  // index in the block's cloud array (highest first, fog last)
    std::uint8_t expectedType;
  } cases[] = {
      {"mist, then overcast", {{0, 0.6, 1.0, 0}, {600, 1.0, 1.0, 0}}, 0, 0, kCloudTypeStratus},
      {"mist, then two layers: the lower",
       {{0, 0.6, 1.0, 0}, {600, 0.5, 1.0, 0}, {3000, 1.0, 1.0, 0}},
       0,
       1,
       kCloudTypeStratus},
      {"fog, then overcast: the cloud, not the fog", {{0, 1.0, 1.0, 0}, {600, 1.0, 1.0, 0}}, 0, 0, kCloudTypeStratus},
      {"fog alone: the fog", {{0, 1.0, 1.0, 0}}, 0, 0, kCloudTypeStratus},
      {"a thunderstorm layer stays one", {{0, 0.6, 1.0, 0}, {600, 1.0, 1.0, 0}}, 1, 0, kCloudTypeThunderstorm},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StationPtr s = MakeStation(400);
    for (std::size_t i = 0; i < c.layers.size(); ++i) {
      s->m_CloudBase[i] = c.layers[i].base;
      s->m_CloudCover[i] = c.layers[i].cover;
      s->m_CloudThickness[i] = c.layers[i].thickness;
    }
    s->m_PrecipIntensity = 0.5;
    s->m_Weather = "-SN BR";
    s->m_Thunderstorm = c.thunderstorm;
    AddCloudLayers(*s, Weather_Station{}, -999.0);
    std::vector<CloudLayer> clouds = Clouds(*s);
    ASSERT_GT(clouds.size(), static_cast<std::size_t>(c.expectedLayer));
    int withPrecipitation = 0;
    for (const CloudLayer& l : clouds) withPrecipitation += l.precipType != 0;
    EXPECT_EQ(withPrecipitation, 1);
    const CloudLayer& l = clouds[c.expectedLayer];
    EXPECT_EQ(l.precipType, 2);
    EXPECT_EQ(l.precipRate, 3);
    EXPECT_EQ(l.precipBase, 150);
    EXPECT_EQ(l.type, c.expectedType);
  }
}

TEST(CloudLayers, GroundFog) {
  for (std::uint32_t seed : {3u, 4u, 77u}) {
    SCOPED_TRACE(seed);
    SeedRandom(seed);
    StationPtr s = StationWithLayers(200, {{60, 1.0, 0.5, 0}});
    AddCloudLayers(*s, Weather_Station{}, -999.0);
    std::vector<CloudLayer> clouds = Clouds(*s);
    ASSERT_EQ(clouds.size(), 1u);
    EXPECT_EQ(clouds[0].lowerAltitude, 200);
    EXPECT_GE(clouds[0].upperAltitude, 200 + 152);
    EXPECT_LE(clouds[0].upperAltitude, 200 + 914);
    EXPECT_EQ(clouds[0].type, kCloudTypeStratus);
    EXPECT_EQ(clouds[0].coverage, 8);
    EXPECT_EQ(clouds[0].precipBase, -450);
    EXPECT_EQ(clouds[0].deviation, 0);
  }
  // Too thin, too little cover, or fog only in the lowest slot: nothing.
  for (ReportLayer l : {ReportLayer{60, 1.0, 0.4, 0}, ReportLayer{60, 0.7, 0.5, 0}}) {
    StationPtr s = StationWithLayers(200, {l});
    AddCloudLayers(*s, Weather_Station{}, -999.0);
    EXPECT_TRUE(Clouds(*s).empty());
  }
  StationPtr second = StationWithLayers(200, {{0, 0, 0, 0}, {60, 1.0, 0.5, 0}});
  AddCloudLayers(*second, Weather_Station{}, -999.0);
  EXPECT_TRUE(Clouds(*second).empty());
}

std::unique_ptr<Weather_Station> WindProfile() {
  auto owned = std::make_unique<Weather_Station>();
  Weather_Station& p = *owned;
  p.m_UpperAirValid = 1;
  SetLevel(p, 0, 1000, 150, 12, 8, 350, 5);
  SetLevel(p, 1, 925, 520, 10, 4, 10, 12);     // 500 m, shear 350 -> 10: 0
  SetLevel(p, 2, 850, 1480, 6, -999, 90, 25);  // dew point missing: no turbulence from it
  SetLevel(p, 3, 700, 3020, -2, -12, 270, 0);  // calm aloft
  SetLevel(p, 4, 500, 5600, -20, -30, -999, 40);
  SetLevel(p, 5, 400, 400, -30, -40, 300, 50);  // height equals pressure: unusable
  return owned;
}

TEST(WindAndTemperatureLayers, FromTheProfileAboveTheStation) {
  StationPtr s = MakeStation(600, 9, 3);
  s->m_WindSpeed = 0;
  s->m_WindDirection = 240;  // calm keeps its direction
  s->m_WindGust = 0;
  s->m_WindVariation = 30;
  s->m_CloudThickness[0] = 2.5;
  s->m_Pressure = 1009;
  AddWindAndTemperatureLayers(*s, *WindProfile(), 1);
  DecodedWeatherBlock d = DecodeWeatherBlock(s->m_WeatherBlock.bytes);
  // Level 1 at 520 m lies below the 600 m station; levels 2, 3, 4 and the surface remain.
  ASSERT_EQ(d.winds.size(), 4u);
  EXPECT_EQ(d.winds[0].upperAltitude, 150);
  EXPECT_EQ(d.winds[0].speed, 0);
  EXPECT_EQ(d.winds[0].direction, 240 * 65535 / 360);
  EXPECT_EQ(d.winds[0].turbulence, 2);
  EXPECT_EQ(d.winds[0].shear, 1);
  EXPECT_EQ(d.winds[0].variance, 30 * 65535 / 360);
  EXPECT_EQ(d.winds[1].upperAltitude, 1500);
  EXPECT_EQ(d.winds[1].speed, 25);
  EXPECT_EQ(d.winds[1].direction, 90 * 65535 / 360);
  EXPECT_EQ(d.winds[1].shear, 1);       // 10 -> 90: 80 / 60
  EXPECT_EQ(d.winds[1].turbulence, 0);  // dew point missing
  EXPECT_EQ(d.winds[2].upperAltitude, 3000);
  EXPECT_EQ(d.winds[2].speed, 0);
  EXPECT_EQ(d.winds[2].direction, 0);
  EXPECT_EQ(d.winds[2].turbulence, 2);  // (-2 - -12) * 0.2
  EXPECT_EQ(d.winds[2].shear, 3);       // 90 -> 270: 180 / 60
  EXPECT_EQ(d.winds[3].upperAltitude, 5500);
  EXPECT_EQ(d.winds[3].speed, 0);  // a speed without a direction is written calm
  EXPECT_EQ(d.winds[3].shear, 0);
  ASSERT_EQ(d.temperatures.size(), 4u);
  EXPECT_EQ(d.temperatures[0].altitude, 0);
  EXPECT_EQ(d.temperatures[0].temperature, 9);
  EXPECT_EQ(d.temperatures[0].dewPoint, 3);
  EXPECT_EQ(d.temperatures[0].variation, 4);
  EXPECT_EQ(d.temperatures[1].altitude, 1500);
  EXPECT_EQ(d.temperatures[1].variation, 0);
  EXPECT_EQ(d.temperatures[1].dewPoint, -999);
  EXPECT_EQ(d.temperatures[3].temperature, -20);
  EXPECT_EQ(d.header.pressure, 1009 * 16);
  EXPECT_EQ(d.header.pressure2, 0);
}

TEST(WindAndTemperatureLayers, ShearAcrossNorthAndVariationNearTheGround) {
  Weather_Station p;
  p.m_UpperAirValid = 1;
  SetLevel(p, 0, 1000, 0, 12, 8, 350, 5);
  SetLevel(p, 1, 950, 480, 10, 4, 10, 12);  // 500 m: variation 4 - trunc(500 * 4 / 1100 + 0.5) = 2
  StationPtr s = MakeStation(0);
  AddWindAndTemperatureLayers(*s, p, 1);
  DecodedWeatherBlock d = DecodeWeatherBlock(s->m_WeatherBlock.bytes);
  ASSERT_EQ(d.winds.size(), 2u);
  EXPECT_EQ(d.winds[1].upperAltitude, 500);
  EXPECT_EQ(d.winds[1].shear, 0);
  EXPECT_EQ(d.winds[1].direction, 10 * 65535 / 360);
  EXPECT_EQ(d.winds[1].turbulence, 1);
  ASSERT_EQ(d.temperatures.size(), 2u);
  EXPECT_EQ(d.temperatures[1].variation, 2);
}

// KBFI (5 m) with its 1000 hPa level at 110 m had that level's wind as its surface wind.
TEST(WindAndTemperatureLayers, LevelsRoundingToTheGroundGiveNoLayerUnderTheSurfaceOnes) {
  // Levels 100 m and 200 m above a station at sea level both round to 0 m.
  Weather_Station p;
  p.m_UpperAirValid = 1;
  SetLevel(p, 0, 1013, 0, 20, 10, 180, 5);
  SetLevel(p, 1, 1000, 100, 14, 9, 190, 8);
  SetLevel(p, 2, 990, 200, 13, 8, 200, 9);
  StationPtr s = MakeStation(0, 11, 7);
  AddWindAndTemperatureLayers(*s, p, 1);
  DecodedWeatherBlock d = DecodeWeatherBlock(s->m_WeatherBlock.bytes);
  ASSERT_EQ(d.temperatures.size(), 1u);
  EXPECT_EQ(d.temperatures[0].altitude, 0);
  EXPECT_EQ(d.temperatures[0].temperature, 11);
  EXPECT_EQ(d.temperatures[0].dewPoint, 7);
  EXPECT_EQ(d.temperatures[0].variation, 4);
  ASSERT_EQ(d.winds.size(), 1u);
  EXPECT_EQ(d.winds[0].upperAltitude, 150);
  // A level at 500 m gives both layers at sea level; over a 400 m station it would end under
  // the surface wind (400 + 150 m), so it gives the temperature alone.
  SetLevel(p, 2, 950, 480, 13, 8, 200, 9);
  for (const auto& [elevation, winds, temperatures] : {std::tuple{0.0, 2u, 2u}, std::tuple{400.0, 1u, 2u}}) {
    StationPtr t = MakeStation(elevation, 11, 7);
    AddWindAndTemperatureLayers(*t, p, 1);
    DecodedWeatherBlock e = DecodeWeatherBlock(t->m_WeatherBlock.bytes);
    EXPECT_EQ(e.winds.size(), winds) << elevation;
    EXPECT_EQ(e.winds[0].upperAltitude, 150) << elevation;
    EXPECT_EQ(e.temperatures.size(), temperatures) << elevation;
  }
}

TEST(WindAndTemperatureLayers, NothingWithoutAValidProfileOrACycleFile) {
  std::unique_ptr<Weather_Station> invalidOwned = WindProfile();
  Weather_Station& invalid = *invalidOwned;
  invalid.m_UpperAirValid = 0;
  struct Case {
    const char* name;
    const Weather_Station* profile;
    int cycleFileRead;
  } cases[] = {{"profile not valid", &invalid, 1}, {"no cycle file read", nullptr, 0}};
  std::unique_ptr<Weather_Station> validOwned = WindProfile();
  const Weather_Station& valid = *validOwned;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StationPtr s = MakeStation(0);
    WritePressure(s->m_WeatherBlock, 777);
    AddWindAndTemperatureLayers(*s, c.profile ? *c.profile : valid, c.cycleFileRead);
    EXPECT_EQ(ReadWindCount(s->m_WeatherBlock.bytes), 0);
    EXPECT_EQ(ReadTemperatureCount(s->m_WeatherBlock.bytes), 0);
    EXPECT_EQ(ReadBlockHeader(s->m_WeatherBlock.bytes).pressure, 777);
  }
  // A report without pressure keeps the pressure words too.
  StationPtr s = MakeStation(0);
  s->m_Pressure = -999;
  WritePressure(s->m_WeatherBlock, 777);
  AddWindAndTemperatureLayers(*s, valid, 1);
  EXPECT_EQ(ReadBlockHeader(s->m_WeatherBlock.bytes).pressure, 777);
  EXPECT_GT(ReadWindCount(s->m_WeatherBlock.bytes), 0);
}

}  // namespace
