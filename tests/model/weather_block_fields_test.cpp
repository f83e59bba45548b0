#include "model/weather_block_fields.h"

#include <gtest/gtest.h>

#include <cstring>

#include "base/bytes.h"
#include "stations/station_records.h"

namespace {

namespace O = WeatherBlockOffset;

struct HeaderCase {
  const char* name;
  std::string key;
  double elevation;
  int temperature, dewPoint, cloudBase0;
  double visibility;
  std::array<std::uint8_t, 4> idBytes;
  std::int32_t elevationField;
  std::int16_t visLower;
  std::uint16_t visUpper;
  std::uint16_t visRange;
};

TEST(WeatherBlock, HeaderAndVisibilityFieldsAtTheirOffsets) {
  const HeaderCase cases[] = {
      {"spread of 8 degrees", "EDDF", 300.0, 10, 2, 0, 10.0, {'E', 'D', 'D', 'F'}, 300, 300, 1300, 1000},
      {"no spread, no cloud", "KSEA", 120.6, 5, 5, 0, 0.25, {'K', 'S', 'E', 'A'}, 120, 120, 1120, 25},
      {"no spread, first cloud base", "LFPG", 100.0, 5, 5, 450, 3.0, {'L', 'F', 'P', 'G'}, 100, 100, 550, 300},
      {"three-character key padded", "ABC", 0.0, 1, 0, 0, 1.5, {'A', 'B', 'C', 0}, 0, 0, 125, 150},
      {"long key cut to four", "ABCDEF", 0.0, 1, 0, 0, 1.0, {'A', 'B', 'C', 'D'}, 0, 0, 125, 100},
      // 0.29 * 100 is 28.999999999999996 in binary: still 29 hundredths; 3/16 stays truncated.
      {"a hundredth short by a rounding error", "KSEA", 0.0, 1, 0, 0, 0.29, {'K', 'S', 'E', 'A'}, 0, 0, 125, 29},
      {"sixteenths truncate", "KSEA", 0.0, 1, 0, 0, 0.1875, {'K', 'S', 'E', 'A'}, 0, 0, 125, 18},
      {"negative elevation truncates toward zero", "EHAM", -2.7, 3, 3, 0, 6.0, {'E', 'H', 'A', 'M'}, -2, -2, 997, 600},
      // A negative lower altitude counts as its unsigned 16-bit value under a spread.
      {"negative elevation under a spread",
       "EHAM",
       -2.7,
       4,
       3,
       0,
       6.0,
       {'E', 'H', 'A', 'M'},
       -2,
       -2,
       static_cast<std::uint16_t>(125 + 65534),
       600},
      {"missing temperature and dew point: no spread", "X", 10.0, -999, -999, 0, 0.0, {'X', 0, 0, 0}, 10, 10, 1010, 0},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    METAR_Station s;
    s.m_Key = c.key;
    s.m_Latitude = 50.0333;
    s.m_Longitude = -8.5706;
    s.m_Elevation = c.elevation;
    s.m_Temperature = c.temperature;
    s.m_DewPoint = c.dewPoint;
    s.m_CloudBase[0] = c.cloudBase0;
    s.m_Visibility = c.visibility;
    ClearWeatherBlock(s.m_WeatherBlock.bytes);
    FillBlockHeader(s);
    const std::uint8_t* b = s.m_WeatherBlock.bytes.data();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(b[8 + i], c.idBytes[i]) << i;
    EXPECT_EQ(LoadDouble(b + 16), 50.0333);
    EXPECT_EQ(LoadDouble(b + 24), -8.5706);
    EXPECT_EQ(LoadI32(b + 32), c.elevationField);
    EXPECT_EQ(LoadU16(b + 44), c.visUpper);
    EXPECT_EQ(LoadI16(b + 46), c.visLower);
    EXPECT_EQ(LoadU16(b + 48), c.visRange);
    EXPECT_EQ(LoadU16(b + 50), 0);  // padding after the group
    // Command, reserved, signature, unused, acknowledgement stay zero.
    EXPECT_EQ(LoadU32(b + 0), 0u);
    EXPECT_EQ(LoadU32(b + 4), 0u);
    EXPECT_EQ(LoadU32(b + 12), 0u);
    EXPECT_EQ(LoadU32(b + 36), 0u);
    // The readers give the same values back.
    WeatherBlockHeader h = ReadBlockHeader(s.m_WeatherBlock.bytes);
    EXPECT_EQ(StationIdText(h), c.key.substr(0, 4));
    EXPECT_EQ(h.elevation, c.elevationField);
    VisibilityGroup v = ReadVisibility(s.m_WeatherBlock.bytes);
    EXPECT_EQ(v.upperAltitude, c.visUpper);
    EXPECT_EQ(v.lowerAltitude, c.visLower);
    EXPECT_EQ(v.range, c.visRange);
  }
}

TEST(WeatherBlock, ClearingLeavesIdentifierPressureVisibilityAndSlots) {
  SimWeatherBlock block;
  block.bytes.fill(0xAB);
  ClearWeatherBlock(block.bytes);
  const std::uint8_t* b = block.bytes.data();
  for (std::size_t off : {O::kCommand, O::kReserved, O::kUnused1, O::kUnused2}) EXPECT_EQ(LoadU16(b + off), 0) << off;
  for (std::size_t off : {O::kSignature, O::kAcknowledge, O::kElevation, O::kTempCount, O::kWindCount, O::kCloudCount})
    EXPECT_EQ(LoadU32(b + off), 0u) << off;
  EXPECT_EQ(LoadU64(b + O::kLatitude), 0u);
  EXPECT_EQ(LoadU64(b + O::kLongitude), 0u);
  for (std::size_t off : {O::kStationId, O::kPressure, O::kVisibility, O::kTempLayers, O::kWindLayers, O::kCloudLayers,
                          kWeatherBlockSize - 4})
    EXPECT_EQ(LoadU32(b + off), 0xABABABABu) << off;
}

TEST(WeatherBlock, LayersLandAtTheirSlotsWithExactBytes) {
  SimWeatherBlock block;
  TemperatureLayer t{1500, -12, 3, -20};
  WindLayer w{2000, 35, 40, 49151, 7, 2, 910};
  CloudLayer c{4200, 3200, 50, 6, 9, 1, 1, -250, 2, 3};
  // Dirty staging records must not leak into the unused tail bytes.
  block.stagingWind.fill(0xEE);
  block.stagingCloud.fill(0xEE);
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(AppendTemperatureLayer(block, t));
    ASSERT_TRUE(AppendWindLayer(block, w));
    ASSERT_TRUE(AppendCloudLayer(block, c));
  }
  const std::uint8_t* b = block.bytes.data();
  EXPECT_EQ(LoadI32(b + 52), 2);
  EXPECT_EQ(LoadI32(b + 248), 2);
  EXPECT_EQ(LoadI32(b + 636), 2);
  const std::uint8_t tempBytes[8] = {0xDC, 0x05, 0xF4, 0xFF, 0x03, 0x00, 0xEC, 0xFF};
  const std::uint8_t windBytes[16] = {0xD0, 0x07, 35, 0, 40, 0, 0xFF, 0xBF, 7, 2, 0x8E, 0x03, 0, 0, 0, 0};
  const std::uint8_t cloudBytes[16] = {0x68, 0x10, 0x80, 0x0C, 50, 0, 6, 9, 1, 1, 0x06, 0xFF, 2, 3, 0, 0};
  for (int slot = 0; slot < 2; ++slot) {
    EXPECT_EQ(0, std::memcmp(b + 56 + 8 * slot, tempBytes, 8)) << slot;
    EXPECT_EQ(0, std::memcmp(b + 252 + 16 * slot, windBytes, 16)) << slot;
    EXPECT_EQ(0, std::memcmp(b + 640 + 16 * slot, cloudBytes, 16)) << slot;
  }
  DecodedWeatherBlock d = DecodeWeatherBlock(block.bytes);
  ASSERT_EQ(d.clouds.size(), 2u);
  EXPECT_EQ(d.clouds[1].precipBase, -250);
  EXPECT_EQ(d.winds[1].direction, 49151);
  EXPECT_EQ(d.temperatures[1].dewPoint, -20);
}

TEST(WeatherBlock, TwentyFifthLayerIsRefusedAndNothingIsWrittenPastTheBlock) {
  SimWeatherBlock block;
  for (int i = 0; i < kMaxWeatherLayers; ++i) {
    ASSERT_TRUE(AppendCloudLayer(block, CloudLayer{static_cast<std::uint16_t>(i + 1), 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(AppendTemperatureLayer(block, TemperatureLayer{static_cast<std::uint16_t>(i + 1), 0, 0, 0}));
  }
  const WeatherBlockBytes before = block.bytes;
  EXPECT_FALSE(AppendCloudLayer(block, CloudLayer{999, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_FALSE(AppendTemperatureLayer(block, TemperatureLayer{999, 0, 0, 0}));
  EXPECT_EQ(block.bytes, before);
  EXPECT_EQ(ReadCloudCount(block.bytes), 24);
  EXPECT_EQ(ReadCloudLayer(block.bytes, 23).upperAltitude, 24);
  // A temperature array that is full does not spill into the wind count.
  EXPECT_EQ(ReadWindCount(block.bytes), 0);
}

TEST(WeatherBlock, CorruptCountsDecodeWithinTheBlock) {
  WeatherBlockBytes bytes{};
  StoreI32(bytes.data() + O::kCloudCount, 1000);
  StoreI32(bytes.data() + O::kWindCount, -5);
  DecodedWeatherBlock d = DecodeWeatherBlock(bytes);
  EXPECT_EQ(d.cloudCount, 1000);
  EXPECT_EQ(d.clouds.size(), 24u);
  EXPECT_TRUE(d.winds.empty());
  EXPECT_EQ(ReadWindLayer(bytes, 24).upperAltitude, 0);
  SimWeatherBlock block;
  block.bytes = bytes;
  EXPECT_FALSE(AppendCloudLayer(block, CloudLayer{}));
  EXPECT_FALSE(AppendWindLayer(block, WindLayer{}));
}

TEST(WeatherBlock, SortsByTheUnsignedAltitudeKeepingEqualOnesInOrder) {
  SimWeatherBlock block;
  const std::uint16_t altitudes[] = {9000, 150, 40000, 150, 0};
  for (int i = 0; i < 5; ++i)
    AppendWindLayer(block, WindLayer{altitudes[i], static_cast<std::uint16_t>(i), 0, 0, 0, 0, 0});
  SortWindLayers(block);
  const std::uint16_t wantAltitude[] = {0, 150, 150, 9000, 40000};
  const std::uint16_t wantSpeed[] = {4, 1, 3, 0, 2};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(ReadWindLayer(block.bytes, i).upperAltitude, wantAltitude[i]) << i;
    EXPECT_EQ(ReadWindLayer(block.bytes, i).speed, wantSpeed[i]) << i;
  }
}

TEST(WeatherBlock, PressureWordsAndVisibilityCap) {
  SimWeatherBlock block;
  block.bytes.fill(0x11);
  WritePressure(block, 1013 * 16);
  EXPECT_EQ(LoadU16(block.bytes.data() + 40), 16208);
  EXPECT_EQ(LoadI16(block.bytes.data() + 42), 0);
  WriteVisibility(block, VisibilityGroup{1300, 300, 1000});
  SetVisibilityUpperAltitude(block, 800);
  EXPECT_EQ(ReadVisibility(block.bytes).upperAltitude, 800);
  EXPECT_EQ(ReadVisibility(block.bytes).lowerAltitude, 300);
  EXPECT_EQ(LoadU16(block.bytes.data() + 50), 0);
}

}  // namespace
