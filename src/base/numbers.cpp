#include "base/numbers.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <system_error>

#include "base/text.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The common case of both readers, a short run of digits that no fraction, exponent or hex
// mark continues ("2992", "18" of "18/10", "05" of "05005KT"), read as an integer: exact, and
// the same value the library parse gives. False when the text needs the full parse.
bool ReadShortInteger(std::string_view text, double& value) {
  constexpr std::size_t kExactDigits = 15;  // any such integer is exact in a double
  std::int64_t whole = 0;
  std::size_t i = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    if (i == kExactDigits) return false;
    whole = whole * 10 + (text[i] - '0');
  }
  if (i == 0) return false;
  if (i < text.size()) {
    const char next = text[i];
    if (next == '.' || next == 'e' || next == 'E' || next == 'x' || next == 'X') return false;
  }
  value = static_cast<double>(whole);
  return true;
}

}  // namespace

double ParseLeadingNumber(std::string_view text) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return 0.0;
  double value = 0.0;
  if (ReadShortInteger(text, value)) return value;
  const char* first = text.data();
  const std::from_chars_result result = std::from_chars(first, first + text.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone on overflow and underflow; strtod gives the
    // saturated value (HUGE_VAL or 0) for the same digits.
    const std::string digits(first, result.ptr);
    return std::strtod(digits.c_str(), nullptr);
  }
  if (result.ec != std::errc()) return 0.0;
  return value;
}

double ParseFieldNumber(std::string_view field) {
  std::size_t pos = 0;
  while (pos < field.size() && IsBlank(field[pos])) ++pos;
  double sign = 1.0;
  if (pos < field.size() && (field[pos] == '+' || field[pos] == '-')) {
    if (field[pos] == '-') sign = -1.0;
    ++pos;
  }
  const std::string_view rest = field.substr(pos);
  const bool startsNumber =
      (!rest.empty() && IsDigit(rest[0])) || (rest.size() >= 2 && rest[0] == '.' && IsDigit(rest[1]));
  if (!startsNumber) return 0.0;
  double value = 0.0;
  const std::from_chars_result result = std::from_chars(rest.data(), rest.data() + rest.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    const std::string digits(rest.data(), result.ptr);
    value = std::strtod(digits.c_str(), nullptr);
  } else if (result.ec != std::errc()) {
    return 0.0;
  }
  return sign * value;
}

double ParseCNumber(std::string_view text) {
  if (double value = 0.0; ReadShortInteger(text, value)) return value;
  // A terminated copy on the stack for the short fields it reads.
  char buffer[64];
  if (text.size() >= sizeof buffer) return std::strtod(std::string(text).c_str(), nullptr);
  text.copy(buffer, text.size());
  buffer[text.size()] = '\0';
  return std::strtod(buffer, nullptr);
}

double ParseFiniteCNumber(std::string_view text) {
  const double value = ParseCNumber(text);
  return std::isfinite(value) ? value : 0.0;
}

bool ParseWholeFloat(std::string_view field, float& out) {
  field = TrimField(field);
  if (!field.empty() && field[0] == '+') field.remove_prefix(1);
  if (field.empty()) return false;
  const auto result = std::from_chars(field.data(), field.data() + field.size(), out);
  return result.ec == std::errc() && result.ptr == field.data() + field.size();
}
