#include "platform/text_file.h"

#include "platform/paths.h"

TextFileReader::TextFileReader(const std::string& path) {
  m_File = OpenNativeFile(path, "rb");
}

TextFileReader::~TextFileReader() {
  if (m_File) std::fclose(m_File);
}

int TextFileReader::Raw() {
  if (!m_Pending.empty()) {
    const int c = m_Pending.back();
    m_Pending.pop_back();
    return c;
  }
  return std::fgetc(m_File);
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
    if (after != EOF) m_Pending.push_back(after);
    m_Pending.push_back('\r');
    return '\n';
  }
  m_Pending.push_back(next);
  return '\n';
}

bool TextFileReader::ReadPiece(std::string& out, std::size_t maxChars) {
  out.clear();
  if (!m_File || maxChars == 0) return false;
  while (out.size() < maxChars) {
    int c = Get();
    if (c == EOF) break;
    out.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return !out.empty();
}

bool TextFileReader::ReadLine(std::string& out) {
  out.clear();
  if (!m_File) return false;
  bool any = false;
  for (int c = Get(); c != EOF; c = Get()) {
    any = true;
    if (c == '\n') return true;
    out.push_back(static_cast<char>(c));
  }
  return any;
}
