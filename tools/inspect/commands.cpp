// The subcommands of altivane-inspect: declare the entry point and add a row.
#include "inspect.h"

namespace inspect {

int RunStations(const std::vector<std::string>& args);
int RunTemp(const std::vector<std::string>& args);
int RunMetar(const std::vector<std::string>& args);
int RunMetarFile(const std::vector<std::string>& args);
int RunBlock(const std::vector<std::string>& args);
int RunView(const std::vector<std::string>& args);
int RunSources(const std::vector<std::string>& args);

const Command kCommands[] = {
    {"stations", "--sim-folder DIR [--key KEY] [--json]",
     "load the station catalogue of a simulator folder; show its counts, or one record", RunStations},
    {"temp", "FILE --sim-folder DIR [--key KEY] [--json]",
     "read an upper-air file into the catalogue; show the counts and each station's levels, or one station's", RunTemp},
    {"metar", "\"REPORT TEXT\" [--ref \"YYYY-MM-DD HH:MM\"] [--elevation M] [--seed N] [--json]",
     "decode one surface report into a fresh record and show every surface field", RunMetar},
    {"metar-file", "FILE --sim-folder DIR [--ref \"YYYY-MM-DD HH:MM\"] [--json]",
     "load the catalogue, read a METAR file into it; show the count and the decoded stations", RunMetarFile},
    {"block", "--sim-folder DIR [--metar FILE] [--temp FILE] [--seed N] KEY [--json]",
     "prepare one station's weather block as the update pass would; show it and where its values came from", RunBlock},
    {"view", "--sim-folder DIR [--metar FILE] [--temp FILE] --position LAT,LON [--out FILE] [--json]",
     "write the weather view page an update pass at that position would write", RunView},
    {"sources", "[--at YYYY-MM-DDTHH:MMZ] [--sim-folder DIR] [--json]",
     "the URLs and local files of \"Get current weather\" at that time, and the settings that chose them", RunSources},
};
const std::size_t kCommandCount = std::size(kCommands);

}  // namespace inspect
