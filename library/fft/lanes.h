#pragma once

// The one-dimensional transform behind FFT2D. It always works on four sequences of one size at
// once, held in a caller's buffer as n points of eight doubles: the four real parts, then the four
// imaginary parts. Rows and columns are copied in and out of that layout, and the copy-in puts
// the points in bit-reversed order, so the transform itself runs in place and ends in natural
// order. Lanes that carry no data are zero and cost nothing extra worth avoiding, and because
// every lane goes through the same arithmetic, a sequence gives bitwise the same result in any
// lane and next to any other sequences.

#include <cstddef>
#include <vector>

#include "library/fft/aligned.h"

namespace Morvel::FFT {

constexpr int kLanes = 4;
constexpr int kPointDoubles = 2 * kLanes;

// Doubles between consecutive work slices of n points: one point more than they hold, so that
// the same point of neighbouring slices never falls in the same cache set.
inline std::ptrdiff_t sliceDoubles(int n) { return static_cast<std::ptrdiff_t>(kPointDoubles) * (n + 1); }

// The smallest n for the fused column kernels.
constexpr int kFusedMinimum = 16;

// Bit-reversal permutation and twiddle factors for size n (a power of two).
void makeTables(int n, std::vector<int>& ip, AlignedDoubles& w);
// Where the twiddles of the last step (quarter n / 4) start in w, for n of at least 8.
inline const double* lastStepTwiddles(const AlignedDoubles& w, int n) {
    return w.data() + w.size() - 6 * static_cast<std::size_t>(n / 4);
}

// One implementation of the lane operations; several are compiled for different instruction sets.
// `sources`/`targets` hold kLanes row pointers (null: the lane is zero / is dropped); `columns` is
// the number of complex columns (1 to kLanes) starting at double offset `offset` of every row.
struct LaneKernels {
    void (*gatherRows)(double* work, const double* const* sources, int n, const int* ip);
    void (*scatterRows)(const double* work, double* const* targets, int n);
    // The same for four rows with the first and last steps fused in (see gatherColumnGroupsFirst).
    void (*gatherRowsFirst)(double* work, const double* const* sources, int n, int sign, const int* ip);
    void (*scatterRowsLast)(const double* work, double* const* targets, int n, int sign, const double* last);
    void (*gatherColumns)(double* work, double* const* rows, std::ptrdiff_t offset, int columns, int n, const int* ip);
    void (*scatterColumns)(const double* work, double* const* rows, std::ptrdiff_t offset, int columns, int n);
    // `groups` groups of kLanes complex columns, at double offsets offset, offset + step, ... of
    // every row, to and from consecutive work slices (sliceDoubles(n) apart).
    void (*gatherColumnGroups)(double* work, double* const* rows, std::ptrdiff_t offset, std::ptrdiff_t step,
                               int groups, int n, const int* ip);
    void (*scatterColumnGroups)(const double* work, double* const* rows, std::ptrdiff_t offset, std::ptrdiff_t step,
                                int groups, int n);
    // The same with the transform's first step done on the way in and its last step on the way
    // out, for n of at least 16; transformMiddle does the steps between. `last` is the last
    // step's twiddles (lastStepTwiddles).
    void (*gatherColumnGroupsFirst)(double* work, double* const* rows, std::ptrdiff_t offset, std::ptrdiff_t step,
                                    int groups, int n, int sign, const int* ip);
    void (*scatterColumnGroupsLast)(const double* work, double* const* rows, std::ptrdiff_t offset, std::ptrdiff_t step,
                                    int groups, int n, int sign, const double* last);
    // Transforms the gathered lanes in place; sign >= 0 means exp(+2 pi i jk / n).
    void (*transform)(double* work, int n, int sign, const double* w);
    void (*transformMiddle)(double* work, int n, int sign, const double* w);
};

const LaneKernels& genericKernels();
// Null when this build or this processor has no AVX2.
const LaneKernels* avx2Kernels();
// The fastest set this processor runs.
const LaneKernels& laneKernels();

}  // namespace Morvel::FFT
