#include "base/units.h"

#include <climits>
#include <cmath>

int TruncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

double KnotsFromMetresPerSecond(double metresPerSecond) { return metresPerSecond * 1.9438444924406049; }
double MetresFromFeet(double feet) { return feet * 0.3048; }
double FeetFromMetres(double metres) { return metres * 3.280839895013123; }
double HectopascalsFromInches(double inchesOfMercury) { return inchesOfMercury * 33.86530748663101; }
double RadiansFromDegrees(double degrees) { return degrees * g_Pi * 0.005555555555555556; }
