#pragma once
// A simulator folder in a temporary directory, installed as g_SimFolder while the object lives,
// and the bytes of simulator map records for it.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "support/test_data.h"

namespace altivane::test {

struct MapEntry {
  MapEntry(std::string key, float latitude, float longitude, float elevation, std::string name,
           std::optional<std::uint8_t> nameLength = std::nullopt)
      : key(std::move(key)),
        latitude(latitude),
        longitude(longitude),
        elevation(elevation),
        name(std::move(name)),
        nameLength(nameLength) {}
  std::string key;
  float latitude;
  float longitude;
  float elevation;
  std::string name;
  // Overrides the stored name length (a length that runs past the end of the file).
  std::optional<std::uint8_t> nameLength;
};

// The bytes of one map record.
std::string MapRecordBytes(const MapEntry& entry);
// The bytes of a whole map.
std::string MapBytes(std::initializer_list<MapEntry> entries);

class SimFolder {
 public:
  SimFolder();
  ~SimFolder();
  SimFolder(const SimFolder&) = delete;
  SimFolder& operator=(const SimFolder&) = delete;

  // The folder in the program's own form, ending with a backslash.
  const std::string& Folder() const { return m_Folder; }
  const TempDir& Dir() const { return m_Dir; }

  void WriteStationList(const std::string& text) const;
  void WriteMap(const std::string& bytes) const;

 private:
  TempDir m_Dir;
  std::string m_Folder;
  std::string m_PreviousSimFolder;
};

}  // namespace altivane::test
