#pragma once
// Small text helpers shared across the program and its tools.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// At most count characters from pos; shorter (or empty) where the text is shorter.
inline std::string_view Slice(std::string_view text, std::size_t pos, std::size_t count = std::string_view::npos) {
  if (pos >= text.size()) return {};
  return text.substr(pos, count);
}

// The text without the characters of `front` at its start and of `back` at its end.
inline std::string_view TrimSets(std::string_view text, std::string_view front, std::string_view back) {
  const std::size_t first = text.find_first_not_of(front);
  if (first == std::string_view::npos) return {};
  text.remove_prefix(first);
  return text.substr(0, text.find_last_not_of(back) + 1);
}

// Each caller trims what its input can carry:
// a typed command or a whole line: blanks and line ends at both ends.
inline std::string_view TrimSpace(std::string_view text) { return TrimSets(text, " \t\r\n", " \t\r\n"); }
// a field within a line already cut at its line feed: blanks and a stray CR at both ends.
inline std::string_view TrimField(std::string_view text) { return TrimSets(text, " \t\r", " \t\r"); }
// a header line or value: blanks at the start, blanks and line ends at the end.
inline std::string_view TrimHeader(std::string_view text) { return TrimSets(text, " \t", " \t\r\n"); }

// Every character a decimal digit (the empty text too).
inline bool IsDigits(std::string_view text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

inline bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// Appends printf-formatted text, however long.
__attribute__((format(printf, 2, 3))) void AppendFormat(std::string& out, const char* format, ...);
void AppendFormatV(std::string& out, const char* format, va_list args);

// Lower-case hex of bytes, two digits each.
std::string HexBytes(const std::uint8_t* data, std::size_t size);

// The text as a JSON string, quotes included.
enum class JsonText {
  kAscii,  // every byte outside printable ASCII as \u00XX: the output is plain ASCII whatever the input
  kUtf8,   // short escapes for \n \r \t; valid UTF-8 kept as it is, any other high byte as \u00XX
};
std::string JsonString(std::string_view text, JsonText rule);
