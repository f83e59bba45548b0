// altivane-inspect SUBCOMMAND [options]: looks into what the program reads and builds.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "inspect.h"

namespace {

void PrintUsage(std::ostream& out) {
  out << "usage: altivane-inspect SUBCOMMAND [options]\n\nsubcommands:\n";
  for (std::size_t i = 0; i < inspect::kCommandCount; ++i) {
    const inspect::Command& c = inspect::kCommands[i];
    out << "  " << c.name << " " << c.usage << "\n      " << c.summary << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
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
