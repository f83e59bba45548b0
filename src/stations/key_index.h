#pragma once
// The catalogue's records by key: an open-addressing table (linear probing, backward-shift
// removal) whose slots hold a key's first eight characters, so that the look-up of a station
// identifier reads one slot and no key text elsewhere in memory. The key texts are the
// caller's: each must stay where it is while its entry is stored.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

class Weather_Station;

class KeyIndex {
 public:
  Weather_Station* Find(std::string_view key) const;
  // Stores value under key (replacing the value stored there); key's text must outlive the entry.
  void Set(std::string_view key, Weather_Station* value);
  void Erase(std::string_view key);
  std::size_t Size() const { return m_Size; }

 private:
  struct Slot {
    std::uint64_t head = 0;            // the first eight characters, zero-padded
    std::uint32_t size = 0;            // the key's length
    std::uint32_t hash = 0;            // the upper half of its hash
    const char* text = nullptr;        // the whole key
    Weather_Station* value = nullptr;  // none: an empty slot
  };
  static std::uint64_t Head(std::string_view key);
  static std::uint64_t Hash(std::string_view key, std::uint64_t head);
  static bool Holds(const Slot& slot, std::string_view key, std::uint64_t head, std::uint32_t hash);
  // The slot of key, or the empty slot where it would go. The table is not empty.
  std::size_t Position(std::string_view key, std::uint64_t head, std::uint64_t hash) const;
  void Grow();

  std::vector<Slot> m_Slots;  // a power of two in size, at most half full
  std::size_t m_Size = 0;
  int m_Shift = 64;  // a hash's top bits, 64 - log2(slots), choose its home slot
};
