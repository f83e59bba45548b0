#include "simhost_core.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/bytes.h"
#include "simlink/link.h"
#include "simlink/fsuipc_client.h"

namespace {

// Builds request areas the way the client lays them out.
class Area {
 public:
  Area() : m_Bytes(kIpcAreaSize, 0) {}
  Area& ReadRecord(std::uint32_t offset, std::uint32_t size) {
    Put(kRecordRead);
    Put(offset);
    Put(size);
    Put(0);
    m_Pos += size;
    return *this;
  }
  Area& WriteRecord(std::uint32_t offset, const std::vector<std::uint8_t>& data) {
    Put(kRecordWrite);
    Put(offset);
    Put(static_cast<std::uint32_t>(data.size()));
    std::memcpy(&m_Bytes[m_Pos], data.data(), data.size());
    m_Pos += data.size();
    return *this;
  }
  Area& Put(std::uint32_t value) {
    StoreU32(&m_Bytes[m_Pos], value);
    m_Pos += 4;
    return *this;
  }
  std::uint8_t* Data() { return m_Bytes.data(); }
  std::uint8_t* At(std::size_t pos) { return &m_Bytes[pos]; }

 private:
  std::vector<std::uint8_t> m_Bytes;
  std::size_t m_Pos = 0;
};

std::vector<std::uint8_t> U16(std::uint16_t v) {
  std::vector<std::uint8_t> bytes(2);
  StoreU16(bytes.data(), v);
  return bytes;
}

std::vector<std::uint8_t> Block(const char* id, std::uint16_t command, std::uint8_t fill) {
  std::vector<std::uint8_t> block(kWeatherBlockSize, fill);
  StoreU16(block.data(), command);
  std::memset(&block[WeatherBlockOffset::kStationId], 0, 4);
  std::memcpy(&block[WeatherBlockOffset::kStationId], id, std::min<std::size_t>(std::strlen(id), 4));
  StoreU32(&block[WeatherBlockOffset::kAcknowledge], 0);
  return block;
}

TEST(SimHostCore, MalformedAreasAreBadDataAndNeverReadPastTheArea) {
  struct Case {
    const char* name;
    Area area;
    std::size_t size;  // of the area handed over
  };
  std::vector<Case> cases;
  cases.push_back({"no terminator before the end", Area().ReadRecord(0x3304, 4), 20});
  cases.push_back({"unknown kind", Area().Put(9).Put(0x3304).Put(4), kIpcAreaSize});
  cases.push_back({"size past the area", Area().Put(kRecordRead).Put(0).Put(0x7FFFFFF0).Put(0), kIpcAreaSize});
  cases.push_back({"offset past the offset space", Area().ReadRecord(0xFFFE, 4).Put(0), kIpcAreaSize});
  cases.push_back({"write past the offset space", Area().WriteRecord(0xFFFF, {1, 2}).Put(0), kIpcAreaSize});
  cases.push_back({"header cut by the end", Area().Put(kRecordWrite).Put(0x3380), 8});
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimHost host({});
    EXPECT_EQ(host.ProcessArea(c.area.Data(), c.size), 0);
  }
}

TEST(SimHostCore, AnswersReadsAndKeepsVersionsAndPositionItsOwn) {
  SimHostOptions options;
  options.m_Latitude = -33.9;
  options.m_Longitude = 179.99;
  SimHost host(options);
  Area area;
  area.WriteRecord(kOffsetFsVersion, {1, 2, 3, 4}).WriteRecord(kOffsetAircraftLatitude, {9, 9, 9, 9});
  area.WriteRecord(kOffsetLibraryVersion, U16(1004));
  area.ReadRecord(kOffsetFsuipcVersion, 8)
      .ReadRecord(kOffsetAircraftLatitude, 4)
      .ReadRecord(kOffsetAircraftLongitude, 4);
  area.Put(0);
  ASSERT_EQ(host.ProcessArea(area.Data(), kIpcAreaSize), 1);
  std::size_t reads = 3 * 12 + 4 + 4 + 2;  // the three write records
  EXPECT_EQ(LoadU32(area.At(reads + 16)), 0x39990000u);
  EXPECT_EQ(LoadU32(area.At(reads + 20)), 0xFADE0007u);
  EXPECT_NEAR(LoadI32(area.At(reads + 24 + 16)) * 8.998425275576774e-6, -33.9, 1e-5);
  EXPECT_NEAR(LoadI32(area.At(reads + 24 + 20 + 16)) * 8.381903171539307e-8, 179.99, 1e-6);
  EXPECT_EQ(host.ReadCount(kOffsetAircraftLatitude), 1u);
}

TEST(SimHostCore, WeatherInterfaceKeepsPendingAndCommittedBlocks) {
  SimHost host({});
  auto run = [&host](Area area) { return host.ProcessArea(area.Put(0).Data(), kIpcAreaSize); };
  ASSERT_EQ(run(Area().WriteRecord(kOffsetWeatherWrite, Block("EGLL", kWriteSetPending, 1))), 1);
  std::uint32_t ack = host.Peek32(kOffsetWeatherAck);
  EXPECT_NE(ack, 0u);
  EXPECT_EQ(host.Pending().count("EGLL"), 1u);
  EXPECT_TRUE(host.Committed().empty());
  ASSERT_EQ(run(Area().WriteRecord(kOffsetWeatherWrite, U16(kWeatherApply))), 1);
  EXPECT_TRUE(host.Pending().empty());
  ASSERT_EQ(host.Committed().count("EGLL"), 1u);
  EXPECT_NE(host.Peek32(kOffsetWeatherAck), ack);

  // Read-back: the committed block, with the request's signature and identifier.
  std::vector<std::uint8_t> request = {0x39, 0x30, 0, 0, 'E', 'G', 'L', 'L'};
  Area readBack;
  readBack.WriteRecord(kOffsetWeatherRequest, request).ReadRecord(kOffsetWeatherRead, kWeatherBlockSize);
  ASSERT_EQ(run(std::move(readBack)), 1);
  // Answered a request later, as the simulator does in a later frame: the next request still
  // sees the old acknowledgement, the one after it the new one and the block.
  const std::uint32_t beforeRefresh = host.Peek32(kOffsetWeatherAck);
  ASSERT_EQ(run(Area()), 1);
  EXPECT_EQ(host.Peek32(kOffsetWeatherAck), beforeRefresh);
  Area again;
  again.ReadRecord(kOffsetWeatherRead, kWeatherBlockSize).Put(0);
  ASSERT_EQ(host.ProcessArea(again.Data(), kIpcAreaSize), 1);
  EXPECT_NE(host.Peek32(kOffsetWeatherAck), beforeRefresh);
  const std::uint8_t* block = again.At(16);
  EXPECT_EQ(LoadU32(block + WeatherBlockOffset::kSignature), 0x3039u);
  EXPECT_EQ(block[100], 1);
  EXPECT_EQ(std::memcmp(block + WeatherBlockOffset::kStationId, "EGLL", 4), 0);

  // A station the simulator never got reads back as an empty block of that identifier.
  ASSERT_EQ(run(Area().WriteRecord(kOffsetWeatherRequest, {1, 0, 0, 0, 'K', 'J', 'F', 'K'})), 1);
  ASSERT_EQ(run(Area()), 1);
  Area unknown;
  unknown.ReadRecord(kOffsetWeatherRead, kWeatherBlockSize).Put(0);
  ASSERT_EQ(host.ProcessArea(unknown.Data(), kIpcAreaSize), 1);
  EXPECT_EQ(unknown.At(16)[100], 0);
  EXPECT_EQ(std::memcmp(unknown.At(16) + WeatherBlockOffset::kStationId, "KJFK", 4), 0);

  ASSERT_EQ(run(Area().WriteRecord(kOffsetWeatherWrite, Block("", kWeatherClear, 0))), 1);
  EXPECT_TRUE(host.Committed().empty());
  auto kinds = host.JournalKinds();
  EXPECT_EQ(kinds, (std::vector<std::string>{"position", "pending", "commit", "refresh", "refresh", "clear"}));
}

TEST(SimHostCore, NeverAcknowledgeLeavesTheWordZero) {
  SimHostOptions options;
  options.m_Faults.m_NeverAcknowledge = true;
  SimHost host(options);
  Area area;
  area.WriteRecord(kOffsetWeatherWrite, Block("EGLL", kWriteSetPending, 7)).Put(0);
  ASSERT_EQ(host.ProcessArea(area.Data(), kIpcAreaSize), 1);
  EXPECT_EQ(host.Peek32(kOffsetWeatherAck), 0u);
  EXPECT_EQ(host.Pending().count("EGLL"), 1u);
}

TEST(SimHostCore, MessagesAreJournalledAsJson) {
  SimHost host({});
  std::vector<std::uint8_t> text(kMessageTextSize, 0);
  const char* message = "say \"hi\"\\\n";
  std::memcpy(text.data(), message, std::strlen(message));
  Area area;
  area.WriteRecord(kOffsetMessageText, text).WriteRecord(kOffsetMessageControl, U16(0xFFF1)).Put(0);
  ASSERT_EQ(host.ProcessArea(area.Data(), kIpcAreaSize), 1);
  auto journal = host.Journal();
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_NE(journal[1].find("\"kind\":\"message\",\"text\":\"say \\\"hi\\\"\\\\\\u000a\",\"control\":-15"),
            std::string::npos)
      << journal[1];
}

TEST(SimHostCore, PathFiles) {
  struct Case {
    const char* text;
    bool ok;
    std::size_t points;
  };
  const Case cases[] = {
      {"0 51.5 -0.5\n60 52 0 # a minute later\n\n", true, 2},
      {"# only a comment\n", false, 0},
      {"0 51.5\n", false, 0},
      {"0 51.5 -0.5 9\n", false, 0},
      {"10 1 1\n5 2 2\n", false, 0},
      {"x 1 1\n", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<PathPoint> path;
    std::string error;
    EXPECT_EQ(ParsePath(c.text, &path, &error), c.ok) << error;
    EXPECT_EQ(path.size(), c.ok ? c.points : path.size());
    EXPECT_EQ(error.empty(), c.ok);
  }
}

TEST(SimHostCore, APathStartsAtItsFirstPoint) {
  SimHost host({});
  host.SetPath({{0, 45.0, 7.0}, {3600, 46.0, 8.0}});
  Area area;
  area.ReadRecord(kOffsetAircraftLatitude, 4).Put(0);
  ASSERT_EQ(host.ProcessArea(area.Data(), kIpcAreaSize), 1);
  EXPECT_NEAR(LoadI32(area.At(16)) * 8.998425275576774e-6, 45.0, 1e-3);
}

TEST(SimHostCore, DumpDecodesTheCommittedBlocks) {
  SimHost host({});
  EXPECT_EQ(host.DumpCommitted(), "no committed weather\n");
  std::vector<std::uint8_t> block = Block("LSZH", kWriteSetPending, 0);
  StoreDouble(&block[WeatherBlockOffset::kLatitude], 47.46);
  StoreDouble(&block[WeatherBlockOffset::kLongitude], 8.55);
  StoreI32(&block[WeatherBlockOffset::kElevation], 432);
  StoreU16(&block[WeatherBlockOffset::kPressure], 1021 * 16);
  StoreU16(&block[WeatherBlockOffset::kVisUpper], 1432);
  StoreI16(&block[WeatherBlockOffset::kVisLower], 432);
  StoreU16(&block[WeatherBlockOffset::kVisRange], 25);
  StoreI32(&block[WeatherBlockOffset::kCloudCount], 1);
  std::uint8_t* cloud = &block[WeatherBlockOffset::kCloudLayers];
  StoreU16(cloud, 1500);
  StoreU16(cloud + 2, 1200);
  cloud[6] = 5;
  cloud[7] = 9;
  StoreI32(&block[WeatherBlockOffset::kWindCount], 1000);  // garbage count: clamped to 24 slots
  Area area;
  area.WriteRecord(kOffsetWeatherWrite, block).WriteRecord(kOffsetWeatherWrite, U16(kWeatherApply)).Put(0);
  ASSERT_EQ(host.ProcessArea(area.Data(), kIpcAreaSize), 1);
  std::string dump = host.DumpCommitted();
  EXPECT_NE(dump.find("station LSZH: lat 47.4600 lon 8.5500 elevation 432 m\n"), std::string::npos) << dump;
  EXPECT_NE(dump.find("pressure 1021.00 hPa, visibility 0.25 sm from 432 m to 1432 m\n"), std::string::npos);
  EXPECT_NE(dump.find("cloud 0: 5/8 type 9 from 1200 m to 1500 m"), std::string::npos);
  EXPECT_NE(dump.find("wind 23:"), std::string::npos);
  EXPECT_EQ(dump.find("wind 24:"), std::string::npos);
}

}  // namespace
