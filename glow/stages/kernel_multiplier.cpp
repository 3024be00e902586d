#include "glow/stages/kernel_multiplier.h"

#include "glow/stages/band_range.h"

namespace Glow {

namespace {

// Rows [first, end) of each buffer times the kernel's rows, as complex numbers.
void multiplyRows(double* const* kernel, double* const* buffer, int size, int first, int end) {
    for (int x = first; x < end; ++x) {
        const double* __restrict k = kernel[x];
        double* __restrict v = buffer[x];
        for (int y = 0; y < 2 * size; y += 2) {
            const double re = v[y];
            const double im = v[y + 1];
            v[y] = re * k[y] - im * k[y + 1];
            v[y + 1] = re * k[y + 1] + im * k[y];
        }
    }
}

}  // namespace

KernelMultiplierNormal::KernelMultiplierNormal(PF_InData* in_data, AEGP_SuiteHandler& suites,
                                               KernelMultiplierNormalParameters* params)
    : in_data(in_data), suites(suites), params(params) {}

PF_Err KernelMultiplierNormal::operator()(int i, int n) {
    const KernelMultiplierNormalParameters& p = *params;
    const auto [first, end] = bandRange(p.size, i, n);
    multiplyRows(p.kernel, p.bufferA, p.size, first, end);
    multiplyRows(p.kernel, p.bufferB, p.size, first, end);
    return PF_Err_NONE;
}

KernelMultiplierChannel::KernelMultiplierChannel(PF_InData* in_data, AEGP_SuiteHandler& suites,
                                                 KernelMultiplierChannelParameters* params)
    : in_data(in_data), suites(suites), params(params) {}

PF_Err KernelMultiplierChannel::operator()(int i, int n) {
    const KernelMultiplierChannelParameters& p = *params;
    const auto [first, end] = bandRange(p.size, i, n);
    multiplyRows(p.redKernel, p.red, p.size, first, end);
    multiplyRows(p.greenKernel, p.green, p.size, first, end);
    multiplyRows(p.blueKernel, p.blue, p.size, first, end);
    return PF_Err_NONE;
}

}  // namespace Glow
