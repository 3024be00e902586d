#include "tiltshift/focus_sampler.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "library/sampling/sub_pixel.h"
#include "library/utility/ansi.h"
#include "library/utility/pixel.h"
#include "tiltshift/compositor.h"
#include "tiltshift/weighting.h"

namespace TiltShift {

namespace {

// Amounts stop here (Power mode has no cap of its own): the radius it gives already covers any
// line. NaN (0 × ∞ at a zero half diagonal, 0/0 at a zero focus distance) means no blur.
constexpr double kMaxAmount = 1099511627776.0;  // 2^40

double boundedAmount(double t) { return t > 0.0 ? std::min(t, kMaxAmount) : 0.0; }

double standardHypot(double x, double y) { return std::hypot(x, y); }
double standardPow(double x, double y) { return std::pow(x, y); }
double standardFabs(double x) { return std::fabs(x); }

PF_Fixed toHostFixed(int64_t v) {
    return PF_Fixed(std::clamp<int64_t>(v, std::numeric_limits<PF_Fixed>::min(), std::numeric_limits<PF_Fixed>::max()));
}

struct Radial {
    double cos, sin, ratio, innerWidth, halfDiagonal, power;
    double (*hypot)(double, double);
    double (*pow)(double, double);

    double amount(double dx, double dy) const {
        const double along = dx * cos + dy * sin;
        const double across = (dx * sin - dy * cos) / ratio;
        const double e = hypot(along, across) - innerWidth;
        return e > 0.0 ? pow(e / halfDiagonal, power) : 0.0;
    }
    // Towards the centre.
    void toward(double dx, double dy, double& ux, double& uy) const {
        const double length = std::sqrt(dx * dx + dy * dy);
        ux = -dx;
        uy = -dy;
        if (length > 2.220446049250313e-16) {
            ux /= length;
            uy /= length;
        }
    }
};

struct LinearBase {
    double nx, ny, innerWidth;

    double distance(double dx, double dy) const { return dx * nx + dy * ny; }
    // Across the line, towards it.
    void toward(double dx, double dy, double& ux, double& uy) const {
        const bool nearSide = distance(dx, dy) <= 0.0;
        ux = nearSide ? nx : -nx;
        uy = nearSide ? ny : -ny;
    }
};

struct LinearPower : LinearBase {
    double halfDiagonal, power;
    double (*fabs)(double);
    double (*pow)(double, double);

    double amount(double dx, double dy) const {
        const double e = fabs(distance(dx, dy)) - innerWidth;
        return e > 0.0 ? pow(e / halfDiagonal, power) : 0.0;
    }
};

struct LinearFocusDistance : LinearBase {
    double focusDistance, cap;

    double amount(double dx, double dy) const {
        const double s = distance(dx, dy);
        const double f = focusDistance;
        double t = 0.0;
        if (s <= 0.0) {
            const double u = -s - innerWidth;
            if (u >= 0.0) t = u / (u + f);
        } else {
            const double u = s - innerWidth;
            if (u >= 0.0) t = f - u >= 1.0 ? u / (f - u) : u;
        }
        return std::min(t, cap);
    }
};

template <typename Pixel>
struct BandContext {
    const PF_InData* in_data;
    const PF_LayerDef* input;
    Weigher weigh;
    double centerX, centerY;
    bool chromaticAberrationOn;
    double chromaticAberration;
    const ChannelSampling* sampling;
    const SamplerBuffers* buffers;
};

// Stores t and the colour of every pixel of the band. A failed sampling call stops all sampling
// in the band; the row is finished with the last good samples and its error is returned.
template <typename Pixel, typename Focus>
PF_Err sampleBand(const BandContext<Pixel>& ctx, const Focus& focus, const Morvel::Rect<int>& area, bool first) {
    const size_t width = size_t(ctx.input->width);
    double* amounts = ctx.buffers->amounts->data();
    double* colours = ctx.buffers->colours->data();
    const PF_ProgPtr ref = ctx.in_data != nullptr ? ctx.in_data->effect_ref : nullptr;
    Pixel kept[3]{};
    PF_Err err = PF_Err_NONE;
    for (int y = area.top; y < area.bottom; ++y) {
        const Pixel* row = Morvel::pixelRow<Pixel>(ctx.input, y);
        const double dy = y - ctx.centerY;
        for (int x = area.left; x < area.right; ++x) {
            const double dx = x - ctx.centerX;
            const size_t k = size_t(y) * width + size_t(x);
            const double t = boundedAmount(focus.amount(dx, dy));
            amounts[k] = t;
            double* entry = colours + 4 * k;
            if (!ctx.chromaticAberrationOn || t <= 0.0) {
                const Pixel& p = row[x];
                const double a = p.alpha;
                entry[0] = a;
                entry[1] = ctx.weigh(p.red) * a;
                entry[2] = ctx.weigh(p.green) * a;
                entry[3] = ctx.weigh(p.blue) * a;
                continue;
            }
            // Blue stays at the pixel, green one step towards the focus area, red two.
            const double step = t * ctx.chromaticAberration;
            double ux = 0.0, uy = 0.0;
            focus.toward(dx, dy, ux, uy);
            const int64_t sx = Morvel::Sampler::SubPixel::toFixed(step * ux);
            const int64_t sy = Morvel::Sampler::SubPixel::toFixed(step * uy);
            const int64_t x0 = int64_t(x) * 65536;
            const int64_t y0 = int64_t(y) * 65536;
            for (int point = 0; point < 3 && err == PF_Err_NONE; ++point) {
                Pixel sampled{};
                err = (*ctx.sampling)(ref, toHostFixed(x0 + point * sx), toHostFixed(y0 + point * sy), &sampled);
                if (err == PF_Err_NONE) kept[point] = sampled;
            }
            const double a0 = kept[0].alpha, a1 = kept[1].alpha, a2 = kept[2].alpha;
            entry[0] = std::max({a0, a1, a2});
            entry[1] = ctx.weigh(kept[2].red) * a2;
            entry[2] = ctx.weigh(kept[1].green) * a1;
            entry[3] = ctx.weigh(kept[0].blue) * a0;
        }
        if (err != PF_Err_NONE) return err;
        if (first) {
            if (PF_Err abortErr = checkAbort(ctx.in_data)) return abortErr;
        }
    }
    return PF_Err_NONE;
}

template <typename Pixel, typename P>
BandContext<Pixel> contextOf(const PF_InData* in_data, const PF_LayerDef* input, const P& params,
                             const ChannelSampling& sampling) {
    const Weigher weigh{params.weighted, params.weightBase,
                        params.weighted ? params.buffers.weightTable->data() : nullptr};
    return BandContext<Pixel>{in_data,
                              input,
                              weigh,
                              params.centerX,
                              params.centerY,
                              params.chromaticAberrationOn,
                              params.chromaticAberration,
                              &sampling,
                              &params.buffers};
}

}  // namespace

ChannelSampling::ChannelSampling(AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* input, bool needed) {
    params_.src = input;
    if (!needed) return;
    switch (bpc) {
        case Morvel::Bpc8: sample8_ = suites.Sampling8Suite1()->subpixel_sample; break;
        case Morvel::Bpc16: sample16_ = suites.Sampling16Suite1()->subpixel_sample16; break;
        case Morvel::Bpc32: sampleFloat_ = suites.SamplingFloatSuite1()->subpixel_sample_float; break;
    }
}

RadialSampler::RadialSampler(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* input,
                             PF_LayerDef* output, RadialSamplerParameters* params, double cosine, double sine)
    : PixelFilter(in_data, suites, bpc, input, output, params),
      cos_(cosine),
      sin_(sine),
      sampling_(suites, bpc, input, params->chromaticAberrationOn) {}

template <typename Pixel>
PF_Err RadialSampler::band(const Morvel::Rect<int>& area, bool first) {
    const Radial focus{cos_,
                       sin_,
                       params->ratio,
                       params->innerWidth,
                       params->halfDiagonal,
                       params->power,
                       Morvel::ansiCallback(in_data, &PF_ANSICallbacks::hypot, standardHypot),
                       Morvel::ansiCallback(in_data, &PF_ANSICallbacks::pow, standardPow)};
    return sampleBand(contextOf<Pixel>(in_data, input, *params, sampling_), focus, area, first);
}

LinearSampler::LinearSampler(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* input,
                             PF_LayerDef* output, LinearSamplerParameters* params, double normalX, double normalY)
    : PixelFilter(in_data, suites, bpc, input, output, params),
      nx_(normalX),
      ny_(normalY),
      sampling_(suites, bpc, input, params->chromaticAberrationOn) {}

template <typename Pixel>
PF_Err LinearSampler::band(const Morvel::Rect<int>& area, bool first) {
    const LinearBase line{nx_, ny_, params->innerWidth};
    const BandContext<Pixel> context = contextOf<Pixel>(in_data, input, *params, sampling_);
    switch (params->linearMode) {
        case LINEAR_MODE_POWER: {
            const LinearPower focus{line, params->halfDiagonal, params->power,
                                    Morvel::ansiCallback(in_data, &PF_ANSICallbacks::fabs, standardFabs),
                                    Morvel::ansiCallback(in_data, &PF_ANSICallbacks::pow, standardPow)};
            return sampleBand(context, focus, area, first);
        }
        case LINEAR_MODE_FOCUS_DISTANCE: {
            const double downsampleX = double(in_data->downsample_x.num) / in_data->downsample_x.den;
            const double cap = downsampleX * 30000.0 / std::max(params->blurAmount, 1e-6);
            const LinearFocusDistance focus{line, params->focusDistance, cap};
            return sampleBand(context, focus, area, first);
        }
        default: return PF_Err_NONE;
    }
}

template PF_Err RadialSampler::band<PF_Pixel>(const Morvel::Rect<int>&, bool);
template PF_Err RadialSampler::band<PF_Pixel16>(const Morvel::Rect<int>&, bool);
template PF_Err RadialSampler::band<PF_PixelFloat>(const Morvel::Rect<int>&, bool);
template PF_Err LinearSampler::band<PF_Pixel>(const Morvel::Rect<int>&, bool);
template PF_Err LinearSampler::band<PF_Pixel16>(const Morvel::Rect<int>&, bool);
template PF_Err LinearSampler::band<PF_PixelFloat>(const Morvel::Rect<int>&, bool);

}  // namespace TiltShift
