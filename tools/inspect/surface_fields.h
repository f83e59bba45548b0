#pragma once
// The surface-report fields of a record, as altivane-inspect shows them.
#include <ostream>

#include "inspect.h"
#include "stations/station_records.h"

namespace inspect {

// Every decoded surface field plus m_ReportValid and m_State, keyed by member name; the five
// cloud slots as arrays.
void AddSurfaceFields(JsonObject& json, const METAR_Station& station);
// The same as "name: value" lines.
void PrintSurfaceFields(std::ostream& out, const METAR_Station& station);

}  // namespace inspect
