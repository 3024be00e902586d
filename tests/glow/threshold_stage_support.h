#pragma once

#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "Util/AEGP_SuiteHandler.h"
#include "glow/threshold_parameters.h"
#include "library/filter/iterate.h"
#include "support/host_fixture.h"
#include "support/host_world.h"
#include "support/raw_world.h"

// Settings, images and a runner shared by the tests of the threshold stages. Toner maps are the
// host's own worlds, as layers are; the images the stages read need not be.

// The effect's defaults: threshold 70 %, softness 10 %, Luminance, "Tint" with a white
// "Monotone", toner black 0 and white 100 %, gamma 1, no blend and no boost.
inline Glow::ThresholdCommonParameters defaultThreshold() {
    Glow::ThresholdCommonParameters c;
    c.threshold = 0.7;
    c.threshold2 = 0.5;
    c.thresholdSoftness = 0.1;
    c.channel = Glow::CHANNEL_LUMINANCE;
    c.referenceColor = Morvel::Color<float>(1, 1, 1, 1);
    c.toner = Glow::TonerItem::Tint;
    c.tones = Glow::TONES_MONOTONE;
    c.highlight = Morvel::Color<float>(1, 1, 1, 1);
    c.midtone = Morvel::Color<float>(1, 0, 1, 1);
    c.shadow = Morvel::Color<float>(1, 0, 0.5f, 1);
    c.tonerBlack = 0.0;
    c.tonerWhite = 1.0;
    c.tonerGamma = 1.0;
    c.tonerChannel = Glow::CHANNEL_LUMINANCE;
    c.tonerMultiplyAlpha = true;
    c.tonerReferenceColor = Morvel::Color<float>(1, 1, 0, 0);
    return c;
}

template <typename Pixel>
constexpr double fullOf() {
    return Morvel::PixelTraits<Pixel>::full;
}

template <typename Pixel>
Pixel pixelOf(double a, double r, double g, double b) {
    using T = Morvel::ChannelOf<Pixel>;
    return Pixel{T(a), T(r), T(g), T(b)};
}

// Random pixels in native units, a few of them transparent; float colours also above 1.
template <typename World>
void randomImage(World& world, unsigned seed) {
    using Pixel = std::remove_reference_t<decltype(world.at(0, 0))>;
    std::mt19937 rng(seed);
    const double full = fullOf<Pixel>();
    const double top = Morvel::PixelTraits<Pixel>::integral ? full : 1.5;
    std::uniform_real_distribution<double> channel(0, top), alpha(0, full);
    for (int y = 0; y < world.height(); ++y) {
        for (int x = 0; x < world.width(); ++x) {
            const double a = (x * 7 + y) % 11 == 0 ? 0 : alpha(rng);
            world.at(x, y) = pixelOf<Pixel>(a, channel(rng), channel(rng), channel(rng));
        }
    }
}

template <typename World, typename Pixel>
void fillWorld(World& world, const Pixel& value) {
    for (int y = 0; y < world.height(); ++y) {
        for (int x = 0; x < world.width(); ++x) world.at(x, y) = value;
    }
}

class ThresholdStageTest : public SuitesHostTest {
protected:
    // Builds the stage and runs it over the bands as the driver does: threads 0 asks the host.
    template <typename Stage, typename Params>
    PF_Err run(Morvel::Bpc bpc, PF_LayerDef* input, PF_LayerDef* output, Params& params, int threads = 0) {
        Stage stage(&in_data_, suites(), bpc, input, output, &params);
        return Morvel::iterateGeneric(&in_data_, suites(), stage, threads);
    }
};

// fn(Morvel::PixelTag<Pixel>{}, bpc) at each depth.
template <typename Fn>
void forEachDepth(Fn&& fn) {
    fn(Morvel::PixelTag<PF_Pixel>{}, Morvel::Bpc8);
    fn(Morvel::PixelTag<PF_Pixel16>{}, Morvel::Bpc16);
    fn(Morvel::PixelTag<PF_PixelFloat>{}, Morvel::Bpc32);
}

// fn(settings, label) for tones 1..6, each with the eight toner operations ("Tint" or "Fill",
// blended or not, boosted or not); the map is set for the tones that read one.
template <typename Fn>
void forEachToning(const Glow::ThresholdCommonParameters& base, PF_LayerDef* map, Fn&& fn) {
    for (int tones = 1; tones <= 6; ++tones) {
        for (int variant = 0; variant < 8; ++variant) {
            Glow::ThresholdCommonParameters c = base;
            c.tones = static_cast<Glow::TonesItem>(tones);
            c.toner = (variant & 1) ? Glow::TonerItem::Fill : Glow::TonerItem::Tint;
            c.blendWithOriginal = (variant & 2) ? 0.3 : 0;
            c.boostLowLuminance = (variant & 4) ? 0.6 : 0;
            c.tonerMap = tones >= 4 ? map : nullptr;
            fn(c, "tones " + std::to_string(tones) + " variant " + std::to_string(variant));
        }
    }
}
