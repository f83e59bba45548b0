// TEMP decoders: TTAA (surface and standard isobaric levels) and TTBB (significant levels).
// The message comes without spaces, so each group is read at its fixed position:
//
//   TTAA 63001 72632 99971 23858 33008 00075 ///// ///// 92754 19858 30519 ... 88999 ...=
//   0    4    9    14   19   24   29   (levels of 15 characters: PPhhh TTTDD dddff)
//   TTBB 63008 72632 00971 23858 11964 22658 22940 20657 ... 21212 ...=
//   0    4    9    14 (surface, not read)  24 (levels of 10 characters: nnPPP TTTDD)
#include "reports/temp_decoder.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string_view>

#include "reports/tokenizer.h"
#include "base/text.h"

namespace {

constexpr std::size_t kIndicatorPos = 8;
constexpr std::size_t kAfterStation = kTempStationPos + kTempStationChars;  // 14
constexpr std::size_t kStandardLevelChars = 15;
constexpr std::size_t kFirstSigLevelPos = 24;
constexpr std::size_t kSigLevelChars = 10;

// The height table of the significant levels: pressure of standard slot j and the height taken
// when the station has no value there. Slot 0 is the station's own surface.
constexpr int kTablePressure[kLastStandardSlot + 1] = {0, 1000, 925, 850, 700, 500, 400, 300, 250, 200, 150, 100};
constexpr int kFallbackHeight[kLastStandardSlot + 1] = {0,    100,  800,   1500,  3000,  5500,
                                                        7500, 9000, 10500, 12000, 14000, 16000};

int SaturateToInt(std::int64_t value) {
  return static_cast<int>(
      std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Section name, winds present, not NIL, and the message is this station's.
bool PassesCommonChecks(std::string_view message, std::string_view section, const std::string& wmoNumber) {
  if (message.substr(0, section.size()) != section) return false;
  if (message.size() < kAfterStation) return false;
  if (message[kIndicatorPos] == '/') return false;
  if (message.find("NIL") != std::string_view::npos) return false;
  return message.substr(kTempStationPos, kTempStationChars) == wmoNumber;
}

}  // namespace

int TempGroupField(std::string_view message, std::size_t pos, std::size_t width) {
  static constexpr int kWidthLimit[] = {0, 9, 99, 999, 9999, 99999};
  if (pos >= message.size() || width == 0) return 0;
  width = std::min<std::size_t>(width, 5);
  // "1e9" reads as a number too; a field of n characters is never worth more than n digits.
  const int value = TruncateToInt(ParseLeadingNumber(message.substr(pos, width)));
  return std::clamp(value, 0, kWidthLimit[width]);
}

int TempFromTTT(int ttt) {
  const int degrees = static_cast<int>(ttt / 10.0 + 0.5);
  return ttt % 2 != 0 ? -degrees : degrees;
}

int DewPointFromDD(int temperature, int dd) {
  const double depression = dd <= 50 ? dd / 10.0 : dd - 50;
  return temperature - static_cast<int>(depression + 0.5);
}

int SigLevelHeight(const Weather_Station& station, int pressure) {
  for (int j = kLastStandardSlot; j >= 0; --j) {
    const int tablePressure = j == 0 ? station.m_LevelPressure[0] : kTablePressure[j];
    if (tablePressure == kMissing || tablePressure <= pressure) continue;
    // The station's own height at that level, when slot j holds that level: a message that left
    // out a level or ended early (tropopause group) has other pressures in its slots.
    const bool own = station.m_LevelPressure[j] == tablePressure && station.m_LevelHeight[j] != kMissing;
    const std::int64_t base = own ? station.m_LevelHeight[j] : kFallbackHeight[j];
    return SaturateToInt(base + 100 * ((tablePressure - pressure) / 10));
  }
  return TruncateToInt(station.m_Elevation);
}

// The dew point of a TTTDD group. A temperature without its depression (235//) has no dew point:
// reading "//" as 0 would make the level saturated. A group missing as a whole (/////) reads as
// 0 like every missing group, which the gap filling takes for missing.
std::optional<int> DewPointAt(std::string_view msg, std::size_t tttPos, int temperature) {
  const std::string_view ttt = msg.substr(std::min(tttPos, msg.size()), 3);
  const std::string_view dd = msg.substr(std::min(tttPos + 3, msg.size()), 2);
  if (ttt.size() == 3 && IsDigits(ttt) && !(dd.size() == 2 && IsDigits(dd))) return std::nullopt;
  return DewPointFromDD(temperature, TempGroupField(msg, tttPos + 3, 2));
}

// 72632 TTAA: 99971 23858 33008 -> surface 971 hPa, 23.8 C (dew 20), wind 330/08;
// 85475 13015 28518 -> 850 hPa at 1475 m, 13 C, dew 12, wind 285/18;
// 70079 -> 700 hPa at 3079 m; 25071 -> 250 hPa at 10710 m; 27615 as wind -> 276 at 115.
// Heights are geopotential heights above sea level as coded; 00525 is 1000 hPa at -25 m.
void Weather_Station::DecodeTTAA(const std::string& message) {
  m_UpperAirValid = 0;
  if (!PassesCommonChecks(message, "TTAA", m_WmoNumber)) return;
  const std::string_view msg = message;
  auto field = [msg](std::size_t pos, std::size_t width) { return TempGroupField(msg, pos, width); };

  ResetLevelTables();
  const int elevation = TruncateToInt(m_Elevation);
  m_LevelHeight[0] = elevation;

  std::size_t p = kAfterStation;
  if (msg.substr(kAfterStation, 2) == "99") {
    const int ppp = field(16, 3);
    m_LevelPressure[0] = ppp < 500 ? ppp + 1000 : ppp;  // 99012 -> 1012, 99995 -> 995
    m_LevelTemperature[0] = TempFromTTT(field(19, 3));
    m_LevelDewPoint[0] = DewPointAt(msg, 19, m_LevelTemperature[0]).value_or(kMissing);
    m_LevelWindDirection[0] = field(24, 3);
    m_LevelWindSpeed[0] = field(27, 2);
    p = kAfterStation + kStandardLevelChars;
  }

  // The height order holds between the levels above the ground; a high station reports the
  // lowest levels extrapolated below its surface (Denver: 1000 and 925 hPa), which are kept.
  int lastAboveGround = elevation;
  for (int i = 1; i <= kLastStandardSlot && msg.size() >= p + kStandardLevelChars; ++i) {
    const int id = field(p, 2);
    const int hhh = field(p + 2, 3);
    int pressure = 0;
    int height = 0;
    if (id == 0) {
      pressure = 1000, height = hhh >= 500 ? 500 - hhh : hhh;  // 00525 -> -25 m
    } else if (id == 92) {
      pressure = 925, height = hhh;
    } else if (id == 85) {
      pressure = 850, height = hhh + 1000;  // 85512 -> 1512 m
    } else if (id == 70) {
      pressure = 700, height = 1000 - hhh < hhh ? hhh + 2000 : hhh + 3000;  // 70950 -> 2950, 70010 -> 3010
    } else if (id % 11 == 0) {
      // Tropopause (88), maximum wind (77) and the like: the standard levels are over.
      break;
    } else if (id > 25) {
      pressure = id * 10, height = hhh * 10;  // 50575 -> 500 hPa at 5750 m
    } else if (id == 25 && hhh >= 500) {
      pressure = 250, height = hhh * 10;  // 25923 -> 9230 m: the cold polar air, not 19230 m
    } else {
      pressure = id * 10, height = (hhh + 1000) * 10;  // 25045 -> 10450 m, 10634 -> 16340 m
    }
    // A height sent as "///" is none (it would read as 0 m).
    if (!IsDigits(msg.substr(p + 2, 3))) height = kMissing;
    m_LevelPressure[i] = pressure;
    m_LevelHeight[i] = height;
    if (height > elevation) {
      if (height < lastAboveGround) {
        m_LevelPressure[i] = kMissing;
        m_LevelHeight[i] = kMissing;
        return;
      }
      lastAboveGround = height;
    }

    const int temperature = TempFromTTT(field(p + 5, 3));
    const std::optional<int> dewPoint = DewPointAt(msg, p + 5, temperature);
    const int direction = field(p + 10, 3);
    int speed = field(p + 13, 2);
    if (direction % 5 != 0) speed += 100 * (direction % 5);  // the units digit carries the hundreds
    const bool implausible = std::abs(temperature) > 100 || (dewPoint && std::abs(*dewPoint) > 100);
    m_LevelTemperature[i] = implausible ? kMissing : temperature;
    m_LevelDewPoint[i] = dewPoint.value_or(kMissing);
    bool last = false;
    if (direction > 360) {
      m_LevelWindDirection[i] = kMissing;
      m_LevelWindSpeed[i] = kMissing;
      last = true;
    } else {
      m_LevelWindDirection[i] = direction;
      m_LevelWindSpeed[i] = speed;
    }
    if (last || (p + kStandardLevelChars < msg.size() && msg[p + kStandardLevelChars] == '=')) break;
    p += kStandardLevelChars;
  }
  m_UpperAirValid = 1;
}

// 72632 TTBB: 00971 23858 (surface, not read) 11964 22658 -> 964 hPa, 22.6 C ...;
// 11007 17637 -> 1007 hPa: part B ends at 100 hPa, so three digits below 100 stand for 1000 and
// more. The next section (21212, 31313, 41414, 51515) ends the levels.
void Weather_Station::DecodeTTBB(const std::string& message) {
  for (std::unique_ptr<SigLevelBuffer>* buffer : {&m_SigPressure, &m_SigHeight, &m_SigTemperature, &m_SigDewPoint}) {
    *buffer = std::make_unique<SigLevelBuffer>();
    (*buffer)->fill(kMissing);
  }
  m_SigLevelsValid = 0;
  if (!PassesCommonChecks(message, "TTBB", m_WmoNumber)) return;
  // Whatever follows the end sign on the last line is not part of the message.
  const std::string_view msg = std::string_view(message).substr(0, message.find('='));
  auto field = [msg](std::size_t pos, std::size_t width) { return TempGroupField(msg, pos, width); };

  int count = 0;
  for (std::size_t p = kFirstSigLevelPos; count < kMaxSigLevels && msg.size() >= p + kSigLevelChars;
       p += kSigLevelChars) {
    if (field(p, 2) % 11 != 0) break;
    // 44/// 27561: a level without its pressure is no level.
    if (!IsDigits(msg.substr(p + 2, 3))) continue;
    int pressure = field(p + 2, 3);
    if (pressure < 100) pressure += 1000;
    const int temperature = TempFromTTT(field(p + 5, 3));
    (*m_SigPressure)[count] = pressure;
    (*m_SigHeight)[count] = SigLevelHeight(*this, pressure);
    (*m_SigTemperature)[count] = temperature;
    (*m_SigDewPoint)[count] = DewPointAt(msg, p + 5, temperature).value_or(kMissing);
    ++count;
  }
  (*m_SigTemperature)[count] = kMissing;
  (*m_SigDewPoint)[count] = kMissing;
  m_SigLevelCount = count;
  m_SigLevelsValid = 1;
}
