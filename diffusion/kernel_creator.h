#pragma once

#include <vector>

#include "glow/stages/kernel_creator.h"

namespace Diffusion {

// What the diffusion's kernel is made from.
struct KernelRecord {
    double R = 0.0;  // "Blur Radius" × the horizontal downsample, pixels
    double c = 0.0;  // "Blur Softness" − 10
};

// The diffusion's kernel: the glow's diffusion profile (k d + 0.5)^−2 over a disc of radius R
// with a half-pixel edge, divided by its sum (or, for a disc past the FFT size, by its integral).
class KernelCreator : public Glow::KernelCreatorNormal {
public:
    KernelCreator(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, int threadCount,
                  const KernelRecord* record);

    Glow::BlurRadius getBlurRadius() override;
    void beforeBake() override;
    PF_Err initialize() override;
    PF_Err calculate(int band, int firstRow, int endRow) override;
    PF_Err bake(int firstRow, int endRow) override;

    double coefficient() const { return k; }
    double normaliser() const { return normaliser_; }

private:
    const KernelRecord* record;
    double k;
    // Where the edge ramp reaches zero; a disc reaching past the FFT size is normalised by the
    // closed-form integral instead of its samples.
    double extent;
    std::vector<double> partial;  // one sum per band
    double normaliser_ = 1.0;
    std::vector<double> d;
    std::vector<double> d2;
    double (*hostSqrt)(double);
    double (*hostPow)(double, double);
};

}  // namespace Diffusion
