#include "library/parameter/fixed_point.h"

#include <cfloat>
#include <cmath>
#include <limits>

namespace Morvel::Plugin {

int32_t saturatingTrunc32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

int16_t saturatingCut16(int32_t value) {
    if (value > INT16_MAX) return INT16_MAX;
    if (value < INT16_MIN) return INT16_MIN;
    return static_cast<int16_t>(value);
}

float saturatingToFloat(double value) {
    if (value > FLT_MAX && std::isfinite(value)) return FLT_MAX;
    if (value < -FLT_MAX && std::isfinite(value)) return -FLT_MAX;
    return static_cast<float>(value);
}

PF_Fixed degreesToFixed(double degrees) { return saturatingTrunc32(degrees * 65536.0); }

PF_Fixed integerPartToFixed(double coordinate) {
    // 16 integer bits leave -32768 .. 32767 for the whole part.
    const int32_t whole = saturatingCut16(saturatingTrunc32(coordinate));
    return static_cast<PF_Fixed>(whole * 65536);
}

}  // namespace Morvel::Plugin
