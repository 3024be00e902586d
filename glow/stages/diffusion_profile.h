#pragma once

#include "morvel_host/host.h"

namespace Glow {

// The diffusion coefficient k of blur radius r and convergence c (10 - "Diffusion Convergence"):
// (63.5 - 6c) / r, or 1 for a radius below 1e-6.
double getDiffusionCoeff(double r, double c);

// The integral of (k d + 0.5)^-2 over the disc of radius r.
double calculateDiffusionIntegral(double k, double r);

// The radius where the profile has fallen to its value at r divided by the exposure factor;
// never below r. Powers through the host's helpers.
double getSufficientBlurRadius(PF_InData* in_data, double exposure, double r, double c);

// 1.37035095691681 raised to the exposure: the exposure's brightness factor.
double exposureFactor(double exposure);

// One radial profile: flat (clamped to 1) near the centre, (k d + 0.5)^-2 out to r, then faded
// linearly to 0 at R.
struct DiffusionProfile {
    double k = 1.0;
    double r = 0.0;
    double R = 0.0;

    // d is the distance from the centre; pow is the host's.
    double value(double d, double (*pow)(double, double)) const {
        if (d > R) return 0.0;
        const double w = pow(k * d + 0.5, -2.0);
        const double clamped = w >= 0.0 ? (w < 1.0 ? w : 1.0) : 0.0;  // a non-number gives 0
        if (d <= r) return clamped;
        return clamped * (1.0 + (r - d) / (R - r));
    }
};

}  // namespace Glow
