#pragma once

#include <vector>

#include "glow/stages/kernel_creator.h"

namespace Glow {

// One ray's direction: cosine and sine of its angle.
struct BeamDirection {
    double cos = 1.0;
    double sin = 0.0;
};

// n rays at equal angles from the phase on; none for n = 0.
std::vector<BeamDirection> createBeamDirections(int n, double phase);

// The rays at kernel offset (dx, dy) at distance dist from the centre, for rays of length L:
// fully on within 0.5 pixel of a ray's axis, off at 1.5, fading to nothing at L. fabs is the
// host's.
double beamValue(const std::vector<BeamDirection>& directions, double dx, double dy, double dist, double L,
                 double (*fabs)(double));

// Streaks added at their final strength in the calculate pass; the divisor normalises them
// with the rest of the kernel.
class KernelCreatorNormalBeam : public KernelCreatorNormal {
public:
    KernelCreatorNormalBeam(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, int threadCount,
                            GlowParameters* params);
    BlurRadius getBlurRadius() override;
    PF_Err initialize() override;
    PF_Err calculate(int band, int firstRow, int endRow) override;

private:
    double L;
    double nL;
    double gain;
    std::vector<BeamDirection> directions;
    std::vector<double> d;
    std::vector<double> d2;
};

// One length per colour (Color i Radius times the beam length), spread into the three output
// kernels by the colours.
class KernelCreatorChannelBeam : public KernelCreatorChannel {
public:
    KernelCreatorChannelBeam(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, int threadCount,
                             GlowParameters* params);
    BlurRadius getBlurRadius() override;
    PF_Err initialize() override;
    PF_Err calculate(int band, int firstRow, int endRow) override;

private:
    double L[3];
    double nL[3];
    double gain[3];
    std::vector<BeamDirection> directions;
    std::vector<double> d;
    std::vector<double> d2;
};

}  // namespace Glow
