#pragma once
// The METAR-like text of a station whose surface weather was blended from its neighbours.
#include <string>
#include <string_view>

class METAR_Station;

// "METAR key date time AUTO dddssGggKT vSM [weather ]clouds tt/dd Apppp" from the station's
// blended fields and the nearest neighbour's observation date and time, e.g.
//   METAR XXXX 2003/11/09 13:50 AUTO 27015G25KT 6SM OVC012 05/03 A1008
// Cloud groups by cover: up to 1/8 "CLR" (first layer only), FEW, SCT, BKN, OVC, above 1 none;
// bases in hundreds of feet. Negative temperatures carry "M"; the pressure is whole hPa.
std::string ComposeReportText(const METAR_Station& station, std::string_view obsDate, std::string_view obsTime);
