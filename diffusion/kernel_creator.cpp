#include "diffusion/kernel_creator.h"

#include <cmath>

#include "glow/stages/diffusion_profile.h"
#include "library/utility/ansi.h"

namespace Diffusion {

namespace {

double clampUnit(double v) {
    if (!(v > 0.0)) return 0.0;
    return v < 1.0 ? v : 1.0;
}

}  // namespace

KernelCreator::KernelCreator(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, int threadCount,
                             const KernelRecord* record)
    : KernelCreatorNormal(in_data, suites, bpc, threadCount, nullptr),
      record(record),
      k(Glow::getDiffusionCoeff(record->R, record->c)),
      extent(record->R + 0.5),
      partial(size_t(this->threadCount), 0.0),
      hostSqrt(Morvel::ansiCallback<double (*)(double)>(in_data, &PF_ANSICallbacks::sqrt,
                                                        [](double x) { return std::sqrt(x); })),
      hostPow(Morvel::ansiCallback<double (*)(double, double)>(in_data, &PF_ANSICallbacks::pow,
                                                               [](double x, double y) { return std::pow(x, y); })) {}

Glow::BlurRadius KernelCreator::getBlurRadius() { return {record->R, false}; }

PF_Err KernelCreator::initialize() {
    Glow::calculateDeltas(size, d, d2);
    return PF_Err_NONE;
}

PF_Err KernelCreator::calculate(int band, int firstRow, int endRow) {
    const double R = record->R;
    partial[size_t(band)] += addSamples(firstRow, endRow, [&](int i, int j) {
        const double distance = hostSqrt(d2[size_t(j)] + d2[size_t(i)]);
        if (distance >= R + 0.5) return 0.0;
        const double edge = distance <= R - 0.5 ? 1.0 : clampUnit(-2.0 * (distance - R - 0.5));
        return edge * clampUnit(hostPow(k * distance + 0.5, -2.0));
    });
    return PF_Err_NONE;
}

void KernelCreator::beforeBake() {
    double total = 0.0;
    if (extent > size) {
        total = Glow::calculateDiffusionIntegral(k, record->R);
    } else {
        for (double p : partial) total += p;
    }
    normaliser_ = total > 0.0 ? total : 1e-6;
}

PF_Err KernelCreator::bake(int firstRow, int endRow) {
    for (int i = firstRow; i < endRow; ++i) {
        double* row = rows[i];
        for (int j = 0; j < size; ++j) row[2 * j] /= normaliser_;
    }
    return PF_Err_NONE;
}

}  // namespace Diffusion
