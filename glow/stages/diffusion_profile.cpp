#include "glow/stages/diffusion_profile.h"

#include <cmath>

#include "library/utility/ansi.h"

namespace Glow {

namespace {
constexpr double kExposureBase = 1.37035095691681;
constexpr double kLn2 = 0.6931471805599453;
constexpr double kTwoPi = 6.283185307179586;
}  // namespace

double getDiffusionCoeff(double r, double c) { return r >= 1e-6 ? (63.5 - 6.0 * c) / r : 1.0; }

double calculateDiffusionIntegral(double k, double r) {
    return kTwoPi * ((std::log(k * r + 0.5) + kLn2) / (k * k) - r / (k * (k * r + 0.5)));
}

double exposureFactor(double exposure) { return std::pow(kExposureBase, exposure); }

double getSufficientBlurRadius(PF_InData* in_data, double exposure, double r, double c) {
    using Binary = double (*)(double, double);
    const Binary pow = Morvel::ansiCallback<Binary>(in_data, &PF_ANSICallbacks::pow,
                                                    [](double x, double y) { return std::pow(x, y); });
    const double e = exposureFactor(exposure);
    const double k = getDiffusionCoeff(r, c);
    const double v = pow(k * r + 0.5, -2.0) / e;
    const double R = (pow(v, -0.5) - 0.5) / k;
    return R > r ? R : r;
}

}  // namespace Glow
