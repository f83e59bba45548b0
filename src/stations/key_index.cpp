#include "stations/key_index.h"

#include <bit>
#include <cstring>
#include <utility>

std::uint64_t KeyIndex::Head(std::string_view key) {
  std::uint64_t head = 0;
  std::memcpy(&head, key.data(), key.size() < 8 ? key.size() : 8);
  return head;
}

std::uint64_t KeyIndex::Hash(std::string_view key, std::uint64_t head) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;  // 2^64 / golden ratio
  std::uint64_t hash = (head ^ key.size()) * kMultiplier;
  for (std::size_t i = 8; i < key.size(); i += 8) {
    std::uint64_t chunk = 0;
    std::memcpy(&chunk, key.data() + i, key.size() - i < 8 ? key.size() - i : 8);
    hash = (hash ^ (hash >> 29) ^ chunk) * kMultiplier;
  }
  return hash ^ (hash >> 32);
}

bool KeyIndex::Holds(const Slot& slot, std::string_view key, std::uint64_t head, std::uint32_t hash) {
  return slot.hash == hash && slot.head == head && slot.size == key.size() &&
         (key.size() <= 8 || std::memcmp(slot.text + 8, key.data() + 8, key.size() - 8) == 0);
}

std::size_t KeyIndex::Position(std::string_view key, std::uint64_t head, std::uint64_t hash) const {
  const std::size_t mask = m_Slots.size() - 1;
  const auto upper = static_cast<std::uint32_t>(hash >> 32);
  for (std::size_t i = static_cast<std::size_t>(hash * 0x9E3779B97F4A7C15ull >> m_Shift);; i = (i + 1) & mask) {
    const Slot& slot = m_Slots[i];
    if (!slot.value || Holds(slot, key, head, upper)) return i;
  }
}

Weather_Station* KeyIndex::Find(std::string_view key) const {
  if (m_Size == 0) return nullptr;
  const std::uint64_t head = Head(key);
  return m_Slots[Position(key, head, Hash(key, head))].value;
}

void KeyIndex::Set(std::string_view key, Weather_Station* value) {
  if (!value) return Erase(key);
  if ((m_Size + 1) * 2 > m_Slots.size()) Grow();
  const std::uint64_t head = Head(key);
  const std::uint64_t hash = Hash(key, head);
  Slot& slot = m_Slots[Position(key, head, hash)];
  if (!slot.value) ++m_Size;
  slot = Slot{head, static_cast<std::uint32_t>(key.size()), static_cast<std::uint32_t>(hash >> 32), key.data(), value};
}

void KeyIndex::Erase(std::string_view key) {
  if (m_Size == 0) return;
  const std::size_t mask = m_Slots.size() - 1;
  const std::uint64_t head = Head(key);
  std::size_t hole = Position(key, head, Hash(key, head));
  if (!m_Slots[hole].value) return;
  --m_Size;
  // Backward shift: each later entry of the run moves into the hole unless its home slot lies
  // cyclically after the hole, so that every entry stays reachable from its home.
  for (std::size_t i = (hole + 1) & mask; m_Slots[i].value; i = (i + 1) & mask) {
    const Slot& slot = m_Slots[i];
    const std::uint64_t hash = Hash(std::string_view(slot.text, slot.size), slot.head);
    const std::size_t home = static_cast<std::size_t>(hash * 0x9E3779B97F4A7C15ull >> m_Shift);
    if (((i - home) & mask) >= ((i - hole) & mask)) {
      m_Slots[hole] = slot;
      hole = i;
    }
  }
  m_Slots[hole] = Slot{};
}

void KeyIndex::Grow() {
  std::vector<Slot> old = std::exchange(m_Slots, std::vector<Slot>(m_Slots.empty() ? 16 : m_Slots.size() * 2));
  m_Shift = 64 - std::countr_zero(m_Slots.size());
  m_Size = 0;
  for (const Slot& slot : old)
    if (slot.value) Set(std::string_view(slot.text, slot.size), slot.value);
}
