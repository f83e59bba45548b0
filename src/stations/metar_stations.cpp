#include "stations/metar_stations.h"

#include <algorithm>

std::atomic<METAR_Stations*> g_pStations{nullptr};

METAR_Stations::METAR_Stations() = default;

METAR_Stations::~METAR_Stations() {
  m_UpperAirStations.clear();
  m_SimStations.clear();
  m_Records.clear();
}

Weather_Station* METAR_Stations::Lookup(const std::string& key) const {
  auto it = m_Records.find(key);
  return it == m_Records.end() ? nullptr : it->second.get();
}

Weather_Station* METAR_Stations::SetAt(const std::string& key, std::unique_ptr<Weather_Station> record) {
  Weather_Station* added = record.get();
  std::unique_ptr<Weather_Station>& slot = m_Records[key];
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
  } else {
    m_Records.erase(key);
  }
  return added;
}

const std::string* METAR_Stations::LookupWmoKey(const std::string& wmo) const {
  auto it = m_WmoToKey.find(wmo);
  return it == m_WmoToKey.end() ? nullptr : &it->second;
}
