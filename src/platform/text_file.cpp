#include "platform/text_file.h"

#include "platform/paths.h"

TextFileReader::TextFileReader(const std::string& path) {
  m_File = OpenNativeFile(path, "rb");
}

TextFileReader::~TextFileReader() {
  if (m_File) std::fclose(m_File);
}

// One character with line ends folded: CR LF and a lone CR come back as '\n'.
int TextFileReader::Get() {
  int c = std::fgetc(m_File);
  if (c == '\r') {
    int next = std::fgetc(m_File);
    if (next != '\n' && next != EOF) std::ungetc(next, m_File);
    return '\n';
  }
  return c;
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
