#pragma once
// Units and the number conversions the weather uses everywhere: decoders, blending, layers.

// Truncates toward zero like a C cast, but saturates at the int range (NaN gives 0), so that
// absurd input values never reach an undefined conversion.
int TruncateToInt(double value);

// Set once at start-up to 4 x atan2(1, 1). Not for use from other static initialisers.
extern const double g_Pi;

double KnotsFromMetresPerSecond(double metresPerSecond);
double MetresFromFeet(double feet);
double FeetFromMetres(double metres);
double HectopascalsFromInches(double inchesOfMercury);
double RadiansFromDegrees(double degrees);
