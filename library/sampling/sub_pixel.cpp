#include "library/sampling/sub_pixel.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "library/utility/color.h"
#include "library/utility/pixel.h"

namespace Morvel::Sampler {

namespace {

// Seam blends work on normalised single-precision channels, then convert back with the depth's
// own rounding and clamping.
PF_Pixel mix(const PF_Pixel& a, const PF_Pixel& b, float t) {
    auto channel = [t](uint8_t u, uint8_t v) { return (1.0f - t) * (u / 255.0f) + t * (v / 255.0f); };
    return static_cast<PF_Pixel>(Color<float>(channel(a.alpha, b.alpha), channel(a.red, b.red),
                                              channel(a.green, b.green), channel(a.blue, b.blue)));
}

PF_Pixel16 mix(const PF_Pixel16& a, const PF_Pixel16& b, float t) {
    constexpr float kScale = 1.0f / 32768.0f;
    auto channel = [t](uint16_t u, uint16_t v) { return (1.0f - t) * (u * kScale) + t * (v * kScale); };
    return static_cast<PF_Pixel16>(Color<float>(channel(a.alpha, b.alpha), channel(a.red, b.red),
                                                channel(a.green, b.green), channel(a.blue, b.blue)));
}

// Float pixels stay unclamped: over-range colour is legitimate there.
PF_PixelFloat mix(const PF_PixelFloat& a, const PF_PixelFloat& b, float t) {
    auto channel = [t](float u, float v) { return (1.0f - t) * u + t * v; };
    return PF_PixelFloat{channel(a.alpha, b.alpha), channel(a.red, b.red), channel(a.green, b.green),
                         channel(a.blue, b.blue)};
}

// Comparisons are written so that NaN passes through unchanged and ends up outside the layer.
double clampTo(double v, double last) { return v < 0.0 ? 0.0 : (v > last ? last : v); }
double atMost(double v, double last) { return v > last ? last : v; }

double standardFmod(double x, double y) { return std::fmod(x, y); }

}  // namespace

PF_Fixed SubPixel::toFixed(double v) {
    if (std::isnan(v)) return std::numeric_limits<PF_Fixed>::min();
    const double scaled = v >= 0.0 ? v * 65536.0 + 0.5 : v * 65536.0 - 0.5;
    if (scaled >= 2147483648.0) return std::numeric_limits<PF_Fixed>::max();
    if (scaled <= -2147483649.0) return std::numeric_limits<PF_Fixed>::min();
    return static_cast<PF_Fixed>(scaled);
}

SubPixel::SubPixel(PF_InData* in_data, AEGP_SuiteHandler& suites, PF_LayerDef* layer, Wrap wrap)
    : in_data_(in_data), suites_(&suites), wrap_(wrap) {
    // Zero radii and a zero behaviour make the host interpolate at a point.
    params_.src = layer;
    if (layer != nullptr) {
        width_ = layer->width;
        width2_ = 2.0 * width_;
        widthLast_ = width_ - 1.0;
        height_ = layer->height;
        height2_ = 2.0 * height_;
        heightLast_ = height_ - 1.0;
        empty_ = layer->width <= 0 || layer->height <= 0;
        if (!bpcOfFormat(layer->pixel_format, &bpc_)) bpc_ = (layer->world_flags & PF_WorldFlag_DEEP) ? Bpc16 : Bpc8;
    }
    sample8_ = suites.Sampling8Suite1()->subpixel_sample;
    sample16_ = suites.Sampling16Suite1()->subpixel_sample16;
    sampleFloat_ = suites.SamplingFloatSuite1()->subpixel_sample_float;
    if (in_data != nullptr && in_data->utils != nullptr) fmod_ = in_data->utils->ansi.fmod;
    if (fmod_ == nullptr) fmod_ = standardFmod;
}

SubPixel::SubPixel(PF_InData* in_data, AEGP_SuiteHandler& suites, std::shared_ptr<World> layer, Wrap wrap)
    : SubPixel(in_data, suites, layer != nullptr ? layer->world : nullptr, wrap) {
    held_ = std::move(layer);
}

PF_Err SubPixel::sample(double x, double y, PF_Pixel* out) const { return sampleWrapped(x, y, out, sample8_); }

PF_Err SubPixel::sample(double x, double y, PF_Pixel16* out) const { return sampleWrapped(x, y, out, sample16_); }

PF_Err SubPixel::sample(double x, double y, PF_PixelFloat* out) const { return sampleWrapped(x, y, out, sampleFloat_); }

template <typename Pixel>
PF_Err SubPixel::sampleSeam(double ax, double ay, double bx, double by, double t, Pixel* out,
                            SampleFunc<Pixel> fn) const {
    const PF_ProgPtr ref = in_data_ != nullptr ? in_data_->effect_ref : nullptr;
    Pixel a{};
    Pixel b{};
    PF_Err err = fn(ref, toFixed(ax), toFixed(ay), &params_, &a);
    if (err == PF_Err_NONE) err = fn(ref, toFixed(bx), toFixed(by), &params_, &b);
    // A failed seam leaves a defined (transparent) pixel rather than half a blend.
    *out = err == PF_Err_NONE ? mix(a, b, static_cast<float>(t)) : Pixel{};
    return err;
}

template <typename Pixel>
PF_Err SubPixel::sampleWrapped(double x, double y, Pixel* out, SampleFunc<Pixel> fn) const {
    if (out == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    // A layer without pixels has nothing to interpolate; the host need not be asked.
    if (empty_) {
        *out = Pixel{};
        return PF_Err_NONE;
    }
    if (PixelTraits<Pixel>::bpc != bpc_) {
        *out = Pixel{};
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    const PF_ProgPtr ref = in_data_ != nullptr ? in_data_->effect_ref : nullptr;
    switch (wrap_) {
        case Wrap::None: return fn(ref, toFixed(x), toFixed(y), &params_, out);
        case Wrap::Edge:
            return fn(ref, toFixed(clampTo(x, widthLast_)), toFixed(clampTo(y, heightLast_)), &params_, out);
        case Wrap::Repeat: {
            double rx = fmod_(x, width_);
            if (rx < 0.0) rx += width_;
            double ry = fmod_(y, height_);
            if (ry < 0.0) ry += height_;
            // Between the last column (row) and the wrap, blend the last one into the first.
            if (rx > widthLast_) {
                const double row = atMost(ry, heightLast_);
                return sampleSeam(widthLast_, row, 0.0, row, rx - widthLast_, out, fn);
            }
            if (ry > heightLast_) return sampleSeam(rx, heightLast_, rx, 0.0, ry - heightLast_, out, fn);
            return fn(ref, toFixed(rx), toFixed(ry), &params_, out);
        }
        case Wrap::Mirror: {
            double mx = fmod_(x, width2_);
            if (mx < 0.0) mx += width2_;
            if (mx > width_) mx = width2_ - mx;
            double my = fmod_(y, height2_);
            if (my < 0.0) my += height2_;
            if (my > height_) my = height2_ - my;
            return fn(ref, toFixed(atMost(mx, widthLast_)), toFixed(atMost(my, heightLast_)), &params_, out);
        }
    }
    // An unknown mode (a damaged saved value) gives transparent black rather than stale memory.
    *out = Pixel{};
    return PF_Err_NONE;
}

}  // namespace Morvel::Sampler
