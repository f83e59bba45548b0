#include "support/station_list_count.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace altivane::test {

ListFigures CountList(const std::filesystem::path& path) {
  ListFigures figures;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++figures.lines;
    figures.longestLine = std::max(figures.longestLine, line.size());
    std::vector<std::string> fields;
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, ';');) fields.push_back(field);
    auto field = [&](std::size_t n) { return n <= fields.size() ? fields[n - 1] : std::string(); };
    std::string key = field(3) == "----" || field(12).empty() ? field(1) + field(2) : field(3);
    const bool wmoLike = std::strtod(key.c_str(), nullptr) != 0.0;  // "72793", "08219"; not "KSEA", "-----"
    ++(wmoLike ? figures.weather : figures.metar);
    figures.keys.insert(key);
  }
  return figures;
}

}  // namespace altivane::test
