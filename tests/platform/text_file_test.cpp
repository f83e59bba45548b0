#include "platform/text_file.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_data.h"

namespace {

using altivane::test::TempDir;

// The pieces of a file, read both as copies and as views: the two must agree.
std::vector<std::string> Pieces(const std::string& bytes, std::size_t max) {
  TempDir dir;
  const std::string path = dir.Write("f.txt", bytes).string();
  TextFileReader reader(path);
  std::vector<std::string> out;
  std::string piece;
  while (reader.ReadPiece(piece, max)) out.push_back(piece);
  TextFileReader viewReader(path);
  std::vector<std::string> viewed;
  std::string_view view;
  std::string scratch;
  while (viewReader.ReadPiece(view, scratch, max)) viewed.emplace_back(view);
  EXPECT_EQ(viewed, out);
  return out;
}

TEST(TextFileReader, LineEndsFoldToOneNewline) {
  struct Case {
    std::string bytes;
    std::vector<std::string> pieces;
  } cases[] = {
      {"a\r\nb\r\n", {"a\n", "b\n"}},
      {"a\nb", {"a\n", "b"}},
      {"a\rb\r\n\r\n", {"a\n", "b\n", "\n"}},
      {"mixed\r\nlf\n", {"mixed\n", "lf\n"}},
      {"2022/07/13 00:00\r\r\nKDEN\r\r\n\r\r\n", {"2022/07/13 00:00\n", "KDEN\n", "\n"}},  // WMO feed line ends
      {"a\r\rb\r\r", {"a\n", "\n", "b\n", "\n"}},  // lone CRs, each one line end
      {"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(Pieces(c.bytes, 255), c.pieces);
  }
  // Line ends at every place of a run read eight characters at a time, after bytes above 127.
  for (std::size_t at = 0; at < 20; ++at) {
    for (const char* end : {"\n", "\r", "\r\n"}) {
      const std::string head = std::string(at, '\xC0') + std::string(at % 3, 'K');
      SCOPED_TRACE(head.size());
      EXPECT_EQ(Pieces(head + end + "tail", 255), (std::vector<std::string>{head + "\n", "tail"}));
    }
  }
}

TEST(TextFileReader, LongLineComesInPiecesAndCrLfAcrossTheCutIsOneEnd) {
  std::string line(600, 'x');
  auto pieces = Pieces(line + "\r\nnext\r\n", 255);
  ASSERT_EQ(pieces.size(), 4u);
  EXPECT_EQ(pieces[0], std::string(255, 'x'));
  EXPECT_EQ(pieces[1], std::string(255, 'x'));
  EXPECT_EQ(pieces[2], std::string(90, 'x') + "\n");
  EXPECT_EQ(pieces[3], "next\n");
  // The CR lands exactly on the cut: its LF must not become an extra empty line.
  auto cut = Pieces(std::string(255, 'y') + "\r\nz", 255);
  ASSERT_EQ(cut.size(), 3u);
  EXPECT_EQ(cut[1], "\n");
  EXPECT_EQ(cut[2], "z");
  // A line that just fits with its line end, and one that does not.
  EXPECT_EQ(Pieces(std::string(254, 'a') + "\n" + std::string(255, 'b') + "\nc", 255),
            (std::vector<std::string>{std::string(254, 'a') + "\n", std::string(255, 'b'), "\n", "c"}));
}

TEST(TextFileReader, ReadLineDropsLineEndsAndKeepsAnyBytes) {
  TempDir dir;
  std::string bytes = std::string("one\r\n") + '\0' + "\xa8two\n\nlast";
  TextFileReader reader(dir.Write("f.txt", bytes).string());
  std::vector<std::string> lines;
  std::string line;
  while (reader.ReadLine(line)) lines.push_back(line);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "one");
  EXPECT_EQ(lines[1], std::string("\0\xa8two", 5));
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], "last");
}

TEST(TextFileReader, MissingFileIsNotOpenAndReadsNothing) {
  TextFileReader reader("/nonexistent\\dir\\file.txt");
  EXPECT_FALSE(reader.IsOpen());
  std::string s;
  EXPECT_FALSE(reader.ReadPiece(s));
  EXPECT_FALSE(reader.ReadLine(s));
}

// The file is read in blocks of 64 KiB: every line end, and the CRs of CR CR LF, falling on
// either side of a block's end reads as it does anywhere else.
TEST(TextFileReader, LineEndsAcrossTheBlockEnd) {
  constexpr std::size_t kBlock = 64 * 1024;
  // Lines of the bytes by the rules above, with their line ends as '\n'.
  auto expected = [](const std::string& bytes) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const char c = bytes[i];
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
      if (c == '\r' && i + 2 < bytes.size() && bytes[i + 1] == '\r' && bytes[i + 2] == '\n') continue;
      if (c == '\r' || c == '\n') {
        lines.back() += '\n';
        lines.emplace_back();
      } else {
        lines.back() += c;
      }
    }
    if (lines.back().empty()) lines.pop_back();
    return lines;
  };
  for (const std::string end : {"\r\n", "\r\r\n", "\r\r", "\r", "\n", "\r\r\r\n"}) {
    for (std::size_t at = kBlock - 4; at <= kBlock + 1; ++at) {
      std::string bytes(at, 'x');
      for (std::size_t i = 70; i < at; i += 71) bytes[i] = '\n';
      bytes += end + "tail" + end + "z";
      SCOPED_TRACE(testing::Message() << "line end " << testing::PrintToString(end) << " at " << at);
      const std::vector<std::string> lines = expected(bytes);
      EXPECT_EQ(Pieces(bytes, 255), lines);
      TempDir dir;
      TextFileReader reader(dir.Write("f.txt", bytes).string());
      std::vector<std::string> read;
      for (std::string line; reader.ReadLine(line);) read.push_back(line + "\n");
      std::vector<std::string> withEnds = lines;
      if (!withEnds.empty() && withEnds.back().back() != '\n') withEnds.back() += '\n';
      EXPECT_EQ(read, withEnds);
    }
  }
}

}  // namespace
