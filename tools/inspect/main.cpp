// altivane-inspect SUBCOMMAND [options]: looks into what the program reads and builds.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "inspect.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

void PrintUsage(std::ostream& out) {
  out << "usage: altivane-inspect SUBCOMMAND [options]\n\nsubcommands:\n";
  for (std::size_t i = 0; i < inspect::kCommandCount; ++i) {
    const inspect::Command& c = inspect::kCommands[i];
    out << "  " << c.name << " " << c.usage << "\n      " << c.summary << "\n";
  }
  out << "\noutput:\n"
         "  text for people: values with their units (kt, °, sm, m, km, nm, hPa, °C), reals rounded;\n"
         "  missing values as -999. A report observed after --ref is not decoded, and a note says so.\n"
         "  --json: one JSON object, numbers in full precision. Its keys are the member names as the\n"
         "  code spells them for the fields of a record (m_Key, m_Temperature, m_LevelHeight, ...)\n"
         "  and snake_case for everything else (sim_folder, wind_layers, newer_than_ref, ...).\n";
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  // The text output is UTF-8 (degree signs); a console shows it as such only in that code page.
  SetConsoleOutputCP(CP_UTF8);
#endif
  if (argc < 2) {
    PrintUsage(std::cerr);
    return 2;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintUsage(std::cout);
    return 0;
  }
  for (std::size_t i = 0; i < inspect::kCommandCount; ++i) {
    if (name == inspect::kCommands[i].name)
      return inspect::kCommands[i].run(std::vector<std::string>(argv + 2, argv + argc));
  }
  std::cerr << "altivane-inspect: unknown subcommand " << name << "\n";
  PrintUsage(std::cerr);
  return 2;
}
