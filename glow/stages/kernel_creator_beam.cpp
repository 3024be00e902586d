#include "glow/stages/kernel_creator_beam.h"

#include <algorithm>
#include <cmath>

namespace Glow {

namespace {

constexpr double kTwoPi = 6.283185307179586;

double beamGain(const GlowParameters& params, double nL) {
    if (!(nL > 0.0)) return 0.0;
    return (params.beamNormalizing ? 1.0 / nL : 1.0) * params.beamIntensity;
}

}  // namespace

std::vector<BeamDirection> createBeamDirections(int n, double phase) {
    std::vector<BeamDirection> directions(static_cast<std::size_t>(std::max(n, 0)));
    for (int i = 0; i < n; ++i) {
        const double angle = i * kTwoPi / n + phase;
        directions[static_cast<std::size_t>(i)] = {std::cos(angle), std::sin(angle)};
    }
    return directions;
}

double beamValue(const std::vector<BeamDirection>& directions, double dx, double dy, double dist, double L,
                 double (*fabs)(double)) {
    const double f = 1.0 - dist / L;
    if (!(f > 0.0)) return 0.0;
    double best = 0.0;
    for (const BeamDirection& direction : directions) {
        const double along = dx * direction.cos + dy * direction.sin;
        if (along < 0.0) continue;
        const double across = fabs(direction.sin * dx - direction.cos * dy);
        best = std::max(best, std::min(std::max(1.5 - across, 0.0), 1.0));
    }
    return f * best;
}

// ---- single kernel

KernelCreatorNormalBeam::KernelCreatorNormalBeam(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc,
                                                 int threadCount, GlowParameters* params)
    : KernelCreatorNormal(in_data, suites, bpc, threadCount, params),
      L(std::max(params->blurRadius * params->beamScaling, 1e-6)),
      nL(params->beamNumber * L),
      gain(beamGain(*params, nL)),
      directions(createBeamDirections(params->beamNumber, params->beamPhase)) {}

BlurRadius KernelCreatorNormalBeam::getBlurRadius() { return {L, false}; }

PF_Err KernelCreatorNormalBeam::initialize() {
    calculateDeltas(size, d, d2);
    return PF_Err_NONE;
}

PF_Err KernelCreatorNormalBeam::calculate(int, int firstRow, int endRow) {
    if (directions.empty()) return PF_Err_NONE;
    const UnaryMaths sqrt = hostSqrt(in_data);
    const UnaryMaths fabs = hostFabs(in_data);
    addSamples(firstRow, endRow,
               [&](int x, int y) { return beamValue(directions, d[x], d[y], sqrt(d2[x] + d2[y]), L, fabs) * gain; });
    return PF_Err_NONE;
}

// ---- three kernels

KernelCreatorChannelBeam::KernelCreatorChannelBeam(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc,
                                                   int threadCount, GlowParameters* params)
    : KernelCreatorChannel(in_data, suites, bpc, threadCount, params),
      directions(createBeamDirections(params->beamNumber, params->beamPhase)) {
    const double length = std::max(params->blurRadius * params->beamScaling, 1e-6);
    const double factors[3] = {params->color1Radius, params->color2Radius, params->color3Radius};
    for (int i = 0; i < 3; ++i) {
        L[i] = std::max(factors[i] * length, 1e-6);
        nL[i] = params->beamNumber * L[i];
        gain[i] = beamGain(*params, nL[i]);
    }
}

BlurRadius KernelCreatorChannelBeam::getBlurRadius() { return {std::max({0.0, L[0], L[1], L[2]}), false}; }

PF_Err KernelCreatorChannelBeam::initialize() {
    calculateDeltas(size, d, d2);
    return PF_Err_NONE;
}

PF_Err KernelCreatorChannelBeam::calculate(int, int firstRow, int endRow) {
    if (directions.empty()) return PF_Err_NONE;
    const UnaryMaths sqrt = hostSqrt(in_data);
    const UnaryMaths fabs = hostFabs(in_data);
    addColourSamples(firstRow, endRow, [&](int i, int x, int y) {
        return beamValue(directions, d[x], d[y], sqrt(d2[x] + d2[y]), L[i], fabs) * gain[i];
    });
    return PF_Err_NONE;
}

}  // namespace Glow
