#pragma once

#include <vector>

#include "glow/stages/diffusion_profile.h"
#include "glow/stages/kernel_creator.h"

namespace Glow {

// The soft, wide part of the glow. Always the first creator, so its bake divides exactly its own
// contribution: by its sampled sum, or by the ideal integral when the kernel area is smaller than
// the profile's reach.
class KernelCreatorNormalDiffusion : public KernelCreatorNormal {
public:
    KernelCreatorNormalDiffusion(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, int threadCount,
                                 GlowParameters* params);
    BlurRadius getBlurRadius() override;
    void beforeBake() override;
    PF_Err initialize() override;
    PF_Err calculate(int band, int firstRow, int endRow) override;
    PF_Err bake(int firstRow, int endRow) override;

private:
    DiffusionProfile profile;
    std::vector<double> partial;
    double divisor = 1.0;
    std::vector<double> d;
    std::vector<double> d2;
};

// Three profiles (Color 1..3 Radius times the blur radius), each spread into the three output
// kernels by its colour; output kernel j is normalised with profile j's reach.
class KernelCreatorChannelDiffusion : public KernelCreatorChannel {
public:
    KernelCreatorChannelDiffusion(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, int threadCount,
                                  GlowParameters* params);
    BlurRadius getBlurRadius() override;
    void beforeBake() override;
    PF_Err initialize() override;
    PF_Err calculate(int band, int firstRow, int endRow) override;
    PF_Err bake(int firstRow, int endRow) override;

private:
    DiffusionProfile profiles[3];
    std::vector<double> partialRed;
    std::vector<double> partialGreen;
    std::vector<double> partialBlue;
    double divisors[3] = {1.0, 1.0, 1.0};
    std::vector<double> d;
    std::vector<double> d2;
};

}  // namespace Glow
