#pragma once
// Text files read the way a Windows program reads them in text mode, on every platform:
// CR LF and CR CR LF are one line end each (and so is a lone CR, so that a stray CR never
// reaches a token).
// Lines come in pieces of at most a given number of characters, like fgets with a fixed buffer.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

class TextFileReader {
 public:
  // Opens the file (a path in the program's own form, see NativePath) for reading.
  explicit TextFileReader(const std::string& path);
  ~TextFileReader();
  TextFileReader(const TextFileReader&) = delete;
  TextFileReader& operator=(const TextFileReader&) = delete;

  bool IsOpen() const { return m_File != nullptr; }

  // Reads the next piece of a line: up to maxChars characters, stopping after a line end,
  // which is kept as a single '\n'. Returns false at the end of the file (nothing read).
  bool ReadPiece(std::string& out, std::size_t maxChars = 255);
  // The same piece as a view: of the file's own bytes when they are the piece as they stand
  // (a line that ends in a lone LF within the block read), else of scratch, which ReadPiece
  // fills. Valid until the next read.
  bool ReadPiece(std::string_view& out, std::string& scratch, std::size_t maxChars = 255);

  // Reads a whole line without its line end. Returns false at the end of the file.
  bool ReadLine(std::string& out);

 private:
  int Get();
  int Raw();
  // Refills the block; false at the end of the file.
  bool Fill();

  static constexpr std::size_t kBlockSize = 64 * 1024;
  std::FILE* m_File = nullptr;
  std::unique_ptr<char[]> m_Block;  // read ahead in whole blocks, not a character at a time
  std::size_t m_Next = 0;           // next unread character of the block
  std::size_t m_Size = 0;           // characters in the block
  char m_Pending[2] = {};           // characters given back by the line-end folding, the next one last
  int m_PendingCount = 0;
};
