#include "library/fft/lanes.h"

#include <cmath>
#include <numbers>

namespace Morvel::FFT {

void makeTables(int n, std::vector<int>& ip, AlignedDoubles& w) {
    int bits = 0;
    while ((1 << bits) < n) ++bits;
    ip.assign(static_cast<std::size_t>(n), 0);
    for (int k = 1; k < n; ++k) {
        // Reverse k by reusing k / 2, already reversed.
        ip[static_cast<std::size_t>(k)] = (ip[static_cast<std::size_t>(k >> 1)] >> 1) | ((k & 1) << (bits - 1));
    }

    // One table per radix-4 step of quarter length m (the untwiddled first step has none):
    // for every k below m, the cosine and sine of 2 pi r k / 4m for r = 1, 2, 3.
    std::size_t size = 0;
    const std::size_t first = bits % 2 != 0 ? 2 : 4;
    for (std::size_t m = first; m < static_cast<std::size_t>(n); m *= 4) size += 6 * m;
    w.assign(size, 0.0);
    double* t = w.data();
    for (std::size_t m = first; m < static_cast<std::size_t>(n); m *= 4) {
        const double step = 2.0 * std::numbers::pi / static_cast<double>(4 * m);
        for (std::size_t k = 0; k < m; ++k) {
            for (std::size_t r = 1; r <= 3; ++r) {
                const double angle = step * static_cast<double>(r * k);
                *t++ = std::cos(angle);
                *t++ = std::sin(angle);
            }
        }
    }
}

const LaneKernels& laneKernels() {
    static const LaneKernels& chosen = avx2Kernels() != nullptr ? *avx2Kernels() : genericKernels();
    return chosen;
}

}  // namespace Morvel::FFT
