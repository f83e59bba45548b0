#pragma once
// The station catalogue: owns every station record by key; its lists only refer to records.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/progress.h"
#include "stations/key_index.h"
#include "stations/weather_time.h"
#include "stations/station_records.h"

struct UpperAirCounts;

class METAR_Stations {
 public:
  using RecordMap = std::map<std::string, std::unique_ptr<Weather_Station>>;

  METAR_Stations();
  virtual ~METAR_Stations();
  METAR_Stations(const METAR_Stations&) = delete;
  METAR_Stations& operator=(const METAR_Stations&) = delete;

  // Fills the catalogue from the station list and then from the simulator's map, both under
  // g_SimFolder. The readers below show their counts on `progress`, the status field unless
  // told otherwise.
  void LoadStations(ProgressSink& progress = StatusFieldProgress());
  // Its two halves, for a simulator folder that ends with a backslash: the station list (a
  // missing list adds nothing) and the simulator's map (a missing map adds no simulator station).
  void ReadStationList(const std::string& simFolder, ProgressSink& progress = StatusFieldProgress());
  void ReadSimulatorMap(const std::string& simFolder, ProgressSink& progress = StatusFieldProgress());
  // One line of the station list, with its line break when it has one.
  void AddStationLine(std::string_view line, ProgressSink& progress = StatusFieldProgress());
  // The bytes of a whole simulator map.
  void AddSimulatorMap(const std::uint8_t* data, std::size_t size, ProgressSink& progress = StatusFieldProgress());

  // Reads a METAR file (either layout) into the records, a loop over MetarLineReader; false
  // when it cannot be opened.
  bool ReadMetarFile(const std::string& path, WeatherTime reference, ProgressSink& progress = StatusFieldProgress());
  // The same, leaving out dated entries older than oldest.
  bool ReadMetarFile(const std::string& path, WeatherTime reference, WeatherTime oldest,
                     ProgressSink& progress = StatusFieldProgress());
  // Reads an upper-air file of TEMP messages into the records, a loop over UpperAirLineReader;
  // false when it cannot be opened. counts: the stations the file made valid.
  bool ReadUpperAirFile(const std::string& path, ProgressSink& progress = StatusFieldProgress(),
                        UpperAirCounts* counts = nullptr);

  // The record stored under key (exact, case-sensitive), or none. Hashed: the cycle reader
  // looks up every entry of a file.
  Weather_Station* Lookup(std::string_view key) const;
  // Stores a record under key. A record stored there before is destroyed; the lists that
  // referred to it refer to the new record instead (or drop it from m_SimStations when the new
  // record carries no weather block), so they never keep a destroyed record.
  Weather_Station* SetAt(const std::string& key, std::unique_ptr<Weather_Station> record);
  // All (key, record) pairs, in key order.
  const RecordMap& Records() const { return m_Records; }
  std::size_t Count() const { return m_Records.size(); }
  // Changes whenever SetAt stores or removes a record, and no two catalogues share a value:
  // what is derived from the records (the neighbour grid) is rebuilt when it differs. A record's
  // position is set before it is stored.
  std::uint64_t Generation() const { return m_Generation; }

  // WMO index number -> key, set (replacing) and look-up.
  void SetWmoKey(const std::string& wmo, const std::string& key) { m_WmoToKey[wmo] = key; }
  const std::string* LookupWmoKey(const std::string& wmo) const;

  // Records whose upper-air data became valid, in that order.
  std::vector<Weather_Station*> m_UpperAirStations;
  // The simulator's weather stations in map order (twice when the map lists one twice).
  std::vector<METAR_Station*> m_SimStations;
  std::int32_t m_CycleFileRead = 0;
  std::map<std::string, std::string> m_WmoToKey;
  std::string m_ReportDate;
  std::string m_ReportTime;

 private:
  RecordMap m_Records;
  // The same records by key, the keys viewing those of m_Records (a map node never moves).
  KeyIndex m_ByKey;
  std::uint64_t m_Generation;
};

// The one catalogue of the process: created by the main window, none before.
extern std::atomic<METAR_Stations*> g_pStations;
