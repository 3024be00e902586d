#include "diffusion/outputter.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "glow/stages/band_range.h"
#include "library/utility/ansi.h"
#include "library/utility/pixel.h"

namespace Diffusion {

namespace {

// trunc(v + 0.5) within 0..full, clamped before the conversion; NaN gives 0.
template <typename Channel>
Channel rounded(double v, double full) {
    const double x = v + 0.5;
    if (!(x > 0.0)) return 0;
    return static_cast<Channel>(x < full ? x : full);
}

// What a weighted colour's logarithm is multiplied by to land on the depth's scale.
template <typename Pixel>
constexpr double weightScale() {
    if constexpr (std::is_same_v<Pixel, PF_PixelFloat>) return 1.0 / 255.0;
    if constexpr (std::is_same_v<Pixel, PF_Pixel16>) return 32768.0 / 255.0;
    return 1.0;
}

}  // namespace

Outputter::Outputter(PF_InData* in_data, AEGP_SuiteHandler&, Morvel::Bpc bpc, OutputterParameters* params)
    : bpc(bpc),
      params(params),
      hostLog(Morvel::ansiCallback<double (*)(double)>(in_data, &PF_ANSICallbacks::log,
                                                       [](double x) { return std::log(x); })) {}

PF_Err Outputter::operator()(int i, int n) {
    const OutputterParameters& p = *params;
    const Glow::BandRange columns = Glow::bandRange(p.size - 2 * p.radius, i, n);
    const int firstX = p.radius + columns.first;
    const int endX = p.radius + columns.end;
    Morvel::withPixelType(bpc, [&](auto tag) { output<typename decltype(tag)::type>(firstX, endX); });
    return PF_Err_NONE;
}

template <typename Pixel>
void Outputter::output(int firstX, int endX) {
    const OutputterParameters& p = *params;
    using Channel = decltype(Pixel{}.alpha);
    constexpr bool isFloat = std::is_same_v<Pixel, PF_PixelFloat>;
    constexpr double full = Morvel::PixelTraits<Pixel>::full;
    const double logWeight = p.weighted ? hostLog(p.weightFactor) : 1.0;
    auto shifted = [half = p.half](int v) { return v < half ? v + half : v - half; };
    // The tile's part that lies inside D.
    const int firstY = std::max(p.radius, -p.tileY);
    const int endY = std::min(p.size - p.radius, p.height - p.tileY);
    firstX = std::max(firstX, -p.tileX);
    endX = std::min(endX, p.width - p.tileX);
    for (int x = firstX; x < endX; ++x) {
        const double* a = p.bufferA[shifted(x)];
        const double* b = p.bufferB[shifted(x)];
        for (int y = firstY; y < endY; ++y) {
            Pixel& out = Morvel::pixelRow<Pixel>(p.diffusion, p.tileY + y)[p.tileX + x];
            const int at = 2 * shifted(y);
            const double alpha = b[at + 1];
            const double m = alpha * p.scale;
            if (!(m > 1e-6)) {
                out = Pixel{};
                continue;
            }
            double colour[3] = {a[at] / alpha, a[at + 1] / alpha, b[at] / alpha};
            if (p.weighted) {
                // The weighted average is at least 1 but for round-off, which a log would blow up.
                for (double& c : colour) c = hostLog(std::max(c, 1.0)) / logWeight * weightScale<Pixel>();
            }
            if constexpr (isFloat) {
                out = PF_PixelFloat{static_cast<float>(std::clamp(m, 0.0, 1.0)), static_cast<float>(colour[0]),
                                    static_cast<float>(colour[1]), static_cast<float>(colour[2])};
            } else {
                out = Pixel{rounded<Channel>(m, full), rounded<Channel>(colour[0], full),
                            rounded<Channel>(colour[1], full), rounded<Channel>(colour[2], full)};
            }
        }
    }
}

}  // namespace Diffusion
