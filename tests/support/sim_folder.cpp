#include "support/sim_folder.h"

#include "stations/sim_folder.h"
#include "stations/sim_map.h"

namespace altivane::test {

std::string MapRecordBytes(const MapEntry& entry) {
  SimMapRecord record;
  record.m_Key = entry.key;
  record.m_Latitude = entry.latitude;
  record.m_Longitude = entry.longitude;
  record.m_Elevation = entry.elevation;
  record.m_Name = entry.name;
  std::string bytes = EncodeSimMapRecord(record);
  if (entry.nameLength) bytes[kSimMapNameLengthOffset] = static_cast<char>(*entry.nameLength);
  return bytes;
}

std::string MapBytes(std::initializer_list<MapEntry> entries) {
  std::string bytes;
  for (const MapEntry& entry : entries) bytes += MapRecordBytes(entry);
  return bytes;
}

SimFolder::SimFolder() : m_Folder(m_Dir.Path().string() + "\\"), m_PreviousSimFolder(g_SimFolder) {
  g_SimFolder = m_Folder;
}

SimFolder::~SimFolder() { g_SimFolder = m_PreviousSimFolder; }

void SimFolder::WriteStationList(const std::string& text) const { m_Dir.Write("Altivane/stations/station.txt", text); }

void SimFolder::WriteMap(const std::string& bytes) const { m_Dir.Write("Weather/wxmapping.bin", bytes); }

}  // namespace altivane::test
