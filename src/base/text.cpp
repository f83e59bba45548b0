#include "base/text.h"

#include <cstdarg>
#include <cstdio>

void AppendFormatV(std::string& out, const char* format, va_list args) {
  // Most pieces are short: one formatting into a buffer on the stack, a second only when longer.
  char piece[512];
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(piece, sizeof piece, format, copy);
  va_end(copy);
  if (needed <= 0) return;
  if (static_cast<std::size_t>(needed) < sizeof piece) {
    out.append(piece, static_cast<std::size_t>(needed));
    return;
  }
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(needed) + 1);
  std::vsnprintf(out.data() + at, static_cast<std::size_t>(needed) + 1, format, args);
  out.resize(at + static_cast<std::size_t>(needed));
}

void AppendFormat(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  AppendFormatV(out, format, args);
  va_end(args);
}

std::string HexBytes(const std::uint8_t* data, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
  return out;
}

namespace {

// Length of the UTF-8 sequence at p, or 0 when it is not a well-formed one.
std::size_t Utf8Length(std::string_view text, std::size_t p) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(p);
  std::size_t length;
  unsigned min;
  unsigned code;
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, min = 0x80, code = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, min = 0x800, code = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, min = 0x10000, code = lead & 0x07u;
  } else {
    return 0;
  }
  if (p + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(p + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(p + i) & 0x3Fu);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

// Well-formed UTF-8: no stray continuation byte, no overlong form, nothing past U+10FFFF.
bool IsUtf8(std::string_view text) {
  for (std::size_t p = 0; p < text.size();) {
    const std::size_t length = Utf8Length(text, p);
    if (length == 0) return false;
    p += length;
  }
  return true;
}

}  // namespace

std::string JsonString(std::string_view text, JsonText rule) {
  const bool keepHigh = rule == JsonText::kUtf8 && IsUtf8(text);
  std::string out = "\"";
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (rule == JsonText::kUtf8 && c == '\n') {
      out += "\\n";
    } else if (rule == JsonText::kUtf8 && c == '\r') {
      out += "\\r";
    } else if (rule == JsonText::kUtf8 && c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && !keepHigh)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += ch;
    }
  }
  return out + '"';
}
