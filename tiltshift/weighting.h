#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "library/world/bpc.h"
#include "morvel_host/host.h"

// Weighting raises each channel to an exponential, weightBase^value on the 8-bit scale, so that
// bright values dominate the blur's averages; the output takes the logarithm back.
namespace TiltShift {

// Weighted float entries stop here: a window sum of thousands of them stays finite, and the
// inverse turns it back into a value of about 55 (Weight 5) or more.
inline const double kWeightCap = std::ldexp(1.0, 1000);

// weightBase^i for 8-bit (256 entries), weightBase^(i × 255/32768) for 16-bit and float (32769),
// computed with the host's pow.
std::vector<double> makeWeightTable(const PF_InData* in_data, Morvel::Bpc bpc, double weightBase);

// What turns ln(weighted value) back into a channel value at the depth; 0 when weightBase ≤ 1.
double weightInverseFactor(const PF_InData* in_data, Morvel::Bpc bpc, double weightBase);

// The weight of a channel value, one form per depth.
struct Weigher {
    bool weighted;
    double weightBase;
    const double* table;  // null unless weighted

    double operator()(uint8_t v) const { return weighted ? table[v] : double(v); }
    // Values above full scale are not the host's to give, but must not read past the table.
    double operator()(uint16_t v) const { return weighted ? table[v < 32768 ? v : 32768] : double(v); }
    double operator()(float v) const {
        if (!weighted) return v;
        if (!(v >= 0.0f)) return 1.0;  // negative and NaN alike
        if (v <= 1.0f) return table[static_cast<int32_t>(v * 32768.0f)];
        const double w = std::pow(weightBase, double(v) * 255.0);
        return w < kWeightCap ? w : kWeightCap;
    }
};

}  // namespace TiltShift
