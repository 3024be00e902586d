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

// Bit-reversal permutation and twiddle factors for size n (a power of two).
void makeTables(int n, std::vector<int>& ip, AlignedDoubles& w);

// One implementation of the lane operations; several are compiled for different instruction sets.
// `sources`/`targets` hold kLanes row pointers (null: the lane is zero / is dropped); `columns` is
// the number of complex columns (1 to kLanes) starting at double offset `offset` of every row.
struct LaneKernels {
    void (*gatherRows)(double* work, const double* const* sources, int n, const int* ip);
    void (*scatterRows)(const double* work, double* const* targets, int n);
    void (*gatherColumns)(double* work, double* const* rows, std::ptrdiff_t offset, int columns, int n,
                          const int* ip);
    void (*scatterColumns)(const double* work, double* const* rows, std::ptrdiff_t offset, int columns, int n);
    // Transforms the gathered lanes in place; sign >= 0 means exp(+2 pi i jk / n).
    void (*transform)(double* work, int n, int sign, const double* w);
};

const LaneKernels& genericKernels();
// Null when this build or this processor has no AVX2.
const LaneKernels* avx2Kernels();
// The fastest set this processor runs.
const LaneKernels& laneKernels();

}  // namespace Morvel::FFT
