#pragma once

// The band loop of the threshold stages, included by threshold_toning.h.

#include "library/sampling/sub_pixel.h"
#include "library/utility/pixel.h"

namespace Glow {

namespace detail {

// k scales a channel value to 0..1 (the toner rate's argument and the toner map's components);
// full is the depth's full scale.
template <typename Pixel>
struct ToningDepth;

template <>
struct ToningDepth<PF_Pixel> {
    static constexpr double k = 0.00392156862745098;
    static constexpr double full = 255.0;
    static auto sampler(AEGP_SuiteHandler& suites) { return suites.Sampling8Suite1()->subpixel_sample; }
};

template <>
struct ToningDepth<PF_Pixel16> {
    static constexpr double k = 1.0 / 32768.0;
    static constexpr double full = 32768.0;
    static auto sampler(AEGP_SuiteHandler& suites) { return suites.Sampling16Suite1()->subpixel_sample16; }
};

template <>
struct ToningDepth<PF_PixelFloat> {
    static constexpr double k = 1.0;
    static constexpr double full = 1.0;
    static auto sampler(AEGP_SuiteHandler& suites) { return suites.SamplingFloatSuite1()->subpixel_sample_float; }
};

// a·r + b·(1 − r), every component.
inline Morvel::Color<double> mix(const Morvel::Color<double>& a, const Morvel::Color<double>& b, double r) {
    const double s = 1.0 - r;
    return Morvel::Color<double>(a.alpha * r + b.alpha * s, a.red * r + b.red * s, a.green * r + b.green * s,
                                 a.blue * r + b.blue * s);
}

struct ToneColours {
    const Morvel::Color<double>& highlight;
    const Morvel::Color<double>& midtone;
    const Morvel::Color<double>& shadow;
};

// The "Tones" items as types, so that the band loop is built once per item and decides nothing
// per pixel. rate: needs the toner rate; map: needs the toner map's colour.
struct Untoned {
    static constexpr bool toned = false, rate = false, map = false;
};

struct Monotone {
    static constexpr bool toned = true, rate = false, map = false;
    static Morvel::Color<double> of(const ToneColours& c, double, const Morvel::Color<double>&) { return c.highlight; }
};

struct Duotone {
    static constexpr bool toned = true, rate = true, map = false;
    static Morvel::Color<double> of(const ToneColours& c, double r, const Morvel::Color<double>&) {
        return mix(c.highlight, c.shadow, r);
    }
};

struct Tritone {
    static constexpr bool toned = true, rate = true, map = false;
    static Morvel::Color<double> of(const ToneColours& c, double r, const Morvel::Color<double>&) {
        if (r >= 0.5) return mix(c.highlight, c.midtone, (r - 0.5) * 2.0);
        return mix(c.midtone, c.shadow, 2.0 * r);
    }
};

struct TonerMap {
    static constexpr bool toned = true, rate = false, map = true;
    static Morvel::Color<double> of(const ToneColours&, double, const Morvel::Color<double>& m) { return m; }
};

struct TonerMapHighlight {
    static constexpr bool toned = true, rate = true, map = true;
    static Morvel::Color<double> of(const ToneColours& c, double r, const Morvel::Color<double>& m) {
        return mix(m, c.shadow, r);
    }
};

struct TonerMapShadow {
    static constexpr bool toned = true, rate = true, map = true;
    static Morvel::Color<double> of(const ToneColours& c, double r, const Morvel::Color<double>& m) {
        return mix(c.highlight, m, r);
    }
};

// The toner map's colour at one point: scaled to 0..1 and premultiplied by its own alpha. After
// the band's first failure nothing more is sampled and the colour is 0.
template <typename Pixel>
class MapSampler {
public:
    using Sample = PF_Err (*)(PF_ProgPtr, PF_Fixed, PF_Fixed, const PF_SampPB*, Pixel*);

    MapSampler(PF_InData* in_data, Sample sample, PF_LayerDef* map) : effect_(in_data->effect_ref), sample_(sample) {
        params_.src = map;
        sampling_ = map != nullptr && sample != nullptr;
    }

    Morvel::Color<double> at(PF_Fixed x, PF_Fixed y) {
        if (!sampling_) return {};
        Pixel s{};
        if (PF_Err err = sample_(effect_, x, y, &params_, &s)) {
            error_ = err;
            sampling_ = false;
            return {};
        }
        constexpr double k = ToningDepth<Pixel>::k;
        const double a = s.alpha * k;
        return Morvel::Color<double>(a, s.red * k * a, s.green * k * a, s.blue * k * a);
    }

    PF_Err error() const { return error_; }

private:
    PF_ProgPtr effect_;
    Sample sample_;
    PF_SampPB params_{};  // the map as source, zero in every other field
    bool sampling_;
    PF_Err error_ = PF_Err_NONE;
};

}  // namespace detail

template <typename Pixel, typename Stage>
PF_Err ThresholdToning::toneBand(PF_InData* in_data, AEGP_SuiteHandler& suites, const PF_LayerDef* input,
                                 const Morvel::Rect<int>& area, const ThresholdCommonParameters& common,
                                 Stage& stage) const {
    switch (tones) {
        case TONES_MONOTONE: return toneRows<Pixel, detail::Monotone>(in_data, suites, input, area, common, stage);
        case TONES_DUOTONE: return toneRows<Pixel, detail::Duotone>(in_data, suites, input, area, common, stage);
        case TONES_TRITONE: return toneRows<Pixel, detail::Tritone>(in_data, suites, input, area, common, stage);
        case TONES_TONER_MAP: return toneRows<Pixel, detail::TonerMap>(in_data, suites, input, area, common, stage);
        case TONES_TONER_MAP_HIGHLIGHT:
            return toneRows<Pixel, detail::TonerMapHighlight>(in_data, suites, input, area, common, stage);
        case TONES_TONER_MAP_SHADOW:
            return toneRows<Pixel, detail::TonerMapShadow>(in_data, suites, input, area, common, stage);
        default: return toneRows<Pixel, detail::Untoned>(in_data, suites, input, area, common, stage);
    }
}

template <typename Pixel, typename Tone, typename Stage>
PF_Err ThresholdToning::toneRows(PF_InData* in_data, AEGP_SuiteHandler& suites, const PF_LayerDef* input,
                                 const Morvel::Rect<int>& area, const ThresholdCommonParameters& common,
                                 Stage& stage) const {
    using Depth = detail::ToningDepth<Pixel>;
    // Asked for in every band, map or not: a missing suite is thrown here.
    detail::MapSampler<Pixel> map(in_data, Depth::sampler(suites), common.tonerMap);
    const Toning toning(common.boostLowLuminance, common.toner, common.blendWithOriginal, Depth::full);
    const detail::ToneColours colours{highlight, midtone, shadow};
    const bool differentChannel = useTonerRate && useDifferentChannel;

    for (int y = area.top; y < area.bottom; ++y) {
        const Pixel* row = Morvel::pixelRow<Pixel>(input, y);
        PF_Fixed mapY = 0;
        if constexpr (Tone::map) mapY = Morvel::Sampler::SubPixel::toFixed(y * tonerMapScale.y);
        for (int x = area.left; x < area.right; ++x) {
            const Pixel& p = row[x];
            auto v = channelOf(p);
            const double w = weightOf(v);
            if (!stage.take(x, y, p, w)) continue;
            const double a = w * p.alpha;
            if constexpr (!Tone::toned) {
                stage.untoned(x, y, p, a);
            } else {
                Morvel::Color<double> mapColour;
                if constexpr (Tone::map)
                    mapColour = map.at(Morvel::Sampler::SubPixel::toFixed(x * tonerMapScale.x), mapY);
                double r = 0.0;
                if constexpr (Tone::rate) {
                    if (differentChannel) v = tonerChannelOf(p);
                    r = tonerRateFunc(v * Depth::k);
                }
                const Rgb colour{double(p.red), double(p.green), double(p.blue)};
                stage.toned(x, y, p, toning(colour, Tone::of(colours, r, mapColour), a), a);
            }
        }
    }
    return map.error();
}

}  // namespace Glow

namespace Glow {

namespace detail {

inline void setAlpha(Color& e, double a) { e.alpha = a; }
inline void setAlpha(ChannelColor& e, double a) { e.redAlpha = e.greenAlpha = e.blueAlpha = a; }

// The records of the convolution. Every pixel's record is written, a pixel without weight as
// no glow: the records come unwritten.
template <typename Record>
struct RecordWriter {
    Record* records;
    std::size_t width;

    Record& at(int x, int y) const { return records[std::size_t(y) * width + std::size_t(x)]; }

    template <typename Pixel>
    bool take(int x, int y, const Pixel&, double w) const {
        if (w > 0.0) return true;
        at(x, y) = Record{};
        return false;
    }
    template <typename Pixel>
    void untoned(int x, int y, const Pixel&, double a) const {
        Record& e = at(x, y);
        e = Record{};
        setAlpha(e, a);
    }
    template <typename Pixel>
    void toned(int x, int y, const Pixel&, const Rgb& c, double a) const {
        Record& e = at(x, y);
        setAlpha(e, a);
        e.red = c.red;
        e.green = c.green;
        e.blue = c.blue;
    }
};

}  // namespace detail

template <typename Record>
ThresholdRecordStage<Record>::ThresholdRecordStage(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc,
                                                   PF_LayerDef* input, PF_LayerDef* output,
                                                   ThresholdParameters<Record>* params)
    : Morvel::Filter::Filter<ThresholdParameters<Record>>(in_data, suites, bpc, input, output, params),
      ThresholdToning(in_data, bpc, input, params->common) {}

template <typename Record>
template <typename Pixel>
PF_Err ThresholdRecordStage<Record>::recordBand(const Morvel::Rect<int>& rect) {
    const PF_LayerDef* source = this->input;
    const Records<Record> records = this->params->output;
    // One record per pixel of the input, or the band would write past the vector.
    if (source == nullptr || !records || records.size() < std::size_t(source->width) * std::size_t(source->height)) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    detail::RecordWriter<Record> writer{records.data(), std::size_t(source->width)};
    return toneBand<Pixel>(this->in_data, *this->suites, source, rect, this->params->common, writer);
}

template <typename Record>
PF_Err ThresholdRecordStage<Record>::filter8(const Morvel::Rect<int>& rect, bool) {
    return recordBand<PF_Pixel>(rect);
}

template <typename Record>
PF_Err ThresholdRecordStage<Record>::filter16(const Morvel::Rect<int>& rect, bool) {
    return recordBand<PF_Pixel16>(rect);
}

template <typename Record>
PF_Err ThresholdRecordStage<Record>::filter32(const Morvel::Rect<int>& rect, bool) {
    return recordBand<PF_PixelFloat>(rect);
}

}  // namespace Glow
