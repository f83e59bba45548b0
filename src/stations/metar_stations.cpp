#include "stations/metar_stations.h"

#include <algorithm>

std::atomic<METAR_Stations*> g_pStations{nullptr};

namespace {

std::uint64_t NextGeneration() {
  static std::atomic<std::uint64_t> last{0};
  return ++last;
}

}  // namespace

METAR_Stations::METAR_Stations() : m_Generation(NextGeneration()) {}

METAR_Stations::~METAR_Stations() {
  m_UpperAirStations.clear();
  m_SimStations.clear();
  m_Records.clear();
}

Weather_Station* METAR_Stations::Lookup(std::string_view key) const { return m_ByKey.Find(key); }

Weather_Station* METAR_Stations::SetAt(const std::string& key, std::unique_ptr<Weather_Station> record) {
  Weather_Station* added = record.get();
  m_Generation = NextGeneration();
  const auto stored = m_Records.try_emplace(key).first;
  std::unique_ptr<Weather_Station>& slot = stored->second;
  if (Weather_Station* old = slot.get(); old && old != added) {
    if (added) {
      std::replace(m_UpperAirStations.begin(), m_UpperAirStations.end(), old, added);
    } else {
      std::erase(m_UpperAirStations, old);
    }
    if (auto* oldReport = dynamic_cast<METAR_Station*>(old)) {
      if (auto* newReport = dynamic_cast<METAR_Station*>(added)) {
        std::replace(m_SimStations.begin(), m_SimStations.end(), oldReport, newReport);
      } else {
        std::erase(m_SimStations, oldReport);
      }
    }
  }
  if (added) {
    slot = std::move(record);
    m_ByKey.Set(stored->first, added);
  } else {
    m_ByKey.Erase(key);
    m_Records.erase(stored);
  }
  return added;
}

const std::string* METAR_Stations::LookupWmoKey(const std::string& wmo) const {
  auto it = m_WmoToKey.find(wmo);
  return it == m_WmoToKey.end() ? nullptr : &it->second;
}
