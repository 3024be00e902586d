#include "library/fft/lanes.h"

#if defined(__x86_64__) || defined(__i386__)
#define MORVEL_FFT_AVX2 1
#endif

#if MORVEL_FFT_AVX2
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "library/fft/lanes_impl.h"

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif

namespace Morvel::FFT {

const LaneKernels* avx2Kernels() {
#if MORVEL_FFT_AVX2
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported ? &kLaneKernels : nullptr;
#else
    return nullptr;
#endif
}

}  // namespace Morvel::FFT
