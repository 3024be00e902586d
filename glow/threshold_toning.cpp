#include "glow/threshold_toning.h"

#include <algorithm>

namespace Glow {

namespace {

// The toned colour q before the glow factor.
template <bool fill, bool blended>
Rgb tonedColour(const Toning& t, const Rgb& p, const Morvel::Color<double>& tone) {
    if constexpr (fill && blended) {
        return Rgb{t.blend * p.red + t.blendRest * tone.red, t.blend * p.green + t.blendRest * tone.green,
                   t.blend * p.blue + t.blendRest * tone.blue};
    } else if constexpr (fill) {
        return Rgb{t.full * tone.red, t.full * tone.green, t.full * tone.blue};
    } else if constexpr (blended) {
        return Rgb{p.red * (t.blend + t.blendRest * tone.red), p.green * (t.blend + t.blendRest * tone.green),
                   p.blue * (t.blend + t.blendRest * tone.blue)};
    } else {
        return Rgb{p.red * tone.red, p.green * tone.green, p.blue * tone.blue};
    }
}

// The boost lifts a colour towards the luma of its largest component (capped at full scale), by
// the fraction boost; black has no luma and stays black.
template <bool fill, bool blended, bool boosted>
Rgb tone(const Toning& t, const Rgb& p, const Morvel::Color<double>& toneColour, double a) {
    const Rgb q = tonedColour<fill, blended>(t, p, toneColour);
    double f = a;
    if constexpr (boosted) {
        const double luma = 0.299 * q.red + 0.587 * q.green + 0.114 * q.blue;
        if (luma > 0.0) {
            const double top = std::min(std::max({q.red, q.green, q.blue}), t.full);
            f = ((top / luma - 1.0) * t.boost + 1.0) * a;
        }
    }
    return Rgb{q.red * f, q.green * f, q.blue * f};
}

template <bool fill, bool blended>
Toning::Apply chooseBoost(bool boosted) {
    return boosted ? &tone<fill, blended, true> : &tone<fill, blended, false>;
}

template <bool fill>
Toning::Apply chooseBlend(bool blended, bool boosted) {
    return blended ? chooseBoost<fill, true>(boosted) : chooseBoost<fill, false>(boosted);
}

Morvel::Color<double> widen(const Morvel::Color<float>& c) {
    return Morvel::Color<double>(c.alpha, c.red, c.green, c.blue);
}

}  // namespace

Toning::Toning(double boost, TonerItem toner, double blend, double full)
    : boost(boost), blend(blend), blendRest(1.0 - blend), full(full) {
    const bool fill = toner == TonerItem::Fill;
    const bool blended = blend >= kToningEpsilon;
    const bool boosted = boost >= kToningEpsilon;
    if (fill) blendRest *= full;
    apply = fill ? chooseBlend<true>(blended, boosted) : chooseBlend<false>(blended, boosted);
}

Morvel::Vector2<double> tonerMapScaleOf(const PF_LayerDef* map, const PF_LayerDef* source) {
    auto span = [](int size) { return size < 2 ? 1.0 : size - 1.0; };
    return Morvel::Vector2<double>{span(map->width) / span(source->width), span(map->height) / span(source->height)};
}

ThresholdToning::ThresholdToning(PF_InData* in_data, Morvel::Bpc bpc, const PF_LayerDef* input,
                                 const ThresholdCommonParameters& common)
    : tones(common.tones),
      highlight(widen(common.highlight)),
      midtone(widen(common.midtone)),
      shadow(widen(common.shadow)),
      useTonerRate(useTonerRateFunc(common.tones)),
      useTonerMap(common.tones >= TONES_TONER_MAP && common.tones <= TONES_TONER_MAP_SHADOW),
      tonerMapScale{1.0, 1.0},
      useDifferentChannel(common.useDifferentChannel) {
    const ThresholdCommonParameters& c = common;
    // The main channel, and the toner's own when it has one, by the depth's factory.
    auto channels = [&](auto generate, auto& channelFunc, auto& tonerChannelFunc) {
        channelFunc = generate(c.channel, c.multiplyAlpha, c.referenceColor, c.customChannel);
        if (useDifferentChannel) {
            tonerChannelFunc =
                generate(c.tonerChannel, c.tonerMultiplyAlpha, c.tonerReferenceColor, c.tonerCustomChannel);
        }
    };
    switch (bpc) {
        case Morvel::Bpc8:
            generateAlphas8(c.threshold, c.useThreshold2, c.threshold2, c.thresholdSoftness, c.thresholdInvert, alphas);
            channels(generateChannelFunc8, channelFunc8, tonerChannelFunc8);
            break;
        case Morvel::Bpc16:
            generateAlphas16(c.threshold, c.useThreshold2, c.threshold2, c.thresholdSoftness, c.thresholdInvert,
                             alphas);
            channels(generateChannelFunc16, channelFunc16, tonerChannelFunc16);
            break;
        case Morvel::Bpc32:
            alphaFunc32 =
                generateAlphaFunc32(c.threshold, c.useThreshold2, c.threshold2, c.thresholdSoftness, c.thresholdInvert);
            channels(generateChannelFunc32, channelFunc32, tonerChannelFunc32);
            break;
    }
    if (useTonerRate) tonerRateFunc = generateTonerRateFunc(in_data, c.tonerWhite, c.tonerBlack, c.tonerGamma);
    if (useTonerMap && c.tonerMap != nullptr && input != nullptr) tonerMapScale = tonerMapScaleOf(c.tonerMap, input);
}

}  // namespace Glow
