#include "model/prepare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <regex>

#include "model/blending.h"
#include "model/weather_block_fields.h"
#include "base/bytes.h"
#include "base/random.h"
#include "reports/metar_decoder.h"
#include "stations/metar_stations.h"
#include "support/test_data.h"

namespace {

class PrepareStation : public ::testing::Test {
 protected:
  void SetUp() override {
    SeedRandom(11);
    m_Stations.m_CycleFileRead = 1;
    for (int i = 0; i < 3; ++i) {
      auto u = std::make_unique<Weather_Station>();
      u->m_Key = "0700" + std::to_string(i);
      u->m_Latitude = 49.0 + i;
      u->m_Longitude = 8.0;
      u->m_UpperAirValid = 1;
      const int heights[] = {100, 800, 1500, 3000, 5600};
      const int pressures[] = {1010, 925, 850, 700, 500};
      for (int k = 0; k < 5; ++k) {
        u->m_LevelPressure[k] = pressures[k];
        u->m_LevelHeight[k] = heights[k];
        u->m_LevelTemperature[k] = 12 - 6 * k - i;
        u->m_LevelDewPoint[k] = 6 - 6 * k - i;
        u->m_LevelWindDirection[k] = 250 + 5 * k;
        u->m_LevelWindSpeed[k] = 10 + 5 * k;
      }
      const std::string key = u->m_Key;
      m_Stations.m_UpperAirStations.push_back(m_Stations.SetAt(key, std::move(u)));
    }
    m_Report = AddReport("EDDF", 50.03, 8.57, 12);
    AddReport("EDDS", 48.69, 9.22, 8);
  }

  METAR_Station* AddReport(const std::string& key, double lat, double lon, int temperature) {
    auto r = std::make_unique<METAR_Station>();
    r->m_Key = key;
    r->m_Latitude = lat;
    r->m_Longitude = lon;
    r->m_Elevation = 110;
    r->m_ReportValid = 1;
    r->m_ReportText = key + " 091350Z 24010KT 9999 BKN030 12/06 Q1015";
    r->m_ObsDate = "2003/11/09";
    r->m_ObsTime = "13:50";
    r->m_WindDirection = 240;
    r->m_WindSpeed = 10;
    r->m_Visibility = 6.2;
    r->m_CloudBase[1] = 900;
    r->m_CloudCover = {0.0, 0.75, 0, 0, 0};
    r->m_CloudThickness[1] = 1.0;
    r->m_Temperature = temperature;
    r->m_DewPoint = 6;
    r->m_Pressure = 1015;
    return static_cast<METAR_Station*>(m_Stations.SetAt(key, std::move(r)));
  }

  METAR_Station* AddSimStation(const std::string& key, double lat, double lon) {
    auto s = std::make_unique<METAR_Station>();
    s->m_Key = key;
    s->m_Latitude = lat;
    s->m_Longitude = lon;
    s->m_Elevation = 300;
    s->m_State = kStateToSend;
    METAR_Station* stored = static_cast<METAR_Station*>(m_Stations.SetAt(key, std::move(s)));
    m_Stations.m_SimStations.push_back(stored);
    return stored;
  }

  METAR_Stations m_Stations;
  METAR_Station* m_Report = nullptr;
};

TEST_F(PrepareStation, StationWithoutReportIsBlendedAndItsBlockFilled) {
  METAR_Station* s = AddSimStation("SIM1", 49.4, 8.7);
  BlendTrace trace;
  WeatherBlockBytes block = PrepareStationWeather(m_Stations, *s, &trace);
  EXPECT_EQ(block, s->m_WeatherBlock.bytes);
  DecodedWeatherBlock d = DecodeWeatherBlock(block);
  EXPECT_EQ(StationIdText(d.header), "SIM1");
  EXPECT_EQ(d.header.latitude, 49.4);
  EXPECT_EQ(d.header.elevation, 300);
  // Summed, then rounded once: two reports of 1015 hPa blend to 1015.
  EXPECT_EQ(d.header.pressure, 1015 * 16);
  // Levels above 300 m (800, 1500, 3000, 5600) and the surface.
  EXPECT_EQ(d.windCount, 5);
  EXPECT_EQ(d.temperatureCount, 5);
  EXPECT_GE(d.cloudCount, 1);
  EXPECT_EQ(s->m_ReportValid, 0);
  EXPECT_EQ(s->m_State, kStateToSend);
  // The BKN layer 900 m above each neighbour's ground is 900 m above this one's too.
  EXPECT_EQ(s->m_ReportText, "METAR SIM1 2003/11/09 13:50 AUTO 24010G00KT 6SM BKN029 11/06 A1015");
  ASSERT_EQ(trace.m_UpperAir.size(), 3u);
  ASSERT_EQ(trace.m_Surface.size(), 2u);
  EXPECT_TRUE(trace.m_SurfaceBlended);
  EXPECT_EQ(g_BlendedProfile.m_UpperAirValid, 1);

  // The trace does not change the results: the same seed without it gives the same block.
  METAR_Station* twin = AddSimStation("SIM2", 49.4, 8.7);
  SeedRandom(11);
  PrepareStationWeather(m_Stations, *twin);
  WeatherBlockBytes twinBlock = twin->m_WeatherBlock.bytes;
  EXPECT_EQ(0, std::memcmp(twinBlock.data() + 16, block.data() + 16, kWeatherBlockSize - 16));
}

TEST_F(PrepareStation, TakenOverBlockIsClearedAndRefilledWithTheStationsOwnIdentity) {
  // The reporting station's block holds an old pass with more layers than this one makes.
  SimWeatherBlock& old = m_Report->m_WeatherBlock;
  for (int i = 0; i < 20; ++i) AppendCloudLayer(old, CloudLayer{});
  StoreU32(old.bytes.data() + WeatherBlockOffset::kSignature, 0xDEADBEEF);
  METAR_Station* s = AddSimStation("SIM3", 50.03 + 0.5 / 60, 8.57);
  BlendTrace trace;
  WeatherBlockBytes block = PrepareStationWeather(m_Stations, *s, &trace);
  EXPECT_EQ(trace.m_TakenOverFrom, "EDDF");
  DecodedWeatherBlock d = DecodeWeatherBlock(block);
  EXPECT_EQ(StationIdText(d.header), "SIM3");
  EXPECT_EQ(d.header.signature, 0u);
  EXPECT_EQ(d.header.elevation, 300);
  EXPECT_LT(d.cloudCount, 20);
  EXPECT_EQ(s->m_ReportText, m_Report->m_ReportText);
  EXPECT_EQ(s->m_ReportValid, 0);
}

TEST_F(PrepareStation, StationWithItsOwnReportKeepsIt) {
  BlendTrace trace;
  trace.m_SurfaceBlended = true;
  const std::string text = m_Report->m_ReportText;
  PrepareStationWeather(m_Stations, *m_Report, &trace);
  EXPECT_FALSE(trace.m_SurfaceBlended);
  EXPECT_TRUE(trace.m_Surface.empty());
  EXPECT_EQ(m_Report->m_ReportText, text);
  EXPECT_EQ(m_Report->m_ReportValid, 1);
  EXPECT_EQ(m_Report->m_Temperature, 12);
  EXPECT_EQ(StationIdText(ReadBlockHeader(m_Report->m_WeatherBlock.bytes)), "EDDF");
}

TEST_F(PrepareStation, WithoutACycleFileOnlyCloudsAreWritten) {
  m_Stations.m_CycleFileRead = 0;
  METAR_Station* s = AddSimStation("SIM4", 49.4, 8.7);
  WeatherBlockBytes block = PrepareStationWeather(m_Stations, *s);
  EXPECT_EQ(ReadWindCount(block), 0);
  EXPECT_EQ(ReadTemperatureCount(block), 0);
  // No pressure is written with the layers; the simulator must not see 0 hPa.
  EXPECT_EQ(ReadBlockHeader(block).pressure, kStandardPressure * 16);
  EXPECT_GE(ReadCloudCount(block), 1);
}

// The ceiling of a report as written, in feet: the lowest broken or overcast layer or vertical
// visibility ("BKN015 OVC030" -> 1500, "VV002" -> 200), none -> kNoCeilingFeet.
constexpr int kNoCeilingFeet = 12000;
int WrittenCeilingFeet(const std::string& text) {
  static const std::regex layer(R"( (BKN|OVC|VV)(\d\d\d)\b)");
  int lowest = kNoCeilingFeet;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), layer); it != std::sregex_iterator(); ++it)
    lowest = std::min(lowest, std::stoi((*it)[2]) * 100);
  return lowest;
}
// The ceiling of blended layers in feet, as the simulator gets it: the lowest layer above the
// fog height with more than half the sky, or ground fog (a lowest slot the layers make fog of).
int BlendedCeilingFeet(const METAR_Station& s) {
  int lowest = kNoCeilingFeet;
  for (int c = 0; c < kCloudSlots; ++c) {
    const bool fog = c == 0 && s.m_CloudBase[0] <= 100 && s.m_CloudCover[0] >= 0.75 && s.m_CloudThickness[0] >= 0.5;
    if (fog || (s.m_CloudBase[c] > 100 && s.m_CloudCover[c] > 0.5))
      lowest = std::min(lowest, static_cast<int>(s.m_CloudBase[c] * 3.280839895013123));
  }
  return lowest;
}
// FAA flight categories: 0 LIFR (below 500 ft or 1 mile), 1 IFR (below 1000 ft or 3 miles),
// 2 MVFR (up to 3000 ft or 5 miles), 3 VFR. A visibility below 0 is not known.
int FlightCategory(int ceilingFeet, double visibility) {
  const bool known = visibility >= 0.0;
  if (ceilingFeet < 500 || (known && visibility < 1.0)) return 0;
  if (ceilingFeet < 1000 || (known && visibility < 3.0)) return 1;
  if (ceilingFeet <= 3000 || (known && visibility <= 5.0)) return 2;
  return 3;
}

struct SkyTotals {
  int counted = 0;
  double ceilingBlend = 0.0, ceilingNearest = 0.0;
};

// One hour's leave-one-out into the given catalogue; the sky's ceiling errors are added to sky.
void WithholdAirportsOfHour(const char* file, METAR_Stations& stations, SkyTotals& sky) {
  const std::filesystem::path data = altivane::test::SharedDataDir();
  std::ifstream list(data / "stations" / "station.txt", std::ios::binary);
  ASSERT_TRUE(list);
  for (std::string line; std::getline(list, line);) stations.AddStationLine(line);
  ASSERT_TRUE(stations.ReadMetarFile((data / "metar" / "cycles" / file).string(), NoAgeLimit()));
  stations.m_CycleFileRead = 1;

  // The temperature and dew point of a report's whole "TT/DD" group. A decoded value that
  // differs (a group like "15/", or a runway visual range taken for it) is the decoder's
  // fault, not the blend's: it is made missing here, so that it neither enters the blends nor
  // serves as the truth.
  static const std::regex group(R"( (M?)(\d\d)/(M?)(\d\d) )");
  auto wholeGroup = [](const METAR_Station& r) {
    std::smatch m;
    if (!std::regex_search(r.m_ReportText, m, group)) return false;
    const int t = std::stoi(m[2]) * (m[1].length() ? -1 : 1), d = std::stoi(m[4]) * (m[3].length() ? -1 : 1);
    return r.m_Temperature == t && r.m_DewPoint == d;
  };
  std::vector<METAR_Station*> reporting, airports;
  int cleaned = 0;
  for (const auto& [key, record] : stations.Records()) {
    auto* r = dynamic_cast<METAR_Station*>(record.get());
    if (!r || r->m_ReportValid == 0) continue;
    reporting.push_back(r);
    if (!wholeGroup(*r) && (r->m_Temperature != kMissing || r->m_DewPoint != kMissing)) {
      r->m_Temperature = r->m_DewPoint = kMissing;
      ++cleaned;
    }
  }
  auto complete = [](const METAR_Station& r) {
    return r.m_Temperature != kMissing && r.m_DewPoint != kMissing && r.m_Pressure != kMissing;
  };
  constexpr double kRadiusSquared = 150.0 * 150.0;  // neighbours within the search radius
  constexpr int kWanted = 120;
  for (METAR_Station* r : reporting) {
    if (r->m_Key.size() != 4 || r->m_Key[0] != 'K' || !complete(*r)) continue;
    int near = 0;
    for (const METAR_Station* n : reporting)
      if (n != r && SquaredDistance(r->m_Latitude, r->m_Longitude, n->m_Latitude, n->m_Longitude) <= kRadiusSquared)
        ++near;
    if (near >= kNeighbourCount) airports.push_back(r);
  }
  // Every k-th in key order: spread over the country, the same set on every run.
  const std::size_t step = std::max<std::size_t>(1, airports.size() / kWanted);
  std::vector<METAR_Station*> chosen;
  for (std::size_t i = 0; i < airports.size() && chosen.size() < kWanted; i += step) chosen.push_back(airports[i]);
  ASSERT_GE(chosen.size(), 40u);

  enum { kTemp, kDew, kPres, kWind, kFields };
  const char* names[kFields] = {"temperature C", "dew point C", "pressure hPa", "wind speed kt"};
  const double biasLimit[kFields] = {0.3, 0.3, 0.3, 1.0};
  auto field = [](const METAR_Station& r, int f) -> std::int32_t {
    switch (f) {
      case kTemp: return r.m_Temperature;
      case kDew: return r.m_DewPoint;
      case kPres: return r.m_Pressure;
      default: return r.m_WindSpeed;
    }
  };
  double blendAbs[kFields] = {}, blendSigned[kFields] = {}, nearestAbs[kFields] = {}, nearestSigned[kFields] = {};
  int counted[kFields] = {};
  int skyCounted = 0, skyCategoryBlend = 0, skyCategoryNearest = 0;
  double skyCeilingBlend = 0.0, skyCeilingNearest = 0.0;
  std::vector<std::string> skyBelowNeighbours;
  for (METAR_Station* airport : chosen) {
    SCOPED_TRACE(airport->m_Key);
    METAR_Station sim;
    sim.m_Key = "LOO1";
    sim.m_Latitude = airport->m_Latitude;
    sim.m_Longitude = airport->m_Longitude;
    sim.m_Elevation = airport->m_Elevation;
    sim.m_State = kStateToSend;
    airport->m_ReportValid = 0;  // withheld
    BlendTrace trace;
    PrepareStationWeather(stations, sim, &trace);
    airport->m_ReportValid = 1;
    ASSERT_FALSE(trace.m_Surface.empty());
    {
      // The sky: the withheld airport's written ceiling and category against the blend's and
      // the nearest airport's own.
      const auto* nearest = static_cast<const METAR_Station*>(stations.Lookup(trace.m_Surface[0].m_Key));
      const int truth = WrittenCeilingFeet(airport->m_ReportText);
      const int blended = BlendedCeilingFeet(sim);
      const int near = WrittenCeilingFeet(nearest->m_ReportText);
      auto knownVisibility = [](const METAR_Station& r) { return r.m_VisibilityMissing ? -1.0 : r.m_Visibility; };
      const int category = FlightCategory(truth, knownVisibility(*airport));
      skyCategoryBlend += FlightCategory(blended, sim.m_Visibility) == category;
      skyCategoryNearest += FlightCategory(near, knownVisibility(*nearest)) == category;
      skyCeilingBlend += std::abs(blended - truth);
      skyCeilingNearest += std::abs(near - truth);
      ++skyCounted;
      // No neighbour that takes part reports a ceiling lower than the blend's (to within the
      // hundred feet a cloud group is written in).
      int lowestNeighbour = kNoCeilingFeet;
      for (const NeighbourNote& note : trace.m_Surface)
        lowestNeighbour =
            std::min(lowestNeighbour,
                     WrittenCeilingFeet(static_cast<const METAR_Station*>(stations.Lookup(note.m_Key))->m_ReportText));
      if (blended < lowestNeighbour - 100) skyBelowNeighbours.push_back(airport->m_Key);
    }
    for (int f = 0; f < kFields; ++f) {
      // The nearest airport that reports the value.
      const METAR_Station* nearest = nullptr;
      for (const NeighbourNote& note : trace.m_Surface) {
        auto* n = static_cast<const METAR_Station*>(stations.Lookup(note.m_Key));
        if (field(*n, f) != kMissing) {
          nearest = n;
          break;
        }
      }
      if (!nearest || field(sim, f) == kMissing) continue;
      const double truth = field(*airport, f);
      blendAbs[f] += std::fabs(field(sim, f) - truth);
      blendSigned[f] += field(sim, f) - truth;
      nearestAbs[f] += std::fabs(field(*nearest, f) - truth);
      nearestSigned[f] += field(*nearest, f) - truth;
      ++counted[f];
    }
  }
  std::printf(
      "leave-one-out over %zu airports of %s (of %zu with >= 10 neighbours); "
      "temperature groups not decoded as written, left out: %d\n",
      chosen.size(), file, airports.size(), cleaned);
  std::printf("%-14s %4s  %9s %9s  %11s %11s\n", "field", "n", "blend MAE", "bias", "nearest MAE", "bias");
  for (int f = 0; f < kFields; ++f) {
    SCOPED_TRACE(names[f]);
    ASSERT_GE(counted[f], 40);
    const double n = counted[f];
    std::printf("%-14s %4d  %9.2f %+9.2f  %11.2f %+11.2f\n", names[f], counted[f], blendAbs[f] / n, blendSigned[f] / n,
                nearestAbs[f] / n, nearestSigned[f] / n);
    EXPECT_LE(blendAbs[f] / n, nearestAbs[f] / n);
    EXPECT_LE(std::fabs(blendSigned[f] / n), biasLimit[f]);
  }
  // The sky: ceilings capped at 12,000 ft; categories by the FAA limits.
  std::printf("%-14s %4s  %9s %9s  %11s\n", "sky", "n", "blend", "", "nearest");
  std::printf("%-14s %4d  %9d %9s  %11d\n", "category right", skyCounted, skyCategoryBlend, "", skyCategoryNearest);
  std::printf("%-14s %4d  %9.0f %9s  %11.0f\n", "ceiling MAE ft", skyCounted, skyCeilingBlend / skyCounted, "",
              skyCeilingNearest / skyCounted);
  std::printf("blended ceilings below every neighbour's: %zu\n", skyBelowNeighbours.size());
  EXPECT_GT(skyCategoryBlend, skyCategoryNearest);
  EXPECT_TRUE(skyBelowNeighbours.empty()) << (skyBelowNeighbours.empty() ? "" : skyBelowNeighbours.front());
  sky.counted += skyCounted;
  sky.ceilingBlend += skyCeilingBlend;
  sky.ceilingNearest += skyCeilingNearest;
}

// Leave-one-out on two real cycles, evening and morning: each US airport's own report is
// withheld, a simulator-only station at its position is prepared from the neighbours, and the
// blend is compared with the report. It must do at least as well as simply taking the nearest
// airport's report, without leaning one way. Ceilings are local: one hour alone is a few
// airports' luck (at 12Z one fog patch reported only by the nearest airport is a tenth of it),
// so their error is held over both.
TEST(PrepareStationRealData, BlendStandsInForAWithheldReport) {
  ALTIVANE_REQUIRE_SHARED_DATA();
  SkyTotals sky;
  {
    METAR_Stations evening;
    WithholdAirportsOfHour("20230429_00Z.TXT", evening, sky);
  }
  METAR_Stations stations;
  WithholdAirportsOfHour("20230429_12Z.TXT", stations, sky);
  std::printf("ceiling MAE ft over both hours, %d airports: blend %.0f, nearest %.0f\n", sky.counted,
              sky.ceilingBlend / sky.counted, sky.ceilingNearest / sky.counted);
  EXPECT_LE(sky.ceilingBlend, sky.ceilingNearest);

  // KCLE (ceiling 1000 ft) blended to 300 ft and KBNA to 200 ft from mist slots averaged with
  // cloud layers: withheld, each stays within its neighbours' ceilings.
  for (const char* key : {"KCLE", "KBNA"}) {
    SCOPED_TRACE(key);
    auto* airport = dynamic_cast<METAR_Station*>(stations.Lookup(key));
    ASSERT_NE(airport, nullptr);
    METAR_Station sim;
    sim.m_Key = key;
    sim.m_Latitude = airport->m_Latitude;
    sim.m_Longitude = airport->m_Longitude;
    sim.m_Elevation = airport->m_Elevation;
    airport->m_ReportValid = 0;
    BlendTrace trace;
    PrepareStationWeather(stations, sim, &trace);
    airport->m_ReportValid = 1;
    int lowest = kNoCeilingFeet, highest = 0;
    for (const NeighbourNote& note : trace.m_Surface) {
      const int c = WrittenCeilingFeet(static_cast<const METAR_Station*>(stations.Lookup(note.m_Key))->m_ReportText);
      lowest = std::min(lowest, c);
      highest = std::max(highest, c);
    }
    std::printf("%s written %d ft, blended %d ft (neighbours %d to %d ft): %s\n", key,
                WrittenCeilingFeet(airport->m_ReportText), BlendedCeilingFeet(sim), lowest, highest,
                sim.m_ReportText.c_str());
    EXPECT_GE(BlendedCeilingFeet(sim), lowest - 100);
    EXPECT_LE(BlendedCeilingFeet(sim), highest);
  }
}

// Six places of a real cycle with North American soundings: every block the pass would write
// around them (the stations within 150 nm) has a visibility, winds aloft only above the surface
// wind, one temperature per altitude, and rain or snow only with a rate.
TEST(PrepareStationRealData, BlocksAroundSixPlacesHoldNoImpossibleSky) {
  ALTIVANE_REQUIRE_SHARED_DATA();
  const std::filesystem::path data = altivane::test::SharedDataDir();
  METAR_Stations stations;
  std::ifstream list(data / "stations" / "station.txt", std::ios::binary);
  ASSERT_TRUE(list);
  for (std::string line; std::getline(list, line);) stations.AddStationLine(line);
  ASSERT_TRUE(stations.ReadUpperAirFile((data / "upperair" / "noaaport_upperair_20220713_00Z.wmo").string()));
  ASSERT_TRUE(stations.ReadMetarFile((data / "metar" / "cycles" / "20230429_12Z.TXT").string(), NoAgeLimit()));
  stations.m_CycleFileRead = 1;
  SeedRandom(7);
  struct Place {
    const char* name;
    double latitude, longitude;
  };
  const Place places[] = {{"Chicago", 41.98, -87.90},   {"New York", 40.64, -73.78},  {"Los Angeles", 33.94, -118.41},
                          {"Anchorage", 61.17, -150.0}, {"Honolulu", 21.32, -157.92}, {"Denver", 39.86, -104.67}};
  int blocks = 0, noVisibility = 0, windUnderSurface = 0, repeatedTemperature = 0, rainWithoutRate = 0;
  for (const Place& place : places) {
    for (const auto& [key, record] : stations.Records()) {
      auto* station = dynamic_cast<METAR_Station*>(record.get());
      if (!station ||
          SquaredDistance(place.latitude, place.longitude, station->m_Latitude, station->m_Longitude) > 150.0 * 150.0)
        continue;
      SCOPED_TRACE(station->m_Key);
      const DecodedWeatherBlock d = DecodeWeatherBlock(PrepareStationWeather(stations, *station));
      ++blocks;
      noVisibility += d.visibility.range == 0;
      const int surfaceTop = std::max(150, d.header.elevation + 150);
      bool under = false, repeated = false, rain = false;
      for (const WindLayer& w : d.winds) under |= w.upperAltitude != 150 && w.upperAltitude <= surfaceTop;
      for (std::size_t i = 0; i < d.temperatures.size(); ++i)
        for (std::size_t j = i + 1; j < d.temperatures.size(); ++j)
          repeated |= d.temperatures[i].altitude == d.temperatures[j].altitude;
      for (const CloudLayer& c : d.clouds) rain |= c.precipType != 0 && c.precipRate == 0;
      windUnderSurface += under;
      repeatedTemperature += repeated;
      rainWithoutRate += rain;
    }
  }
  std::printf(
      "six places, %d blocks: visibility 0: %d, wind layer under the surface wind: %d, repeated "
      "temperature altitudes: %d, precipitation type at rate 0: %d\n",
      blocks, noVisibility, windUnderSurface, repeatedTemperature, rainWithoutRate);
  EXPECT_GT(blocks, 300);
  EXPECT_EQ(noVisibility, 0);
  EXPECT_EQ(windUnderSurface, 0);
  EXPECT_EQ(repeatedTemperature, 0);
  EXPECT_EQ(rainWithoutRate, 0);
}

TEST_F(PrepareStation, BlendWithoutAnyPressureSendsTheStandardOneNotZero) {
  for (auto& [key, record] : m_Stations.Records())
    if (record->m_ReportValid) static_cast<METAR_Station&>(*record).m_Pressure = kMissing;
  // A pressure sent before stays; a block that never had one gets the standard pressure.
  for (int before : {0, 1020 * 16}) {
    SCOPED_TRACE(before);
    METAR_Station* s = AddSimStation("SIM" + std::to_string(before), 49.4, 8.7);
    WritePressure(s->m_WeatherBlock, static_cast<std::uint16_t>(before));
    WeatherBlockBytes block = PrepareStationWeather(m_Stations, *s);
    EXPECT_EQ(ReadBlockHeader(block).pressure, before ? before : kStandardPressure * 16);
  }
}

TEST_F(PrepareStation, SourcesTellWhichStationsGetAnyValue) {
  METAR_Station* s = AddSimStation("SIM5", 49.4, 8.7);
  WeatherSources all = CountWeatherSources(m_Stations);
  EXPECT_EQ(all.m_Reporting, 2);
  EXPECT_EQ(all.m_UpperAir, 3);
  struct Case {
    WeatherSources sources;
    bool ownReport;
    bool gets;
  };
  for (Case c : {Case{{0, 0}, false, false}, Case{{1, 0}, true, true}, Case{{1, 0}, false, true},
                 Case{{0, 1}, false, true}, Case{{2, 0}, true, true}}) {
    s->m_ReportValid = c.ownReport ? 1 : 0;
    EXPECT_EQ(c.sources.GiveWeatherTo(*s), c.gets) << c.sources.m_Reporting << c.sources.m_UpperAir << c.ownReport;
    EXPECT_EQ(c.sources.Any(), c.sources.m_Reporting + c.sources.m_UpperAir > 0);
  }
  METAR_Stations empty;
  EXPECT_FALSE(CountWeatherSources(empty).Any());
}

TEST_F(PrepareStation, PassResultNamesTheNearestStationAndWhereItsWeatherComesFrom) {
  METAR_Station* blended = AddSimStation("SIM6", 50.03 + 0.2, 8.57);
  EXPECT_EQ(PassResultText(m_Stations, *m_Report, 40), "40 Weather stations set, nearest EDDF (own report), 13:50Z.");
  EXPECT_EQ(PassResultText(m_Stations, *blended, 7),
            "7 Weather stations set, nearest SIM6 (blended from EDDF), 13:50Z.");
  // The nearest report, not the first in key order.
  EXPECT_EQ(PassResultText(m_Stations, *AddSimStation("SIM7", 48.6, 9.2), 3),
            "3 Weather stations set, nearest SIM7 (blended from EDDS), 13:50Z.");
  // No sounding within reach of the nearest station: no winds aloft, and the line says so.
  EXPECT_EQ(PassResultText(m_Stations, *AddSimStation("SIM8", 40.6, -73.8), 2),
            "2 Weather stations set, nearest SIM8 (blended from EDDF), 13:50Z, no upper air within 600 nm.");
  for (auto& [key, record] : m_Stations.Records()) record->m_ReportValid = 0;
  EXPECT_EQ(PassResultText(m_Stations, *blended, 1), "1 Weather stations set, nearest SIM6 (upper air only).");
}

}  // namespace
