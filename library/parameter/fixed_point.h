#pragma once

#include <cstdint>

#include "morvel_host/types.h"

// Narrowing conversions for values headed to the host. Every input has a defined result:
// out-of-range values saturate, NaN becomes 0 (or stays NaN where the target is floating point).
namespace Morvel::Plugin {

// Truncates toward zero into 32 bits.
int32_t saturatingTrunc32(double value);
// Cuts a 32-bit integer to 16 bits.
int16_t saturatingCut16(int32_t value);
// Keeps finite values finite: anything beyond float's range becomes the largest float.
float saturatingToFloat(double value);

// Degrees to 16.16, truncated toward zero.
PF_Fixed degreesToFixed(double degrees);
// Only the integer part of a coordinate reaches the host, shifted into 16.16.
PF_Fixed integerPartToFixed(double coordinate);
inline double fixedToDouble(PF_Fixed value) { return value / 65536.0; }

}  // namespace Morvel::Plugin
