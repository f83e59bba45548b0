#include "platform/text_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/bytes.h"
#include "platform/paths.h"

TextFileReader::TextFileReader(const std::string& path) {
  m_File = OpenNativeFile(path, "rb");
  if (m_File) m_Block = std::make_unique_for_overwrite<char[]>(kBlockSize);
}

TextFileReader::~TextFileReader() {
  if (m_File) std::fclose(m_File);
}

bool TextFileReader::Fill() {
  m_Next = 0;
  m_Size = std::fread(m_Block.get(), 1, kBlockSize, m_File);
  return m_Size > 0;
}

int TextFileReader::Raw() {
  if (m_PendingCount > 0) return static_cast<unsigned char>(m_Pending[--m_PendingCount]);
  if (m_Next == m_Size && !Fill()) return EOF;
  return static_cast<unsigned char>(m_Block[m_Next++]);
}

// One character with line ends folded: CR LF, CR CR LF (as WMO feeds end their lines) and a
// lone CR come back as one '\n'.
int TextFileReader::Get() {
  const int c = Raw();
  if (c != '\r') return c;
  const int next = Raw();
  if (next == '\n' || next == EOF) return '\n';
  if (next == '\r') {
    const int after = Raw();
    if (after == '\n') return '\n';
    // Two lone CRs: the second is a line end of its own.
    if (after != EOF) m_Pending[m_PendingCount++] = static_cast<char>(after);
    m_Pending[m_PendingCount++] = '\r';
    return '\n';
  }
  m_Pending[m_PendingCount++] = static_cast<char>(next);
  return '\n';
}

namespace {

// The end of the run of characters from first that holds no CR or LF, at most last. Eight
// characters at a time while none of them ends the line.
const char* RunEnd(const char* first, const char* last) {
  for (std::uint64_t word; last - first >= 8; first += 8) {
    std::memcpy(&word, first, 8);
    if (BytesEqualTo(word, '\r') | BytesEqualTo(word, '\n')) break;
  }
  while (first != last && *first != '\r' && *first != '\n') ++first;
  return first;
}

}  // namespace

bool TextFileReader::ReadPiece(std::string& out, std::size_t maxChars) {
  out.clear();
  if (!m_File || maxChars == 0) return false;
  while (out.size() < maxChars) {
    // Whole runs without a line end straight from the block; characters given back by the
    // folding, and line ends, one at a time.
    if (m_PendingCount == 0 && (m_Next < m_Size || Fill())) {
      const char* first = m_Block.get() + m_Next;
      const std::size_t room = std::min(m_Size - m_Next, maxChars - out.size());
      const char* end = RunEnd(first, first + room);
      out.append(first, end);
      m_Next += static_cast<std::size_t>(end - first);
      if (end != first) continue;
    }
    const int c = Get();
    if (c == EOF) break;
    out.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return !out.empty();
}

bool TextFileReader::ReadPiece(std::string_view& out, std::string& scratch, std::size_t maxChars) {
  if (m_File && m_PendingCount == 0 && m_Next < m_Size && maxChars > 0) {
    const char* first = m_Block.get() + m_Next;
    const std::size_t room = std::min(m_Size - m_Next, maxChars - 1);
    const char* end = RunEnd(first, first + room);
    if (end != first + room && *end == '\n') {
      out = std::string_view(first, static_cast<std::size_t>(end + 1 - first));
      m_Next += out.size();
      return true;
    }
  }
  const bool read = ReadPiece(scratch, maxChars);
  out = scratch;
  return read;
}

bool TextFileReader::ReadLine(std::string& out) {
  out.clear();
  if (!m_File) return false;
  bool any = false;
  for (;;) {
    if (m_PendingCount == 0 && (m_Next < m_Size || Fill())) {
      const char* first = m_Block.get() + m_Next;
      const char* end = RunEnd(first, m_Block.get() + m_Size);
      out.append(first, end);
      m_Next += static_cast<std::size_t>(end - first);
      if (end != first) {
        any = true;
        continue;
      }
    }
    const int c = Get();
    if (c == EOF) return any;
    any = true;
    if (c == '\n') return true;
    out.push_back(static_cast<char>(c));
  }
}
