#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "glow/stages/glow_color.h"
#include "glow/stages/threshold_functions.h"
#include "library/filter/filter.h"
#include "library/utility/color.h"

namespace Diffusion {

// The threshold stage's settings, filled by the render.
struct ThresholdParameters {
    bool weighted = false;      // weightFactor > 1.000001
    double weightFactor = 1.0;  // 1 + "Weight" × 0.01
    Glow::ChannelItem channel = Glow::CHANNEL_LUMINANCE;
    Morvel::Color<float> reference;  // {1, red, green, blue} of "Reference Color"
    double threshold = 0.0;          // fraction of full scale
    double softness = 0.0;           // fraction of full scale
    // One element per pixel of the destination, row-major; premultiplied, native units. Not owned;
    // every element is written, so it may come unwritten.
    Glow::Records<Glow::Color> buffer;
};

// The glow's channel measures without "Multiply Alpha" and without its custom channel, which
// reads as Luminance like any number outside the menu.
Glow::ChannelFunc8 generateChannelFunc8(Glow::ChannelItem channel, const Morvel::Color<float>& reference);
Glow::ChannelFunc16 generateChannelFunc16(Glow::ChannelItem channel, const Morvel::Color<float>& reference);
Glow::ChannelFunc32 generateChannelFunc32(Glow::ChannelItem channel, const Morvel::Color<float>& reference);

// The soft step from threshold − softness (or − 1e-6 when softness is below that) to threshold,
// 0..1. Tables are indexed by the raw channel value: 256 entries, or 65536 with 0..32768 filled.
std::vector<double> rampTable8(double threshold, double softness);
std::vector<double> rampTable16(double threshold, double softness);
// The float ramp works in single precision.
std::function<double(float)> rampFunc32(double threshold, double softness);

// weightFactor to the power of the channel value on the 8-bit scale: 256 entries by 8-bit value,
// 65536 by 16-bit value (0..32768 filled, above weighs 0), or 32769 for float values looked up on
// the 16-bit scale (weightIndex32). Powers go through `pow`, the host's when it lends one.
using Pow = double (*)(double, double);
std::vector<double> weightTable8(double weightFactor, Pow pow);
std::vector<double> weightTable16(double weightFactor, Pow pow);
std::vector<double> weightTable32(double weightFactor, Pow pow);
int weightIndex32(float value);

// Keeps the part of the source above the threshold: the destination is the source with alpha
// times the ramp, and the buffer gets its premultiplied (or weighted) colour.
class Threshold : public Morvel::Filter::Filter<ThresholdParameters> {
public:
    // Tables are built for `bpc` only. The record, worlds and buffer must outlive the object.
    Threshold(PF_InData* in_data, AEGP_SuiteHandler& suites, Morvel::Bpc bpc, PF_LayerDef* source,
              PF_LayerDef* destination, ThresholdParameters* params);

    PF_Err filter8(const Morvel::Rect<int>& area, bool first) override;
    PF_Err filter16(const Morvel::Rect<int>& area, bool first) override;
    PF_Err filter32(const Morvel::Rect<int>& area, bool first) override;

private:
    template <typename Pixel, bool Weighted, typename Channel, typename Ramp, typename Weight>
    void band(const Morvel::Rect<int>& area, const Channel& channel, const Ramp& ramp, const Weight& weight);
    template <typename Pixel, typename Channel, typename Ramp, typename Weight>
    PF_Err run(const Morvel::Rect<int>& area, const Channel& channel, const Ramp& ramp, const Weight& weight);

    Glow::ChannelFunc8 channel8;
    Glow::ChannelFunc16 channel16;
    Glow::ChannelFunc32 channel32;
    std::vector<double> ramp;  // 8 and 16 bits
    std::function<double(float)> ramp32;
    std::vector<double> weights;  // only when weighted
};

}  // namespace Diffusion
