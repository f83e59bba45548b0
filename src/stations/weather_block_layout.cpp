#include "stations/weather_block_layout.h"

#include "base/bytes.h"

void ClearWeatherBlock(WeatherBlockBytes& block) {
  namespace O = WeatherBlockOffset;
  std::uint8_t* b = block.data();
  StoreU16(b + O::kCommand, 0);
  StoreU16(b + O::kReserved, 0);
  StoreU32(b + O::kSignature, 0);
  StoreU16(b + O::kUnused1, 0);
  StoreU16(b + O::kUnused2, 0);
  StoreDouble(b + O::kLatitude, 0.0);
  StoreDouble(b + O::kLongitude, 0.0);
  StoreI32(b + O::kElevation, 0);
  StoreU32(b + O::kAcknowledge, 0);
  StoreI32(b + O::kTempCount, 0);
  StoreI32(b + O::kWindCount, 0);
  StoreI32(b + O::kCloudCount, 0);
}
