#include "model/prepare.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "model/blending.h"
#include "model/weather_block.h"
#include "platform/bytes.h"
#include "reports/random.h"
#include "stations/metar_stations.h"

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
  // Each weighted step truncates: two reports of 1015 hPa blend to 1014.
  EXPECT_EQ(d.header.pressure, 1014 * 16);
  // Levels above 300 m (800, 1500, 3000, 5600) and the surface.
  EXPECT_EQ(d.windCount, 5);
  EXPECT_EQ(d.temperatureCount, 5);
  EXPECT_GE(d.cloudCount, 1);
  EXPECT_EQ(s->m_ReportValid, 0);
  EXPECT_EQ(s->m_State, kStateToSend);
  EXPECT_EQ(s->m_ReportText, "METAR SIM1 2003/11/09 13:50 AUTO 24009G00KT 6SM CLR BKN033 10/05 A1014");
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
  EXPECT_EQ(ReadBlockHeader(block).pressure, 0);
  EXPECT_GE(ReadCloudCount(block), 1);
}

}  // namespace
