#pragma once
// Pieces of the METAR cycle file reader (METAR_Stations::ReadMetarFile) that tests use alone.
#include <cstdint>
#include <string>
#include <string_view>

// Longest piece of a line read at once; a longer physical line comes as several lines.
inline constexpr std::size_t kMetarLineLimit = 255;
// Longest entry text kept; the lines of an entry beyond it are dropped, so that a file without
// empty lines cannot grow one entry without bound. Real reports are a few hundred characters.
inline constexpr std::size_t kMetarEntryLimit = 8192;

// Appends one line as read (line end included when it has one) to an entry's text: runs of
// spaces become one space, also across the join with the text before, and the line ends in
// exactly one space. With oneReportPerLine "~" stands for 0 and "=" (end of report) for a space.
void AppendCleanLine(std::string& entry, std::string_view line, bool oneReportPerLine);

// The weather generator's seed from a file's first line "YYYY/MM/DD HH:MM": seconds since
// 1980 counted in 365.25-day years and 30-day months, modulo 2^32.
std::uint32_t MetarFileSeed(std::string_view firstLine);
