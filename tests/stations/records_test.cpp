#include <gtest/gtest.h>

#include <cstddef>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "stations/key_index.h"
#include "stations/metar_stations.h"
#include "stations/station_records.h"

namespace {

// Counts destructions so ownership faults (double delete, leak) show as wrong counts.
int g_Destroyed = 0;
struct CountedStation : METAR_Station {
  ~CountedStation() override { ++g_Destroyed; }
};
struct CountedBase : Weather_Station {
  ~CountedBase() override { ++g_Destroyed; }
};

TEST(StationRecords, FreshRecordsHoldTheInitialValues) {
  METAR_Station s;
  EXPECT_EQ(s.m_CloudCover[0], -999.0);
  for (int i = 1; i < kCloudSlots; ++i) EXPECT_EQ(s.m_CloudCover[i], 0.0) << i;
  EXPECT_EQ(s.m_Temperature, -999);
  EXPECT_EQ(s.m_DewPoint, -999);
  EXPECT_EQ(s.m_Pressure, -999);
  EXPECT_EQ(s.m_SeaLevelTemperature, -999.0);
  EXPECT_EQ(s.m_ReportValid, 0);
  EXPECT_EQ(s.m_State, kStateIdle);
  for (const LevelTable* t : {&s.m_LevelPressure, &s.m_LevelHeight, &s.m_LevelTemperature, &s.m_LevelDewPoint,
                              &s.m_LevelWindDirection, &s.m_LevelWindSpeed})
    for (int v : *t) EXPECT_EQ(v, -999);
  EXPECT_FALSE(s.m_SigPressure || s.m_SigHeight || s.m_SigTemperature || s.m_SigDewPoint);
  for (auto b : s.m_WeatherBlock.bytes) ASSERT_EQ(b, 0);
}

TEST(StationRecords, ConvertingConstructionCopiesIdentityAndOwnsSeparateBuffers) {
  auto base = std::make_unique<Weather_Station>();
  base->m_Latitude = 51.5;
  base->m_Longitude = -0.12;
  base->m_Name = "London";
  base->m_Region = "UK";
  base->m_Key = "03772";
  base->m_WmoNumber = "03772";
  base->m_State = kStateToSend;
  base->m_UpperAirLatitude = 1.5;
  base->m_UpperAirLongitude = 2.5;
  base->m_Elevation = 25;
  base->m_UpperAirElevation = 30;
  base->m_UpperAirValid = 1;
  base->m_SigLevelsValid = 1;
  base->m_SigLevelCount = 2;
  base->m_ReportValid = 1;
  base->m_LevelPressure[3] = 850;
  base->m_LevelWindSpeed[12] = 77;
  base->m_SigPressure = std::make_unique<SigLevelBuffer>();
  (*base->m_SigPressure)[0] = 1003;
  (*base->m_SigPressure)[99] = 5;

  METAR_Station converted(*base);
  EXPECT_EQ(converted.m_Latitude, 51.5);
  EXPECT_EQ(converted.m_Longitude, -0.12);
  EXPECT_EQ(converted.m_Name, "London");
  EXPECT_EQ(converted.m_Region, "UK");
  EXPECT_EQ(converted.m_Key, "03772");
  EXPECT_EQ(converted.m_WmoNumber, "03772");
  EXPECT_EQ(converted.m_State, kStateToSend);
  EXPECT_EQ(converted.m_UpperAirLatitude, 1.5);
  EXPECT_EQ(converted.m_UpperAirLongitude, 2.5);
  EXPECT_EQ(converted.m_Elevation, 25);
  EXPECT_EQ(converted.m_UpperAirElevation, 30);
  EXPECT_EQ(converted.m_UpperAirValid, 1);
  EXPECT_EQ(converted.m_SigLevelsValid, 1);
  EXPECT_EQ(converted.m_SigLevelCount, 2);
  EXPECT_EQ(converted.m_ReportValid, 1);
  EXPECT_EQ(converted.m_LevelPressure, base->m_LevelPressure);
  EXPECT_EQ(converted.m_LevelWindSpeed, base->m_LevelWindSpeed);
  EXPECT_EQ(converted.m_CloudCover[0], -999.0);
  EXPECT_EQ(converted.m_Pressure, -999);
  ASSERT_TRUE(converted.m_SigPressure);
  EXPECT_NE(converted.m_SigPressure.get(), base->m_SigPressure.get());
  EXPECT_FALSE(converted.m_SigHeight);
  base.reset();  // the source goes; the copy keeps its own buffer
  EXPECT_EQ((*converted.m_SigPressure)[0], 1003);
  EXPECT_EQ((*converted.m_SigPressure)[99], 5);
}

// Where each listed field lies in a record: [offset, offset + size), in listing order.
template <class Record>
struct FieldSpans {
  const Record& record;
  std::vector<std::pair<std::ptrdiff_t, std::ptrdiff_t>> spans;
  template <class Member>
  void operator()(Member field) {
    const auto* start = reinterpret_cast<const char*>(&(record.*field));
    const std::ptrdiff_t offset = start - reinterpret_cast<const char*>(&record);
    spans.emplace_back(offset, offset + static_cast<std::ptrdiff_t>(sizeof(record.*field)));
  }
};

template <class Record>
std::ptrdiff_t OffsetOf(const Record& record, const void* field) {
  return static_cast<const char*>(field) - reinterpret_cast<const char*>(&record);
}

// A member added to the record but not to its list would be left out of the take-over, the
// copies and the reset: the lists must cover their stretch of the record with nothing between
// the fields but padding.
TEST(StationRecords, FieldListsCoverTheRecordWithoutGaps) {
  const METAR_Station s;
  struct Case {
    const char* list;
    std::vector<std::pair<std::ptrdiff_t, std::ptrdiff_t>> spans;
    std::ptrdiff_t from, to;  // the stretch the list must cover
  };
  FieldSpans<METAR_Station> identity{s, {}}, report{s, {}};
  ForEachIdentityField(identity);
  ForEachReportField(report);
  // The report flag, listed last, lies after the upper-air data; the rest is one stretch.
  identity.spans.pop_back();
  const Case cases[] = {
      {"identity", identity.spans, OffsetOf(s, &s.m_Latitude), OffsetOf(s, &s.m_LevelPressure)},
      {"report", report.spans, OffsetOf(s, &s.m_ReportText), OffsetOf(s, &s.m_WeatherBlock)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    ASSERT_FALSE(c.spans.empty());
    EXPECT_EQ(c.spans.front().first, c.from);
    for (size_t i = 1; i < c.spans.size(); ++i) {
      EXPECT_GE(c.spans[i].first, c.spans[i - 1].second) << "field " << i << " out of order";
      EXPECT_LT(c.spans[i].first - c.spans[i - 1].second, 8) << "a field missing before field " << i;
    }
    EXPECT_LE(c.spans.back().second, c.to);
    EXPECT_LT(c.to - c.spans.back().second, 8) << "a field missing at the end";
  }
}

TEST(StationCatalogue, ReplacingARecordDestroysTheOldOneAndRepointsTheLists) {
  g_Destroyed = 0;
  {
    METAR_Stations cat;
    EXPECT_EQ(cat.m_CycleFileRead, 0);
    EXPECT_TRUE(cat.m_ReportDate.empty() && cat.m_ReportTime.empty());
    auto* first = static_cast<METAR_Station*>(cat.SetAt("EGLL", std::make_unique<CountedStation>()));
    cat.m_SimStations.push_back(first);
    cat.m_SimStations.push_back(first);
    cat.m_UpperAirStations.push_back(first);
    auto* second = static_cast<METAR_Station*>(cat.SetAt("EGLL", std::make_unique<CountedStation>()));
    EXPECT_EQ(g_Destroyed, 1);
    EXPECT_EQ(cat.Lookup("EGLL"), second);
    EXPECT_EQ(cat.m_SimStations, (std::vector<METAR_Station*>{second, second}));
    EXPECT_EQ(cat.m_UpperAirStations, (std::vector<Weather_Station*>{second}));

    // A base record cannot stand in the simulator list: the reference goes.
    cat.SetAt("EGLL", std::make_unique<CountedBase>());
    EXPECT_EQ(g_Destroyed, 2);
    EXPECT_TRUE(cat.m_SimStations.empty());
    EXPECT_EQ(cat.m_UpperAirStations.size(), 1u);

    cat.SetAt("LFPG", std::make_unique<CountedStation>());
    EXPECT_EQ(cat.Lookup("lfpg"), nullptr);  // keys are case-sensitive
    EXPECT_EQ(cat.Count(), 2u);
  }
  EXPECT_EQ(g_Destroyed, 4);  // each record once, whatever the lists held
}

// The hashed index against an ordered map under random stores, replacements and removals:
// short and long keys (beyond the eight characters a slot holds), keys that differ only after
// the eighth character, prefixes of one another, and enough keys to grow the table many times.
TEST(StationCatalogue, KeyIndexAgreesWithAMapUnderRandomChanges) {
  std::vector<std::string> keys;
  for (int i = 0; i < 3000; ++i) keys.push_back("K" + std::to_string(i * 7919 % 10007));
  for (int i = 0; i < 300; ++i) keys.push_back("LONGSTATION_" + std::to_string(i));
  for (const char* k : {"", "A", "AB", "ABCDEFGH", "ABCDEFGHI", "ABCDEFGHJ"}) keys.emplace_back(k);
  keys.push_back(std::string(40, 'Z'));
  keys.push_back(std::string("NUL\0KEY", 7));
  std::map<std::string, int> owner;  // the texts the index views
  std::map<std::string, Weather_Station*> expected;
  KeyIndex index;
  std::mt19937 random(7);
  std::vector<std::unique_ptr<Weather_Station>> values(64);
  for (auto& value : values) value = std::make_unique<Weather_Station>();
  for (int step = 0; step < 40000; ++step) {
    const std::string& key = keys[random() % keys.size()];
    if (random() % 3 == 0) {
      index.Erase(key);
      expected.erase(key);
    } else {
      Weather_Station* value = values[random() % values.size()].get();
      const auto stored = owner.try_emplace(key).first;
      index.Set(stored->first, value);
      expected[key] = value;
    }
    if (step % 997 == 0 || step > 39000) {
      ASSERT_EQ(index.Size(), expected.size());
      for (const std::string& k : keys) {
        const auto it = expected.find(k);
        ASSERT_EQ(index.Find(k), it == expected.end() ? nullptr : it->second) << k << " at step " << step;
      }
    }
  }
}

TEST(StationCatalogue, WmoMapReplacesAndLooksUp) {
  METAR_Stations cat;
  EXPECT_EQ(cat.LookupWmoKey("03772"), nullptr);
  cat.SetWmoKey("03772", "EGLL");
  cat.SetWmoKey("03772", "EGRR");
  ASSERT_NE(cat.LookupWmoKey("03772"), nullptr);
  EXPECT_EQ(*cat.LookupWmoKey("03772"), "EGRR");
}

}  // namespace
