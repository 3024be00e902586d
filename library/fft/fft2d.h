#pragma once

#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "library/fft/lanes.h"
#include "morvel_host/host.h"

namespace Morvel::FFT {

// In-place two-dimensional FFT of a square complex image given as n row pointers, each to n
// (real, imaginary) pairs. Rows, then columns, spread over the host's worker threads.
// Sign >= 0 transforms with exp(+2 pi i jk / n), a negative sign with exp(-2 pi i jk / n); the
// result is in natural order and not scaled.
class FFT2D {
public:
    // threads below 2 runs inline; otherwise the largest power of two not above it is used, so
    // that the columns split evenly. n as for init, whose error it throws.
    FFT2D(PF_InData* in_data, AEGP_SuiteHandler& suites, int threads, int n);

    // Sizes the object for n x n images. 0 changes nothing (the size is to come). Any other size
    // that is not a power of two is refused with PF_Err_BAD_CALLBACK_PARAM and leaves the object
    // uninitialised, so a later fft touches nothing. Memory that cannot be had throws
    // std::bad_alloc.
    PF_Err init(int n);

    // Allocates nothing. Returns the first error of the host's iteration; does nothing without
    // a valid init.
    PF_Err fft(int sign, double** rows);
    // The same for count images at once: one host iteration for all their rows, one for all their
    // columns. Each image comes out bitwise as fft(sign, rows) leaves it.
    PF_Err fft(int sign, double** const* images, int count);
    // Only the column pass of fft(sign, images, count).
    PF_Err transformColumns(int sign, double** const* images, int count);

    // For callers that run the passes in their own bands, next to work of their own: the rows, or
    // the columns, [first, end) of each of count images (clipped to the size). `band` is the
    // caller's band number; bands with different numbers may run at the same time. Each band
    // keeps its own work room from its first call on (std::bad_alloc when there is none to be
    // had). A row or column comes out bitwise as the whole transform's pass leaves it. Nothing
    // happens without a valid init.
    void transformRowRange(int sign, double** const* images, int count, int first, int end, int band);
    void transformColumnRange(int sign, double** const* images, int count, int first, int end, int band);

    bool initialised() const { return initialised_; }
    int size() const { return n_; }
    int threads() const { return threads_; }

private:
    double* bandWork(int band, AlignedDoubles& spare);

    bool initialised_ = false;
    AEGP_SuiteHandler* suites_;
    int n_ = 0;
    int threads_ = 1;
    AlignedDoubles work_;  // room for a few gathered column groups of n points for each thread
    std::vector<int> ip_;  // bit-reversal permutation
    AlignedDoubles w_;     // twiddle factors
    // The work room of the callers' own bands, made by each band when it first needs it.
    std::vector<AlignedDoubles> bandWork_;
};

}  // namespace Morvel::FFT
