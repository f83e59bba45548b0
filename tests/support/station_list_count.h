#pragma once
// The figures of a station list file, read independently of the program's reader: plain lines,
// CR LF folded, and the key rules written out once more.
#include <cstddef>
#include <filesystem>
#include <set>
#include <string>

namespace altivane::test {

struct ListFigures {
  int lines = 0;
  int metar = 0;
  int weather = 0;
  std::set<std::string> keys;
  std::size_t longestLine = 0;
};

ListFigures CountList(const std::filesystem::path& path);

}  // namespace altivane::test
