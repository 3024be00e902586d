#include "tiltshift/compositor.h"

#include <cfloat>
#include <cmath>

#include "library/utility/ansi.h"
#include "tiltshift/weighting.h"

namespace TiltShift {

namespace {

double standardLog(double x) { return std::log(x); }

// Clamped in floating point before the cast: amounts and weighted sums may be far beyond any
// channel, and NaN must not reach an integer conversion.
double clampToRange(double value, double high) { return value > 0.0 ? (value < high ? value : high) : 0.0; }

}  // namespace

PF_Err checkAbort(const PF_InData* in_data) {
    if (in_data == nullptr || in_data->inter.abort == nullptr) return PF_Err_NONE;
    return in_data->inter.abort(in_data->effect_ref);
}

template <typename Pixel>
OutputStep<Pixel>::OutputStep(const PF_InData* in_data, const OutputSettings& settings)
    : weighted_(settings.weighted),
      inverseFactor_(weightInverseFactor(in_data, Morvel::PixelTraits<Pixel>::bpc, settings.weightBase)),
      log_(Morvel::ansiCallback(in_data, &PF_ANSICallbacks::log, standardLog)),
      vignetting_(settings.vignetting),
      vignette_(static_cast<Pixel>(settings.vignettingColor)),
      blend_(selectBlendFunction<Pixel>(settings.blendMode)) {}

template <typename Pixel>
typename OutputStep<Pixel>::Channel OutputStep<Pixel>::channel(double value) {
    if constexpr (Morvel::PixelTraits<Pixel>::integral) {
        return Channel(clampToRange(value + 0.5, Morvel::PixelTraits<Pixel>::full));
    } else {
        return Channel(clampToRange(value, FLT_MAX));
    }
}

template <typename Pixel>
typename OutputStep<Pixel>::Channel OutputStep<Pixel>::alpha(double value) {
    if constexpr (Morvel::PixelTraits<Pixel>::integral) {
        return channel(value);
    } else {
        return Channel(clampToRange(value, 1.0));
    }
}

template <typename Pixel>
Pixel OutputStep<Pixel>::operator()(const double* entry, double t) const {
    const double a = entry[0];
    double colour[3] = {entry[1], entry[2], entry[3]};
    for (double& c : colour) {
        if (a > 0.0) c /= a;
        if (weighted_) c = c > 1.0 ? log_(c) * inverseFactor_ : 0.0;
    }
    constexpr auto full = Morvel::PixelTraits<Pixel>::full;
    const Pixel below{full, channel(colour[0]), channel(colour[1]), channel(colour[2])};
    Pixel top = vignette_;
    if constexpr (Morvel::PixelTraits<Pixel>::integral) {
        top.alpha = channel(t * double(full) * vignetting_);
    } else {
        top.alpha = alpha(t * vignetting_);
    }
    Pixel out = blend_(below, top);
    out.alpha = alpha(a);
    return out;
}

template class OutputStep<PF_Pixel>;
template class OutputStep<PF_Pixel16>;
template class OutputStep<PF_PixelFloat>;

template <typename Pixel>
PF_Err Compositor::band(const Morvel::Rect<int>& area, bool first) {
    const OutputStep<Pixel> step(in_data, params->output);
    const double* amounts = params->amounts->data();
    const double* colours = params->colours->data();
    const size_t width = size_t(output->width);
    for (int y = area.top; y < area.bottom; ++y) {
        Pixel* row = Morvel::pixelRow<Pixel>(output, y);
        for (int x = area.left; x < area.right; ++x) {
            const size_t k = size_t(y) * width + size_t(x);
            row[x] = step(colours + 4 * k, amounts[k]);
        }
        if (first) {
            if (PF_Err err = checkAbort(in_data)) return err;
        }
    }
    return PF_Err_NONE;
}

template PF_Err Compositor::band<PF_Pixel>(const Morvel::Rect<int>&, bool);
template PF_Err Compositor::band<PF_Pixel16>(const Morvel::Rect<int>&, bool);
template PF_Err Compositor::band<PF_PixelFloat>(const Morvel::Rect<int>&, bool);

}  // namespace TiltShift
