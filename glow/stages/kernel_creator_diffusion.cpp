#include "glow/stages/kernel_creator_diffusion.h"

#include <algorithm>

namespace Glow {

namespace {

DiffusionProfile makeProfile(PF_InData* in_data, const GlowParameters& params, double r) {
    DiffusionProfile profile;
    profile.r = r;
    profile.k = getDiffusionCoeff(r, params.diffusionConvergence);
    profile.R = getSufficientBlurRadius(in_data, params.exposure, r, params.diffusionConvergence);
    if (params.diffusionQuality == DiffusionQualityItem::Low) profile.R = std::min(profile.R, 2.0 * r);
    return profile;
}

// The sampled sum while the kernel area holds the whole profile, else the ideal integral; never
// 0 or below, since the bake divides by it.
double profileDivisor(const DiffusionProfile& profile, int size, const std::vector<double>& partial) {
    double divisor = static_cast<double>(size) >= profile.R ? sumOfPartials(partial)
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
    const UnaryMaths sqrt = hostSqrt(in_data);
    const BinaryMaths pow = hostPow(in_data);
    partial[band] +=
        addSamples(firstRow, endRow, [&](int x, int y) { return profile.value(sqrt(d2[x] + d2[y]), pow); });
    return PF_Err_NONE;
}

void KernelCreatorNormalDiffusion::beforeBake() { divisor = profileDivisor(profile, size, partial); }

PF_Err KernelCreatorNormalDiffusion::bake(int firstRow, int endRow) {
    divideKernelRows(rows, size, firstRow, endRow, divisor);
    return PF_Err_NONE;
}

// ---- three kernels

KernelCreatorChannelDiffusion::KernelCreatorChannelDiffusion(PF_InData* in_data, AEGP_SuiteHandler& suites,
                                                             Morvel::Bpc bpc, int threadCount, GlowParameters* params)
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
    const UnaryMaths sqrt = hostSqrt(in_data);
    const BinaryMaths pow = hostPow(in_data);
    const std::array<double, 3> sums = addColourSamples(
        firstRow, endRow, [&](int i, int x, int y) { return profiles[i].value(sqrt(d2[x] + d2[y]), pow); });
    partialRed[band] += sums[0];
    partialGreen[band] += sums[1];
    partialBlue[band] += sums[2];
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
