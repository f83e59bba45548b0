#pragma once
// The number readers of the decoders and file readers. Each keeps the rule its input was
// always read with, so they differ on purpose; every one reads within the text it is given
// (which need not be terminated) and never throws.
#include <string_view>

// Starts with a digit 0-9, longest decimal prefix: "29.92" -> 29.92, "2SM" -> 2, "M05" -> 0.
double ParseLeadingNumber(std::string_view text);
// Blanks, a sign, then a decimal number (no hex, inf, nan): " -3.5e1x" -> -35, "" -> 0.
double ParseFieldNumber(std::string_view field);
// As strtod reads it (blanks, sign, hex, inf and nan too), 0 when there is no number.
double ParseCNumber(std::string_view text);
// As ParseCNumber, but 0 for anything not finite ("INF", "1E999"): safe for integer conversion.
double ParseFiniteCNumber(std::string_view text);
// The whole field without blanks and CR around it and one leading '+', as a float; false otherwise.
bool ParseWholeFloat(std::string_view field, float& out);
