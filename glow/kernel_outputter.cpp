#include "glow/kernel_outputter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <type_traits>

#include "glow/stages/band_range.h"
#include "glow/stages/diffusion_profile.h"
#include "glow/stages/preprocessor.h"
#include "library/parameter/fixed_point.h"
#include "library/utility/ansi.h"
#include "library/utility/pixel.h"

namespace Glow {

namespace {

// Full scale of each depth; float pixels keep their colours unclamped and treat alpha apart.
template <typename Pixel>
struct Depth;
template <>
struct Depth<PF_Pixel> {
    static constexpr double kFull = 255.0;
    static constexpr double kAlphaFloor = 1e-6;
};
template <>
struct Depth<PF_Pixel16> {
    static constexpr double kFull = 32768.0;
    static constexpr double kAlphaFloor = 1e-6;
};
template <>
struct Depth<PF_PixelFloat> {
    static constexpr double kFull = 1.0;
    static constexpr double kAlphaFloor = 1e-9;
};

template <typename Pixel>
constexpr bool kIsFloat = std::is_same_v<Pixel, PF_PixelFloat>;

// Rounded to the nearest step of an integer depth and clamped to [0, full]; a non-number gives 0.
template <typename Channel>
Channel storeInteger(double value, double full) {
    const double v = value + 0.5;
    if (!(v >= 0.0)) return 0;
    if (v > full) return static_cast<Channel>(full);
    return static_cast<Channel>(v);
}

template <typename Pixel>
Pixel* pixelAt(PF_LayerDef* world, int X, int Y) {
    char* row = static_cast<char*>(world->data) + static_cast<std::ptrdiff_t>(Y) * world->rowbytes;
    return reinterpret_cast<Pixel*>(row) + X;
}

// The part of [R, size - R) whose image index (origin + i) lies inside [0, extent).
BandRange clipToImage(BandRange range, int origin, int extent) {
    return {std::max(range.first, -origin), std::min(range.end, extent - origin)};
}

// Where the transform left sample i: the kernel's centre sits at (half, half).
int shifted(int i, int half) { return i < half ? i + half : i - half; }

}  // namespace

GlowFinish::GlowFinish(PF_InData* in_data, double black, double white, double gamma, double alphaBlack,
                       double alphaWhite, bool unmult)
    : doColor(doColorLevels(black, white, gamma)),
      doAlpha(doAlphaLevels(alphaBlack, alphaWhite)),
      unmult(unmult),
      pow(Morvel::ansiCallback<double (*)(double, double)>(in_data, &PF_ANSICallbacks::pow,
                                                           [](double x, double y) { return std::pow(x, y); })) {
    if (doColor) {
        colorSlope = 1.0 / (white - black);
        colorOffset = -black / (white - black);
        inverseGamma = 1.0 / gamma;
    }
    if (doAlpha) {
        alphaSlope = 1.0 / (alphaWhite - alphaBlack);
        alphaOffset = -alphaBlack / (alphaWhite - alphaBlack);
    }
}

template <typename Pixel>
void GlowFinish::finish(double red, double green, double blue, double alpha, Pixel& out) const {
    constexpr double U = Depth<Pixel>::kFull;
    // Bright colour overflows into alpha, keeping the premultiplied colour.
    const double brightest = std::max({red, green, blue});
    if (brightest > U) {
        const double grown = std::min(brightest * alpha / U, U);
        const double keep = alpha / grown;
        red *= keep;
        green *= keep;
        blue *= keep;
        alpha = grown;
    }
    if (doAlpha) {
        if (alpha < Depth<Pixel>::kAlphaFloor) red = green = blue = 0.0;
        alpha = ((alpha / U) * alphaSlope + alphaOffset) * U;
    }
    if (doColor) {
        auto level = [this](double c) {
            double x = (c / U) * colorSlope + colorOffset;
            if constexpr (!kIsFloat<Pixel>) x = std::min(std::max(x, 0.0), 1.0);
            return floatColorLevel(x, inverseGamma, pow) * U;
        };
        red = level(red);
        green = level(green);
        blue = level(blue);
    }
    if (unmult) {
        const double m = std::max({red, green, blue});
        if (m > 0.0) {
            const double k = U / m;
            alpha /= k;
            red *= k;
            green *= k;
            blue *= k;
        }
    }
    if constexpr (kIsFloat<Pixel>) {
        out.alpha = alpha >= 0.0 ? static_cast<float>(std::min(alpha, 1.0)) : 0.0f;
        // Exposure can carry colour that lies within the float range past it.
        out.red = Morvel::Plugin::saturatingToFloat(red);
        out.green = Morvel::Plugin::saturatingToFloat(green);
        out.blue = Morvel::Plugin::saturatingToFloat(blue);
    } else {
        using Channel = decltype(out.alpha);
        out.alpha = storeInteger<Channel>(alpha, U);
        out.red = storeInteger<Channel>(red, U);
        out.green = storeInteger<Channel>(green, U);
        out.blue = storeInteger<Channel>(blue, U);
    }
}

// ---- shared

template <typename Outputter>
KernelOutputterBase<Outputter>::KernelOutputterBase(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc,
                                                    PF_LayerDef* glowWorld, const KernelOutputterParameters& params)
    : in_data(in_data),
      suites(suites),
      bpc(bpc),
      glowWorld(glowWorld),
      tile(params),
      size(params.size),
      half(params.size / 2),
      scale(1.0 / (static_cast<double>(params.size) * params.size)),
      radius(params.radius),
      e(exposureFactor(params.exposure)),
      width(glowWorld->width),
      height(glowWorld->height),
      levels(in_data, params.black, params.white, params.gamma, params.alphaBlack, params.alphaWhite, params.unmult) {}

template <typename Outputter>
PF_Err KernelOutputterBase<Outputter>::operator()(int i, int n) {
    const BandRange band = bandRange(size - 2 * radius, i, n);
    const int firstRow = radius + band.first;
    const int endRow = radius + band.end;
    Morvel::withPixelType(bpc, [&](auto tag) {
        static_cast<Outputter*>(this)->template output<typename decltype(tag)::type>(firstRow, endRow);
    });
    return PF_Err_NONE;
}

template <typename Outputter>
template <typename Pixel, typename Write>
void KernelOutputterBase<Outputter>::forEachWrittenPixel(int firstRow, int endRow, Write write) const {
    // Locals, since 8-bit pixel stores may alias any member.
    PF_LayerDef* const world = glowWorld;
    const int tileX = tile.tileX;
    const int tileY = tile.tileY;
    const int centre = half;
    const BandRange rows = clipToImage({firstRow, endRow}, tileX, width);
    const BandRange columns = clipToImage({radius, size - radius}, tileY, height);
    for (int x = rows.first; x < rows.end; ++x) {
        const int bx = shifted(x, centre);
        for (int y = columns.first; y < columns.end; ++y) {
            write(bx, 2 * shifted(y, centre), *pixelAt<Pixel>(world, tileX + x, tileY + y));
        }
    }
}

// ---- one colour

KernelOutputterNormal::KernelOutputterNormal(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc,
                                             PF_LayerDef* glowWorld, KernelOutputterNormalParameters* params)
    : KernelOutputterBase(in_data, suites, bpc, glowWorld, *params),
      params(params),
      factor(scale * e * params->kernelTotal) {}

template <typename Pixel>
void KernelOutputterNormal::output(int firstRow, int endRow) {
    double* const* bufferA = params->bufferA;
    double* const* bufferB = params->bufferB;
    forEachWrittenPixel<Pixel>(firstRow, endRow, [&](int row, int at, Pixel& out) {
        const double* A = bufferA[row];
        const double* B = bufferB[row];
        const double alpha = B[at + 1] * scale;
        if (!(alpha > 1e-6)) {
            out = Pixel{};
            return;
        }
        const double f = factor / alpha;
        levels.finish(A[at] * f, A[at + 1] * f, B[at] * f, alpha, out);
    });
}

// ---- three channels

KernelOutputterChannel::KernelOutputterChannel(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc,
                                               PF_LayerDef* glowWorld, KernelOutputterChannelParameters* params)
    : KernelOutputterBase(in_data, suites, bpc, glowWorld, *params),
      params(params),
      factorRed(e * params->totalRed),
      factorGreen(e * params->totalGreen),
      factorBlue(e * params->totalBlue) {}

template <typename Pixel>
void KernelOutputterChannel::output(int firstRow, int endRow) {
    double* const* red = params->red;
    double* const* green = params->green;
    double* const* blue = params->blue;
    forEachWrittenPixel<Pixel>(firstRow, endRow, [&](int row, int at, Pixel& out) {
        const double* r = red[row];
        const double* g = green[row];
        const double* b = blue[row];
        // FFT noise leaves tiny alphas where nothing glows; they pass this test and stay.
        const double alphaRaw = std::max({r[at + 1], g[at + 1], b[at + 1]});
        if (alphaRaw <= 0.0) {
            out = Pixel{};
            return;
        }
        levels.finish(factorRed * r[at] / alphaRaw, factorGreen * g[at] / alphaRaw, factorBlue * b[at] / alphaRaw,
                      alphaRaw * scale, out);
    });
}

template class KernelOutputterBase<KernelOutputterNormal>;
template class KernelOutputterBase<KernelOutputterChannel>;

}  // namespace Glow
