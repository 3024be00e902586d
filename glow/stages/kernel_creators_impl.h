#pragma once

#include <algorithm>
#include <cmath>

#include "library/filter/iterate.h"
#include "library/utility/ansi.h"

namespace Glow {

template <typename Creator, typename... Rows>
PF_Err runKernelCreator(PF_InData* in_data, AEGP_SuiteHandler& suites, Creator& creator, PF_Err err, int size,
                        Rows... rows) {
    if (err == PF_Err_NONE) err = creator.init(size, rows...);
    if (err == PF_Err_NONE) err = Morvel::iterateGeneric(in_data, suites, creator, creator.threads());
    creator.beforeBake();
    creator.setPhase(kBake);
    if (err == PF_Err_NONE) err = Morvel::iterateGeneric(in_data, suites, creator, creator.threads());
    return err;
}

// Kernel radii far beyond any image are cut here, so that the rounding to int stays defined;
// the tile size stops growing long before.
constexpr double kLargestKernelRadius = 1 << 28;

template <typename Creator>
int kernelRadius(PF_InData* in_data, const std::vector<std::unique_ptr<Creator>>& creators) {
    double limit = imageLimit(in_data);
    double maxR = 0.0;
    for (const auto& creator : creators) {
        const BlurRadius reach = creator->getBlurRadius();
        if (reach.mayExceedImage && reach.radius >= limit) limit = reach.radius;
        if (reach.radius >= maxR) maxR = reach.radius;
    }
    const auto ceil = Morvel::ansiCallback<double (*)(double)>(in_data, &PF_ANSICallbacks::ceil,
                                                               [](double x) { return std::ceil(x); });
    const double R = ceil(std::min(maxR, limit));
    return R > 0.0 ? static_cast<int>(std::min(R, kLargestKernelRadius)) : 0;
}

}  // namespace Glow
