#pragma once

#include <cstdint>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/stages/glow_color.h"
#include "glow/stages/threshold_functions.h"
#include "glow/threshold_parameters.h"
#include "library/filter/filter.h"
#include "library/utility/color.h"
#include "library/utility/geometry.h"
#include "library/world/bpc.h"
#include "morvel_host/host.h"

// What the three threshold stages share: the per-pixel functions built from the common settings,
// the tone colours, the toner-map sampling and the eight toner operations. The stages differ only
// in what they do with a toned pixel (a record for the convolution, or a pixel of a world).
namespace Glow {

// Boost and blend below this are off.
constexpr double kToningEpsilon = 0.000001;

// Red, green and blue in the depth's native units.
struct Rgb {
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
};

// One of the eight toner operations ("Tint" or "Fill", blended or not, boosted or not), chosen
// once per band: the pixel colour p toned by T (0..1) and multiplied by its glow factor from the
// alpha a. The result is premultiplied by a.
class Toning {
public:
    // full: the depth's full scale, which caps the boost and scales "Fill".
    Toning(double boost, TonerItem toner, double blend, double full);

    Rgb operator()(const Rgb& p, const Morvel::Color<double>& tone, double a) const { return apply(*this, p, tone, a); }

    using Apply = Rgb (*)(const Toning&, const Rgb&, const Morvel::Color<double>&, double);

    double boost;
    double blend;
    double blendRest;  // 1 − blend ("Tint"), or (1 − blend) × full ("Fill")
    double full;

private:
    Apply apply;
};

// The fields and the band loop the threshold stages have in common. A stage derives from its
// Filter and from this, and hands the band loop what it does with each pixel.
class ThresholdToning {
protected:
    // Builds the depth's functions from the common settings; input is the world read.
    ThresholdToning(PF_InData* in_data, Morvel::Bpc bpc, const PF_LayerDef* input,
                    const ThresholdCommonParameters& common);

    // Runs the stage over the rows of area. Stage provides, for the pixel (x, y) with threshold
    // weight w and working alpha a = w·alpha:
    //   bool take(int x, int y, const Pixel& p, double w)  // false: nothing more to do here
    //   void untoned(int x, int y, const Pixel& p, double a)  // tones not in the menu
    //   void toned(int x, int y, const Pixel& p, const Rgb& colour, double a)
    // Returns the band's first sampling error; a missing sampling suite is thrown.
    template <typename Pixel, typename Stage>
    PF_Err toneBand(PF_InData* in_data, AEGP_SuiteHandler& suites, const PF_LayerDef* input,
                    const Morvel::Rect<int>& area, const ThresholdCommonParameters& common, Stage& stage) const;

    ChannelFunc8 channelFunc8;
    ChannelFunc16 channelFunc16;
    ChannelFunc32 channelFunc32;
    AlphaFunc32 alphaFunc32;
    std::vector<double> alphas;
    TonesItem tones;
    Morvel::Color<double> highlight;
    Morvel::Color<double> midtone;
    Morvel::Color<double> shadow;
    bool useTonerRate;
    TonerRateFunc tonerRateFunc;
    bool useTonerMap;
    Morvel::Vector2<double> tonerMapScale;
    bool useDifferentChannel;
    ChannelFunc8 tonerChannelFunc8;
    ChannelFunc16 tonerChannelFunc16;
    ChannelFunc32 tonerChannelFunc32;

private:
    template <typename Pixel, typename Tone, typename Stage>
    PF_Err toneRows(PF_InData* in_data, AEGP_SuiteHandler& suites, const PF_LayerDef* input,
                    const Morvel::Rect<int>& area, const ThresholdCommonParameters& common, Stage& stage) const;

    // The depth's channel value and threshold weight, table or curve.
    uint8_t channelOf(const PF_Pixel& p) const { return channelFunc8(p); }
    uint16_t channelOf(const PF_Pixel16& p) const { return channelFunc16(p); }
    float channelOf(const PF_PixelFloat& p) const { return channelFunc32(p); }
    uint8_t tonerChannelOf(const PF_Pixel& p) const { return tonerChannelFunc8(p); }
    uint16_t tonerChannelOf(const PF_Pixel16& p) const { return tonerChannelFunc16(p); }
    float tonerChannelOf(const PF_PixelFloat& p) const { return tonerChannelFunc32(p); }
    double weightOf(uint8_t v) const { return alphas[v]; }
    double weightOf(uint16_t v) const { return alphas[v]; }
    double weightOf(float v) const { return alphaFunc32(v); }
};

// A threshold stage that fills the convolution's vector: one record per input pixel, written
// only where the threshold weight is positive. The one-colour and three-channel stages are its two
// instances.
template <typename Record>
class ThresholdRecordStage : public Morvel::Filter::Filter<ThresholdParameters<Record>>, private ThresholdToning {
public:
    // output is not used (the vector is); the record, the input and the vector must outlive the
    // filter, and the vector must hold one record per input pixel.
    ThresholdRecordStage(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* input,
                         PF_LayerDef* output, ThresholdParameters<Record>* params);

    // The band's first sampling error, or 0; a missing sampling suite is thrown.
    PF_Err filter8(const Morvel::Rect<int>& rect, bool first) override;
    PF_Err filter16(const Morvel::Rect<int>& rect, bool first) override;
    PF_Err filter32(const Morvel::Rect<int>& rect, bool first) override;

private:
    template <typename Pixel>
    PF_Err recordBand(const Morvel::Rect<int>& rect);
};

// The toner-map scale: the source's first and last column and row land on the map's first and
// last; a size below 2 on either side counts as a difference of 1.
Morvel::Vector2<double> tonerMapScaleOf(const PF_LayerDef* map, const PF_LayerDef* source);

}  // namespace Glow

#include "glow/threshold_toning_impl.h"
