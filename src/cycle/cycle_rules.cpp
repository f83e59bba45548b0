#include "cycle/cycle_rules.h"

#include "cycle/candidates.h"
#include "stations/station_records.h"

StationWalkResult WalkStations(const CandidateList& candidates, StationWalkSink& sink) {
  StationWalkResult result;
  if (sink.StopRequested()) {
    result.m_Stopped = true;
    return result;
  }
  RadiusSteps steps;
  for (int index = 0; index < candidates.Count(); ++index) {
    const Candidate& entry = candidates[index];
    if (!CandidateSelected(index, entry.m_SquaredDistance)) break;
    METAR_Station& station = *entry.m_Station;
    if (station.m_State == kStateToSend && !sink.HasWeather(station)) {
      if (sink.StopRequested()) {
        result.m_Stopped = true;
        return result;
      }
      continue;
    }
    if (station.m_State == kStateToSend) {
      sink.SendNew(station);
    } else if (station.m_State == kStateSent) {
      sink.SendRefresh(station);
    }
    if (station.m_State != kStateIdle) {
      station.m_State = kStateSent;
      ++result.m_StationsSet;
      if (steps.Passed(entry.m_SquaredDistance)) {
        sink.CommitRadius(steps.Current());
        steps.Advance();
      }
    }
    if (sink.StopRequested()) {
      result.m_Stopped = true;
      return result;
    }
  }
  if (result.m_StationsSet > 0) sink.CommitAll(result.m_StationsSet);
  return result;
}
