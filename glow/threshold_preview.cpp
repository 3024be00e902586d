#include "glow/threshold_preview.h"

#include <type_traits>

#include "library/utility/pixel.h"

namespace Glow {

namespace {

// Colour / alpha back to straight colour: clamped and truncated at the integer depths (negative
// or NaN gives 0), as it is in float.
template <typename Pixel>
Morvel::ChannelOf<Pixel> straight(double premultiplied, double alpha) {
    using Channel = Morvel::ChannelOf<Pixel>;
    const double v = premultiplied / alpha;
    if constexpr (Morvel::PixelTraits<Pixel>::integral) {
        constexpr double full = Morvel::PixelTraits<Pixel>::full;
        if (!(v > 0.0)) return 0;
        return v >= full ? Channel(full) : Channel(v);
    } else {
        return static_cast<float>(v);
    }
}

// Where the written alpha is 0 (float: at most 1e-6) the colour bytes are left as they were.
template <typename Pixel>
void writeToned(Pixel& out, const Rgb& c, double a) {
    using Channel = Morvel::ChannelOf<Pixel>;
    if constexpr (Morvel::PixelTraits<Pixel>::integral) {
        constexpr double full = Morvel::PixelTraits<Pixel>::full;
        out.alpha = a > full ? Channel(full) : a > 0.0 ? Channel(a) : Channel(0);
        if (out.alpha == 0) return;
    } else {
        if (!(a >= 0.0)) {
            out.alpha = 0.0f;
            return;
        }
        out.alpha = a > 1.0 ? 1.0f : static_cast<float>(a);
        if (out.alpha <= kToningEpsilon) return;
    }
    out.red = straight<Pixel>(c.red, a);
    out.green = straight<Pixel>(c.green, a);
    out.blue = straight<Pixel>(c.blue, a);
}

template <typename Pixel>
struct PreviewWriter {
    PF_LayerDef* output;
    bool thresholdOnly;

    Pixel& at(int x, int y) const { return Morvel::pixelRow<Pixel>(output, y)[x]; }

    // The threshold image, and toned pixels without weight: the input with its alpha scaled.
    bool take(int x, int y, const Pixel& p, double w) const {
        if (!thresholdOnly && w >= kToningEpsilon) return true;
        Pixel& out = at(x, y);
        out = p;
        out.alpha = static_cast<Morvel::ChannelOf<Pixel>>(w * p.alpha);
        return false;
    }
    void untoned(int x, int y, const Pixel&, double a) const { writeToned(at(x, y), Rgb{}, a); }
    void toned(int x, int y, const Pixel&, const Rgb& c, double a) const { writeToned(at(x, y), c, a); }
};

}  // namespace

ThresholdPreview::ThresholdPreview(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* input,
                                   PF_LayerDef* output, ThresholdPreviewParameters* params)
    : Filter(in_data, suites, bpc, input, output, params), ThresholdToning(in_data, bpc, input, params->common) {}

template <typename Pixel>
PF_Err ThresholdPreview::previewBand(const Morvel::Rect<int>& rect) {
    // The band is cut from the output; reading the input there needs the same size.
    if (input == nullptr || output == nullptr || input->width != output->width || input->height != output->height) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    PreviewWriter<Pixel> writer{output, params->previewMode == RenderingModeItem::Threshold};
    return toneBand<Pixel>(in_data, *suites, input, rect, params->common, writer);
}

PF_Err ThresholdPreview::filter8(const Morvel::Rect<int>& rect, bool) { return previewBand<PF_Pixel>(rect); }

PF_Err ThresholdPreview::filter16(const Morvel::Rect<int>& rect, bool) { return previewBand<PF_Pixel16>(rect); }

PF_Err ThresholdPreview::filter32(const Morvel::Rect<int>& rect, bool) { return previewBand<PF_PixelFloat>(rect); }

}  // namespace Glow
