#include "glow/kernel_creator_diffusion.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "library/utility/ansi.h"

namespace Glow {

namespace {

using Unary = double (*)(double);
using Binary = double (*)(double, double);

Unary hostSqrt(PF_InData* in_data) {
    return Morvel::ansiCallback<Unary>(in_data, &PF_ANSICallbacks::sqrt, [](double x) { return std::sqrt(x); });
}
Binary hostPow(PF_InData* in_data) {
    return Morvel::ansiCallback<Binary>(in_data, &PF_ANSICallbacks::pow,
                                        [](double x, double y) { return std::pow(x, y); });
}

DiffusionProfile makeProfile(PF_InData* in_data, const GlowParameters& params, double r) {
    DiffusionProfile profile;
    profile.r = r;
    profile.k = getDiffusionCoeff(r, params.diffusionConvergence);
    profile.R = getSufficientBlurRadius(in_data, params.exposure, r, params.diffusionConvergence);
    if (params.diffusionQuality == 1) profile.R = std::min(profile.R, 2.0 * r);
    return profile;
}

// The sampled sum while the kernel area holds the whole profile, else the ideal integral; never
// 0 or below, since the bake divides by it.
double profileDivisor(const DiffusionProfile& profile, int size, const std::vector<double>& partial) {
    double divisor = static_cast<double>(size) >= profile.R
                         ? std::accumulate(partial.begin(), partial.end(), 0.0)
                         : calculateDiffusionIntegral(profile.k, profile.r);
    return divisor > 0.0 ? divisor : 1e-6;
}

}  // namespace

// ---- single kernel

KernelCreatorNormalDiffusion::KernelCreatorNormalDiffusion(PF_InData* in_data, AEGP_SuiteHandler& suites,
                                                           Morvel::Bpc bpc, int threadCount, GlowParameters* params)
    : KernelCreatorNormal(in_data, suites, bpc, threadCount, params),
      profile(makeProfile(in_data, *params, params->blurRadius)),
      partial(this->threadCount, 0.0) {}

BlurRadius KernelCreatorNormalDiffusion::getBlurRadius() { return {profile.R, false}; }

PF_Err KernelCreatorNormalDiffusion::initialize() {
    calculateDeltas(size, d, d2);
    return PF_Err_NONE;
}

PF_Err KernelCreatorNormalDiffusion::calculate(int band, int firstRow, int endRow) {
    const Unary sqrt = hostSqrt(in_data);
    const Binary pow = hostPow(in_data);
    double sum = 0.0;
    for (int x = firstRow; x < endRow; ++x) {
        double* row = rows[x];
        for (int y = 0; y < size; ++y) {
            const double value = profile.value(sqrt(d2[x] + d2[y]), pow);
            row[2 * y] += value;
            sum += value;
        }
    }
    partial[band] += sum;
    return PF_Err_NONE;
}

void KernelCreatorNormalDiffusion::beforeBake() { divisor = profileDivisor(profile, size, partial); }

PF_Err KernelCreatorNormalDiffusion::bake(int firstRow, int endRow) {
    divideKernelRows(rows, size, firstRow, endRow, divisor);
    return PF_Err_NONE;
}

// ---- three kernels

KernelCreatorChannelDiffusion::KernelCreatorChannelDiffusion(PF_InData* in_data, AEGP_SuiteHandler& suites,
                                                             Morvel::Bpc bpc, int threadCount,
                                                             GlowParameters* params)
    : KernelCreatorChannel(in_data, suites, bpc, threadCount, params),
      profiles{makeProfile(in_data, *params, params->color1Radius * params->blurRadius),
               makeProfile(in_data, *params, params->color2Radius * params->blurRadius),
               makeProfile(in_data, *params, params->color3Radius * params->blurRadius)},
      partialRed(this->threadCount, 0.0),
      partialGreen(this->threadCount, 0.0),
      partialBlue(this->threadCount, 0.0) {}

BlurRadius KernelCreatorChannelDiffusion::getBlurRadius() {
    return {std::max({0.0, profiles[0].R, profiles[1].R, profiles[2].R}), false};
}

PF_Err KernelCreatorChannelDiffusion::initialize() {
    calculateDeltas(size, d, d2);
    return PF_Err_NONE;
}

PF_Err KernelCreatorChannelDiffusion::calculate(int band, int firstRow, int endRow) {
    const Unary sqrt = hostSqrt(in_data);
    const Binary pow = hostPow(in_data);
    const Morvel::Color<float>* colors[3] = {&params->color1, &params->color2, &params->color3};
    double sumRed = 0.0;
    double sumGreen = 0.0;
    double sumBlue = 0.0;
    for (int i = 0; i < 3; ++i) {
        const DiffusionProfile& profile = profiles[i];
        const double redWeight = colors[i]->red;
        const double greenWeight = colors[i]->green;
        const double blueWeight = colors[i]->blue;
        for (int x = firstRow; x < endRow; ++x) {
            double* redRow = red[x];
            double* greenRow = green[x];
            double* blueRow = blue[x];
            for (int y = 0; y < size; ++y) {
                const double value = profile.value(sqrt(d2[x] + d2[y]), pow);
                redRow[2 * y] += redWeight * value;
                greenRow[2 * y] += greenWeight * value;
                blueRow[2 * y] += blueWeight * value;
                sumRed += redWeight * value;
                sumGreen += greenWeight * value;
                sumBlue += blueWeight * value;
            }
        }
    }
    partialRed[band] += sumRed;
    partialGreen[band] += sumGreen;
    partialBlue[band] += sumBlue;
    return PF_Err_NONE;
}

void KernelCreatorChannelDiffusion::beforeBake() {
    divisors[0] = profileDivisor(profiles[0], size, partialRed);
    divisors[1] = profileDivisor(profiles[1], size, partialGreen);
    divisors[2] = profileDivisor(profiles[2], size, partialBlue);
}

PF_Err KernelCreatorChannelDiffusion::bake(int firstRow, int endRow) {
    divideKernelRows(red, size, firstRow, endRow, divisors[0]);
    divideKernelRows(green, size, firstRow, endRow, divisors[1]);
    divideKernelRows(blue, size, firstRow, endRow, divisors[2]);
    return PF_Err_NONE;
}

}  // namespace Glow
