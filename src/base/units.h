#pragma once
// Units and the number conversions the weather uses everywhere: decoders, blending, layers.
#include <numbers>

// Truncates toward zero like a C cast, but saturates at the int range (NaN gives 0), so that
// absurd input values never reach an undefined conversion.
int TruncateToInt(double value);

// 4 x atan2(1, 1), the double nearest to pi.
inline constexpr double g_Pi = std::numbers::pi;

double KnotsFromMetresPerSecond(double metresPerSecond);
double MetresFromFeet(double feet);
double FeetFromMetres(double metres);
double HectopascalsFromInches(double inchesOfMercury);
double RadiansFromDegrees(double degrees);
