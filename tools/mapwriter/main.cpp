// altivane-mapwriter: writes a simulator weather-station map (wxmapping.bin) from a text list,
// one station a line: KEY;latitude;longitude;elevation;name
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "stations/sim_map.h"

namespace {

int Usage() {
  std::cerr << "usage: altivane-mapwriter [--longitudes-0-360] INPUT.txt OUTPUT.bin\n"
               "  INPUT.txt   one station a line: KEY;latitude;longitude;elevation;name\n"
               "              (blank lines and lines starting with '#' are skipped)\n"
               "  --longitudes-0-360  store western longitudes as 360 less, as the simulator does\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool wrap = false;
  const char* input = nullptr;
  const char* output = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--longitudes-0-360") == 0) {
      wrap = true;
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      Usage();
      return 0;
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      std::cerr << "altivane-mapwriter: unknown option " << argv[i] << "\n";
      return Usage();
    } else if (!input) {
      input = argv[i];
    } else if (!output) {
      output = argv[i];
    } else {
      return Usage();
    }
  }
  if (!input || !output) return Usage();

  std::ifstream in(input, std::ios::binary);
  if (!in) {
    std::cerr << "altivane-mapwriter: cannot read " << input << "\n";
    return 1;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::string bytes, error;
  if (!BuildSimMapFromText(text.str(), wrap, &bytes, &error)) {
    std::cerr << "altivane-mapwriter: " << input << ": " << error << "\n";
    return 1;
  }
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::cerr << "altivane-mapwriter: cannot write " << output << "\n";
    return 1;
  }
  return 0;
}
